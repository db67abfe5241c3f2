#pragma once

// The real message boxes and file dialogs behind the prompt interface. The
// program puts them in place at start-up; tests put their own prompter there.

#include "model/prompter.h"

#include <memory>

namespace velorix {

[[nodiscard]] std::unique_ptr<Prompter> makeDialogPrompter();

} // namespace velorix
