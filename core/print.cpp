// printf's formatting with the sign of a NaN kept (see print.h). Each
// conversion is handed to snprintf on its own, with the argument it takes;
// only a negative NaN is written here.
#include "core/print.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Appends one conversion, piece (with no '*' in it), of value to out.
template <typename T> static void Print_One(std::string *out, const std::string &piece, T value)
{
    char small[256];
    int n = snprintf(small, sizeof small, piece.c_str(), value);
    if (n < 0)
        return;
    if ((size_t)n < sizeof small) {
        out->append(small, (size_t)n);
        return;
    }
    std::string big((size_t)n + 1, '\0');
    snprintf(&big[0], big.size(), piece.c_str(), value);
    out->append(big, 0, (size_t)n);
}

// A negative NaN as the C library of Linux prints it: the 0 flag and the
// precision do nothing, the sign is always there.
static void Print_NegativeNan(std::string *out, bool upper, int width, bool left)
{
    std::string text = upper ? "-NAN" : "-nan";
    std::string pad(width > 4 ? (size_t)width - 4 : 0, ' ');
    out->append(left ? text + pad : pad + text);
}

// The conversion letter's argument, read by the length modifier's type.
// args by address: a va_list passed by value may or may not advance.
static bool Print_Conversion(std::string *out, const std::string &piece, const std::string &length, char conversion,
                             int width, bool left, va_list *args)
{
    switch (conversion) {
    case 'd':
    case 'i':
        if (length == "l")
            Print_One(out, piece, va_arg(*args, long));
        else if (length == "ll")
            Print_One(out, piece, va_arg(*args, long long));
        else if (length == "j")
            Print_One(out, piece, va_arg(*args, intmax_t));
        else if (length == "z" || length == "t")
            Print_One(out, piece, va_arg(*args, ptrdiff_t));
        else
            Print_One(out, piece, va_arg(*args, int));   // also hh and h: promoted to int
        return true;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        if (length == "l")
            Print_One(out, piece, va_arg(*args, unsigned long));
        else if (length == "ll")
            Print_One(out, piece, va_arg(*args, unsigned long long));
        else if (length == "j")
            Print_One(out, piece, va_arg(*args, uintmax_t));
        else if (length == "z" || length == "t")
            Print_One(out, piece, va_arg(*args, size_t));
        else
            Print_One(out, piece, va_arg(*args, unsigned int));
        return true;
    case 'c':
        if (length == "l")
            return false;   // wide characters: the C library's
        Print_One(out, piece, va_arg(*args, int));
        return true;
    case 's':
        if (length == "l")
            return false;
        Print_One(out, piece, va_arg(*args, const char *));
        return true;
    case 'p':
        Print_One(out, piece, va_arg(*args, void *));
        return true;
    case 'a':
    case 'A':
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G': {
        bool upper = conversion >= 'A' && conversion <= 'Z';
        if (length == "L") {
            long double v = va_arg(*args, long double);
            if (std::isnan(v) && std::signbit(v))
                Print_NegativeNan(out, upper, width, left);
            else
                Print_One(out, piece, v);
        } else {
            double v = va_arg(*args, double);
            if (std::isnan(v) && std::signbit(v))
                Print_NegativeNan(out, upper, width, left);
            else
                Print_One(out, piece, v);
        }
        return true;
    }
    default:
        return false;
    }
}

// Print_Format's work, on a va_list of its own.
static bool Print_Walk(std::string *out, const char *format, va_list *args)
{
    const char *p = format;
    while (*p) {
        if (*p != '%') {
            out->push_back(*p++);
            continue;
        }
        if (p[1] == '%') {
            out->push_back('%');
            p += 2;
            continue;
        }
        // %[flags][width][.precision][length]conversion, with the values of
        // a '*' width or precision written into the piece.
        std::string piece(1, *p++);
        bool left = false;
        while (*p && strchr("-+ #0", *p)) {
            left |= *p == '-';
            piece += *p++;
        }
        int width = 0;
        if (*p == '*') {
            width = va_arg(*args, int);
            p++;
            // A negative width is the '-' flag and its magnitude.
            if (width < 0) {
                left = true;
                width = width == INT_MIN ? INT_MAX : -width;
                piece += '-';
            }
            piece += std::to_string(width);
        } else {
            for (; *p >= '0' && *p <= '9'; p++) {
                width = width < 100000 ? width * 10 + (*p - '0') : width;
                piece += *p;
            }
        }
        if (*p == '.') {
            p++;
            if (*p == '*') {
                int precision = va_arg(*args, int);
                p++;
                // A negative precision counts as none.
                if (precision >= 0)
                    piece += "." + std::to_string(precision);
            } else {
                piece += '.';
                for (; *p >= '0' && *p <= '9'; p++)
                    piece += *p;
            }
        }
        std::string length;
        while (*p && strchr("hlLjzt", *p))
            length += *p++;
        char conversion = *p;
        if (!conversion)
            return false;
        piece += length;
        piece += *p++;
        if (!Print_Conversion(out, piece, length, conversion, width, left, args))
            return false;
    }
    return true;
}

bool Print_Format(std::string *out, const char *format, va_list args)
{
    va_list ap;
    va_copy(ap, args);
    bool taken = Print_Walk(out, format, &ap);
    va_end(ap);
    return taken;
}

#ifdef _WIN32
// The link wraps MinGW's __mingw_vfprintf (-Wl,--wrap): printf and fprintf
// come here, and what Print_Format does not take goes on to the original.
extern "C" int __real___mingw_vfprintf(FILE *stream, const char *format, va_list args);

extern "C" int __wrap___mingw_vfprintf(FILE *stream, const char *format, va_list args)
{
    std::string text;
    if (!Print_Format(&text, format, args))
        return __real___mingw_vfprintf(stream, format, args);
    // One write per call: with stdout unbuffered, a line goes out whole.
    if (fwrite(text.data(), 1, text.size(), stream) != text.size())
        return -1;
    return (int)text.size();
}
#endif
