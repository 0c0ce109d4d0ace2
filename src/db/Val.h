#pragma once

#include <QString>

namespace kovrin {

// The numeric value read from the start of a text the way the bank's old software does
// (Val): blanks are skipped anywhere, then an optional sign, digits, one decimal point and
// an optional exponent are read up to the first other character. A text that starts with
// a letter, or is empty, reads as 0.
double vbVal(const QString& text);

}  // namespace kovrin
