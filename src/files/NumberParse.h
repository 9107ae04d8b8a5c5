#pragma once

namespace korvex {

// Parses a decimal number at p (no leading blanks) as "%lf" reads it in the C locale,
// and returns the end, or p when there is no number. The number is read whole however
// long it is, and never follows the process locale: "." is the decimal point. Forms
// beyond the recording files' own (a '+' sign, exponents, inf, nan, hexadecimal "0x")
// are read as strtod reads them, overflow to infinity included.
const char* ParseDouble(const char* p, const char* end, double* out);

}  // namespace korvex
