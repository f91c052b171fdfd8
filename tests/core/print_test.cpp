// Print_Format against this system's C library, which prints a negative NaN
// with its sign: what the Windows player's printf must match, conversion
// by conversion, argument by argument.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <limits>
#include <string>

#include "core/print.h"

namespace {

struct Formatted {
    bool taken = false;
    std::string ours, libc;
};

Formatted Both(const char *format, ...)
{
    Formatted f;
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    f.taken = Print_Format(&f.ours, format, args);
    char text[1024];
    int n = vsnprintf(text, sizeof text, format, again);
    f.libc.assign(text, n > 0 ? (size_t)n : 0);
    va_end(again);
    va_end(args);
    return f;
}

#define EXPECT_LIKE_LIBC(...)                                  \
    do {                                                      \
        Formatted f = Both(__VA_ARGS__);                      \
        EXPECT_TRUE(f.taken) << #__VA_ARGS__;                 \
        EXPECT_EQ(f.ours, f.libc) << #__VA_ARGS__;            \
    } while (0)

TEST(PrintFormat, NegativeNanKeepsItsSignInEveryFieldShape)
{
    volatile double zero = 0;
    double nan = zero / zero;   // x86's default NaN: sign bit set
    ASSERT_TRUE(std::signbit(nan));
    double positive = -nan;
    EXPECT_LIKE_LIBC("%+.3f|%.3f|%f|%e|%g|%a", nan, nan, nan, nan, nan, nan);
    EXPECT_LIKE_LIBC("%F|%E|%G|%A", nan, nan, nan, nan);
    EXPECT_LIKE_LIBC("[%8.3f][%-8.3f][%08.3f][% f][%3f]", nan, nan, nan, nan, nan);
    EXPECT_LIKE_LIBC("[%*f][%*f][%.*f]", 7, nan, -7, nan, 2, nan);
    EXPECT_LIKE_LIBC("[%+.3f][%08.3f][% f][%F]", positive, positive, positive, positive);
    EXPECT_LIKE_LIBC("[%Lf][%+.2Lf]", (long double)nan, (long double)positive);
    double inf = std::numeric_limits<double>::infinity();
    EXPECT_LIKE_LIBC("[%08.3f][%+f][% F]", inf, -inf, inf);
}

// The trace's own line, and the arguments around a NaN must still line up.
TEST(PrintFormat, EveryConversionTakesItsOwnArgument)
{
    volatile float zero = 0;
    float nan = zero * zero / (zero - zero);
    EXPECT_LIKE_LIBC("%i ent: %+.3f a_a0: %+.3f a_n0: %+.3f a_n1: %+.3f d0: %+.3f d1: %+.3f\n", 12, 20.125f,
                     0.0f, -0.0f, 1e-4f, (double)nan, 23.2213);
    EXPECT_LIKE_LIBC("BT_x: start: %+.3f, end: %+.3f, offset: %i;\n", 2.5, 3.0625, 10);
    EXPECT_LIKE_LIBC("%d %i %hd %hhd %ld %lld %u %lu %llu %zu %zd %jd %td", -5, 7, 70000, 300, -123456789L,
                     -1234567890123LL, 4000000000u, 4000000000ul, 18000000000000000000ull, (size_t)42,
                     (ptrdiff_t)-42, (intmax_t)-9, (ptrdiff_t)3);
    EXPECT_LIKE_LIBC("%x %X %#o %#x %08x %-5x| %c %5c|", 0xbeefu, 0xbeefu, 8u, 255u, 0xabcu, 1u, 'z', 'q');
    EXPECT_LIKE_LIBC("%s|%.3s|%10s|%-10s|%p|%%", "text", "truncated", "right", "left", (void *)0x1234);
    EXPECT_LIKE_LIBC("%.*s|%*d|%-*d|%.*f", 2, "abc", 6, 42, -6, 42, -1, 0.5);
    EXPECT_LIKE_LIBC("%.10g %e %.0f %#.0f %a %10.4Lf", 1.0 / 3, 12345.678, 2.5, 3.0, 1.0, (long double)2.25);
    std::string long_text(700, 'x');
    EXPECT_LIKE_LIBC("%s|%f", long_text.c_str(), 1e300);
}

bool Taken(const char *format, ...)
{
    std::string out;
    va_list args;
    va_start(args, format);
    bool taken = Print_Format(&out, format, args);
    va_end(args);
    return taken;
}

TEST(PrintFormat, LeavesWhatItDoesNotTakeToTheCLibrary)
{
    int count = 0;
    EXPECT_FALSE(Taken("ab%n", &count));
    EXPECT_FALSE(Taken("%lc", (wint_t)'x'));
    EXPECT_FALSE(Taken("%ls", L"wide"));
    EXPECT_FALSE(Taken("%y", 1));
    EXPECT_FALSE(Taken("trailing %"));
    EXPECT_EQ(count, 0) << "%n must be left to the C library, not carried out";
}

}  // namespace
