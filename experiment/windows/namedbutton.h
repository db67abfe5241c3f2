#pragma once

// A push button with the object name the window's tests and wiring find it by.

#include <QPushButton>

namespace velorix {

inline QPushButton *namedButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace velorix
