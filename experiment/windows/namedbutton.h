#pragma once

// A push button with the object name the window's tests and wiring find it by.

#include <QPushButton>

namespace velorix {

inline QPushButton *namedButton(QWidget *parent, const QString &name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace velorix
