#pragma once

#include <QString>
#include <QtGlobal>

// Reading numbers out of texts the way the program's fields are read everywhere.
namespace NumericValue {

// The number a text begins with: leading blanks skipped, an optional sign, digits and an
// optional decimal fraction. A text that does not begin with a number gives 0.
double leading(const QString &text);

// `value` rounded to the nearest whole number, halves to the even neighbour (10.5 -> 10,
// 11.5 -> 12), clamped to the 64-bit range.
qint64 roundHalfEven(double value);

} // namespace NumericValue
