#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

// Creates a control with its design text at its designed place; a non-null `tag` is the
// string id that LoadResStrings puts on it.
template <typename Control>
Control *placeControl(QWidget *parent, const QString &text, const char *tag, QRect pixels)
{
    auto *control = new Control(text, parent);
    control->setGeometry(pixels);
    if (tag)
        control->setProperty("Tag", QString::fromLatin1(tag));
    return control;
}
