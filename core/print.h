// printf's formatting, with the sign of a NaN kept.
//
// MinGW's printf, which the Windows player uses, prints a NaN without its
// sign ("nan", "+nan") where the C library of Linux prints "-nan"; the
// -debug trace holds NaNs made by 0/0, whose sign bit is set, and must read
// the same on both. The Windows player's link routes MinGW's
// __mingw_vfprintf (where printf and fprintf end) through Print_Format.
#pragma once

#include <cstdarg>
#include <string>

// Appends format filled from args to out, as vsnprintf would, but a NaN
// with its sign bit set reads "-nan" ("-NAN" for A, E, F, G) padded with
// blanks to the field width. False, with out partly filled, for a
// conversion it does not take (%n, unknown letters): leave those to the C
// library.
bool Print_Format(std::string *out, const char *format, va_list args);
