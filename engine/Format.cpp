#include "Format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Exact digits: one more than the largest precision, so that the digit that
// decides the rounding is always known.
constexpr int ExactCount = 20;

using u128 = unsigned __int128;

// Writes the decimal digits (values 0..9) of x, most significant first, and
// returns their number (0 for x == 0).
template <class U> int IntegerDigits(U x, std::uint8_t* out)
{
    std::uint8_t rev[40];
    int n = 0;
    while (x != 0) {
        rev[n++] = static_cast<std::uint8_t>(x % 10);
        x /= 10;
    }
    for (int i = 0; i < n; ++i)
        out[i] = rev[n - 1 - i];
    return n;
}

// Digits of integer part I and fraction F / 2^s (F < 2^s, 10 F fits in U).
// Fills d[0..ExactCount) with the leading significant digits, truncated, and
// returns E.
template <class U> int SplitDigits(U I, U F, int s, std::uint8_t* d)
{
    int n = 0;
    int E = 0;
    if (I != 0) {
        std::uint8_t all[40];
        const int len = IntegerDigits(I, all);
        E = len;
        n = len < ExactCount ? len : ExactCount;
        std::memcpy(d, all, static_cast<std::size_t>(n));
    }
    const U mask = s == 0 ? U(0) : (U(~U(0)) >> (sizeof(U) * 8 - static_cast<unsigned>(s)));
    if (n == 0) {
        // Leading zeros of a value below 1 move the exponent.
        for (;;) {
            F *= 10;
            const auto digit = static_cast<std::uint8_t>(F >> s);
            F &= mask;
            if (digit != 0) {
                d[n++] = digit;
                break;
            }
            --E;
        }
    }
    while (n < ExactCount) {
        if (F == 0) {
            std::memset(d + n, 0, static_cast<std::size_t>(ExactCount - n));
            break;
        }
        F *= 10;
        d[n++] = static_cast<std::uint8_t>(F >> s);
        F &= mask;
    }
    return E;
}

// The general route for magnitudes the integer paths cannot hold: the shortest
// precision that is always exact for a double (767 significant digits).
int SlowDigits(double a, std::uint8_t* d)
{
    char buf[800];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 770);
    const char* p = buf;
    int n = 0;
    while (p < res.ptr && *p != 'e') {
        if (*p >= '0' && *p <= '9' && n < ExactCount) d[n++] = static_cast<std::uint8_t>(*p - '0');
        ++p;
    }
    while (n < ExactCount)
        d[n++] = 0;
    int exp10 = 0;
    if (p < res.ptr) std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exp10);
    return exp10 + 1;
}

// Leading ExactCount digits of the exact decimal expansion of a (finite, > 0),
// truncated; returns E.
int ExactDigits(double a, std::uint8_t* d)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(a);
    const int biased = static_cast<int>(bits >> 52);
    std::uint64_t m = bits & ((std::uint64_t(1) << 52) - 1);
    int e = -1074;
    if (biased != 0) {
        m |= std::uint64_t(1) << 52;
        e = biased - 1075;
    }
    const int tz = std::countr_zero(m);
    m >>= tz;
    e += tz;
    const int width = std::bit_width(m);
    if (e >= 0) {
        if (width + e <= 64) return SplitDigits<std::uint64_t>(m << e, 0, 0, d);
        if (width + e <= 127) return SplitDigits<u128>(u128(m) << e, 0, 0, d);
        return SlowDigits(a, d);
    }
    const int s = -e;
    if (s <= 60) {
        const std::uint64_t I = s >= 64 ? 0 : m >> s;
        const std::uint64_t F = m & ((std::uint64_t(1) << s) - 1);
        return SplitDigits<std::uint64_t>(I, F, s, d);
    }
    if (s <= 124) {
        // s > 60 > bit width of m: no integer part.
        return SplitDigits<u128>(0, u128(m), s, d);
    }
    return SlowDigits(a, d);
}

struct Rounded {
    std::uint8_t d[ExactCount];
    int n = 0; // digits kept; 0 when the value rounds to zero
    int E = 0;
    int Digit(int i) const { return i >= 0 && i < n ? d[i] : 0; }
    // Number of digits without trailing zeros (at least 1).
    int Significant() const
    {
        int k = n;
        while (k > 1 && d[k - 1] == 0)
            --k;
        return k;
    }
};

