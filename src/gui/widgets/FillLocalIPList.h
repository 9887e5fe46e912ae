#pragma once

class QComboBox;

namespace Module1 {

// Appends every IPv4 address of the machine to the combo box's list, as dotted decimal text, in
// interface order. Entries already in the list stay; nothing is sorted.
void FillLocalIPList(QComboBox *combo);

} // namespace Module1
