#pragma once

#include <QFont>

class QWidget;

// Applies the string table to a window that has just been built.
namespace LoadResource {

// Sets the window's caption from its "Tag" property, gives the window the table's font and
// replaces the texts of its controls and menu items by table texts, using the ids in their
// "Tag" properties (menu items: in their text). A step that cannot be done is passed over;
// nothing is reported.
void LoadResStrings(QWidget *window);

// The font of the running language: the face of entry 20 mapped to an installed family, 8
// points, not bold, on top of the application's font.
QFont tableFont();

// The character set of the running language as entry 21 writes it (0 Western, 128 Japanese).
// Qt fonts carry no character set; it decides the family that stands for the face of entry 20.
int tableCharSet();

} // namespace LoadResource