// Rounds the exact digits ex (exponent E) to N significant digits, halves away
// from zero: the digit after the last one kept decides, as the tail below it
// can only add to it.
Rounded RoundDigits(const std::uint8_t* ex, int E, int N)
{
    Rounded r;
    r.E = E;
    if (N < 0) return r;
    if (N == 0) {
        if (ex[0] >= 5) {
            r.d[0] = 1;
            r.n = 1;
            r.E = E + 1;
        }
        return r;
    }
    std::memcpy(r.d, ex, static_cast<std::size_t>(N));
    r.n = N;
    if (ex[N] >= 5) {
        int i = N - 1;
        while (i >= 0 && r.d[i] == 9)
            r.d[i--] = 0;
        if (i >= 0) {
            ++r.d[i];
        } else {
            r.d[0] = 1;
            r.E = E + 1;
        }
    }
    return r;
}

int Clamp(int x, int lo, int hi)
{
    return x < lo ? lo : (x > hi ? hi : x);
}

int NonFinite(char* buf, double v)
{
    const char* text = std::isnan(v) ? "NAN" : (v > 0 ? "INF" : "-INF");
    const int n = static_cast<int>(std::strlen(text));
    std::memcpy(buf, text, static_cast<std::size_t>(n));
    return n;
}

int WriteExponent(char* buf, int n, bool neg, const Rounded& r, char sep)
{
    if (neg) buf[n++] = '-';
    const int k = r.Significant();
    buf[n++] = static_cast<char>('0' + r.d[0]);
    if (k > 1) {
        buf[n++] = sep;
        for (int i = 1; i < k; ++i)
            buf[n++] = static_cast<char>('0' + r.d[i]);
    }
    buf[n++] = 'E';
    const auto res = std::to_chars(buf + n, buf + FormatBufSize, r.E - 1);
    return static_cast<int>(res.ptr - buf);
}

} // namespace

int FormatGeneralTo(char* buf, double v, int P, char sep)
{
    if (!std::isfinite(v)) return NonFinite(buf, v);
    if (v == 0) {
        buf[0] = '0';
        return 1;
    }
    P = Clamp(P, 2, 18);
    std::uint8_t ex[ExactCount];
    const int E = ExactDigits(std::fabs(v), ex);
    const Rounded r = RoundDigits(ex, E, P);
    const bool neg = std::signbit(v);
    if (r.E > P || r.E < -3) return WriteExponent(buf, 0, neg, r, sep);
    int n = 0;
    if (neg) buf[n++] = '-';
    const int k = r.Significant();
    if (r.E <= 0) {
        buf[n++] = '0';
        buf[n++] = sep;
        for (int i = r.E; i < 0; ++i)
            buf[n++] = '0';
        for (int i = 0; i < k; ++i)
            buf[n++] = static_cast<char>('0' + r.d[i]);
        return n;
    }
    for (int i = 0; i < r.E; ++i)
        buf[n++] = static_cast<char>('0' + r.Digit(i));
    if (k > r.E) {
        buf[n++] = sep;
        for (int i = r.E; i < k; ++i)
            buf[n++] = static_cast<char>('0' + r.d[i]);
    }
    return n;
}

int FormatFixedTo(char* buf, double v, int P, int D, char sep)
{
    if (!std::isfinite(v)) return NonFinite(buf, v);
    P = Clamp(P, 2, 18);
    D = Clamp(D, 0, 18);
    Rounded r;
    if (v != 0) {
        std::uint8_t ex[ExactCount];
        const int E = ExactDigits(std::fabs(v), ex);
        r = RoundDigits(ex, E, E + D < P ? E + D : P);
    }
    const bool neg = r.n > 0 && std::signbit(v);
    if (r.n > 0 && r.E > P) return WriteExponent(buf, 0, neg, r, sep);
    int n = 0;
    if (neg) buf[n++] = '-';
    if (r.n == 0 || r.E <= 0) {
        buf[n++] = '0';
    } else {
        for (int i = 0; i < r.E; ++i)
            buf[n++] = static_cast<char>('0' + r.Digit(i));
    }
    if (D > 0) {
        buf[n++] = sep;
        for (int j = 0; j < D; ++j)
            buf[n++] = static_cast<char>('0' + r.Digit(r.E + j));
    }
    return n;
}

std::string FormatFixed(double v, int P, int D, char sep)
{
    char buf[FormatBufSize];
    return std::string(buf, static_cast<std::size_t>(FormatFixedTo(buf, v, P, D, sep)));
}

std::string FormatGeneral(double v, int P, char sep)
{
    char buf[FormatBufSize];
    return std::string(buf, static_cast<std::size_t>(FormatGeneralTo(buf, v, P, sep)));
}
