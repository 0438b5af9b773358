#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "Format.h"

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

struct FixedCase {
    double v;
    int P;
    int D;
    char sep;
    const char* expected;
};

TEST(FormatFixed, Table)
{
    const FixedCase cases[] = {
        // The documented examples.
        {7.123456, 5, 5, '.', "7.12350"},
        {123456.7, 5, 5, '.', "1.2346E5"},
        {1234.5678, 5, 5, '.', "1234.60000"},
        {0.5, 5, 5, '.', "0.50000"},
        {-1.25, 5, 5, '.', "-1.25000"},
        {1, 5, 5, '.', "1.00000"},
        {2, 5, 5, '.', "2.00000"},
        // The stored float, never the text it came from.
        {11.7535f, 5, 5, '.', "11.75300"},
        {11.7535, 5, 5, '.', "11.75400"},
        // Halves away from zero on the exact binary value.
        {0.125, 2, 3, '.', "0.130"},
        {-0.125, 2, 3, '.', "-0.130"},
        {1.005, 3, 5, '.', "1.00000"},
        {2.5, 5, 0, '.', "3"},
        {-2.5, 5, 0, '.', "-3"},
        {0.5, 5, 0, '.', "1"},
        {0.4, 5, 0, '.', "0"},
        {5e-6, 5, 5, '.', "0.00001"},
        {4.9999e-6, 5, 5, '.', "0.00000"},
        // Rounding to zero never keeps the sign.
        {-0.000001, 5, 5, '.', "0.00000"},
        {-0.0, 5, 5, '.', "0.00000"},
        {0.0, 5, 0, '.', "0"},
        {-0.4, 5, 0, '.', "0"},
        {-1e-300, 5, 5, '.', "0.00000"},
        // Carries into a new digit.
        {9.99999, 5, 5, '.', "10.00000"},
        {0.999996, 5, 5, '.', "1.00000"},
        {-0.999996, 5, 5, '.', "-1.00000"},
        {99.5, 5, 0, '.', "100"},
        {99999.4, 5, 5, '.', "99999.00000"},
        {99999.5, 5, 5, '.', "1E5"},
        {-99999.5, 5, 5, '.', "-1E5"},
        {0.0000096, 5, 5, '.', "0.00001"},
        // Exponent boundary: E == P stays plain, E > P switches.
        {12345.4, 5, 5, '.', "12345.00000"},
        {100000, 5, 5, '.', "1E5"},
        {123456.7, 5, 2, '.', "1.2346E5"},
        {1e300, 5, 5, '.', "1E300"},
        {-1.5e20, 5, 5, '.', "-1.5E20"},
        // Both limits: D leaves fewer digits than P, and the other way round.
        {3.14159265, 18, 2, '.', "3.14"},
        {3.14159265, 3, 6, '.', "3.140000"},
        {0.0123456, 5, 5, '.', "0.01235"},
        {0.0123456, 2, 5, '.', "0.01200"},
        // Precision and decimals outside their ranges.
        {123.456, 1, 5, '.', "1.2E2"},
        {123.456, -7, 5, '.', "1.2E2"},
        {0.1, 30, 20, '.', "0.100000000000000006"},
        {0.1, 5, -3, '.', "0"},
        {123456789012345678.0, 18, 0, '.', "123456789012345680"},
        // The four-decimal forms of the result files.
        {100, 4, 4, '.', "100.0000"},
        {-91, 4, 4, '.', "-91.0000"},
        {0.95f, 4, 4, '.', "0.9500"},
        {0.95f * 0.95f, 4, 4, '.', "0.9025"},
        {-0.9512, 4, 4, '.', "-0.9512"},
        // Separators.
        {7.123456, 5, 5, ',', "7,12350"},
        {123456.7, 5, 5, ',', "1,2346E5"},
        {2.5, 5, 0, ',', "3"},
        // Not finite.
        {Inf, 5, 5, '.', "INF"},
        {-Inf, 5, 5, '.', "-INF"},
        {NaN, 5, 5, '.', "NAN"},
        {-NaN, 5, 5, '.', "NAN"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v << " P=" << c.P << " D=" << c.D);
        EXPECT_EQ(FormatFixed(c.v, c.P, c.D, c.sep), c.expected);
    }
}

struct GeneralCase {
    double v;
    int P;
    char sep;
    const char* expected;
};

TEST(FormatGeneral, Table)
{
    const GeneralCase cases[] = {
        {12.3456789, 5, '.', "12.346"},
        {0.000012345, 5, '.', "1.2345E-5"},
        {0.0, 5, '.', "0"},
        {-0.0, 5, '.', "0"},
        {0.90, 15, '.', "0.9"},
        {0.9f, 15, '.', "0.899999976158142"},
        {1, 15, '.', "1"},
        {-1.5, 5, '.', "-1.5"},
        {9.99999, 5, '.', "10"},
        {0.125, 2, '.', "0.13"},
        {-0.125, 2, '.', "-0.13"},
        {1.005, 3, '.', "1"},
        // E from -3 to P stays plain; outside it the exponent form.
        {0.0001, 5, '.', "0.0001"},
        {0.00012345, 5, '.', "0.00012345"},
        {0.00001, 5, '.', "1E-5"},
        {-0.00000001, 5, '.', "-1E-8"},
        {12345, 5, '.', "12345"},
        {123456, 5, '.', "1.2346E5"},
        {100000, 5, '.', "1E5"},
        {99999.5, 5, '.', "1E5"},
        {99999.4, 5, '.', "99999"},
        {1200, 5, '.', "1200"},
        {1e300, 5, '.', "1E300"},
        {1e-300, 5, '.', "1E-300"},
        {5e-324, 18, '.', "4.94065645841246544E-324"},
        {1.7976931348623157e308, 15, '.', "1.79769313486232E308"},
        {12.3456789, 1, '.', "12"},
        {12.3456789, 99, '.', "12.3456788999999993"},
        {12.3456789, 5, ',', "12,346"},
        {0.000012345, 5, ',', "1,2345E-5"},
        {Inf, 5, '.', "INF"},
        {-Inf, 5, '.', "-INF"},
        {-NaN, 5, '.', "NAN"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v << " P=" << c.P);
        EXPECT_EQ(FormatGeneral(c.v, c.P, c.sep), c.expected);
    }
}

// Straightforward definition for comparison: every exact digit of the double
// from a long correctly rounded expansion, then one rounding on that text.
struct RefDigits {
    std::string d; // significant digits, at least one
    int E = 0;
};

RefDigits Exact(double a)
{
    static char buf[1200];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 1100);
    std::string text(buf, res.ptr);
    const auto epos = text.find('e');
    RefDigits r;
    for (std::size_t i = 0; i < epos; ++i)
        if (text[i] != '.') r.d += text[i];
    r.E = std::stoi(text.substr(epos + 1)) + 1;
    return r;
}

// Keeps the first n digits (n may be <= 0), rounding half away from zero.
RefDigits RoundRef(RefDigits x, int n)
{
    if (n < 0) return {"0", 0};
    std::string head = x.d.substr(0, static_cast<std::size_t>(n));
    const bool up = static_cast<std::size_t>(n) < x.d.size() && x.d[static_cast<std::size_t>(n)] >= '5';
    std::string padded = "0" + head;
    if (up) {
        int i = static_cast<int>(padded.size()) - 1;
        while (padded[static_cast<std::size_t>(i)] == '9')
            padded[static_cast<std::size_t>(i--)] = '0';
        ++padded[static_cast<std::size_t>(i)];
    }
    RefDigits r;
    r.E = x.E + 1;
    r.d = padded;
    while (r.d.size() > 1 && r.d[0] == '0') {
        r.d.erase(0, 1);
        --r.E;
    }
    while (r.d.size() > 1 && r.d.back() == '0')
        r.d.pop_back();
    return r;
}

std::string RefGeneral(double v, int P)
{
    if (v == 0) return "0";
    const RefDigits r = RoundRef(Exact(std::fabs(v)), P);
    std::string s = v < 0 ? "-" : "";
    if (r.E > P || r.E < -3) {
        s += r.d.substr(0, 1);
        if (r.d.size() > 1) s += "." + r.d.substr(1);
        return s + "E" + std::to_string(r.E - 1);
    }
    if (r.E <= 0) return s + "0." + std::string(static_cast<std::size_t>(-r.E), '0') + r.d;
    std::string digits = r.d;
    if (digits.size() < static_cast<std::size_t>(r.E))
        digits.append(static_cast<std::size_t>(r.E) - digits.size(), '0');
    s += digits.substr(0, static_cast<std::size_t>(r.E));
    if (digits.size() > static_cast<std::size_t>(r.E))
        s += "." + digits.substr(static_cast<std::size_t>(r.E));
    return s;
}

std::string RefFixed(double v, int P, int D)
{
    RefDigits r{"0", 0};
    if (v != 0) {
        const RefDigits x = Exact(std::fabs(v));
        r = RoundRef(x, std::min(P, x.E + D));
    }
    const bool zero = r.d == "0";
    if (!zero && r.E > P) return RefGeneral(v, P);
    std::string s = (!zero && v < 0) ? "-" : "";
    // Digit at decimal position k (k = 0 the first integer digit of 10^(E-1)).
    auto digit = [&](int i) {
        return (!zero && i >= 0 && i < static_cast<int>(r.d.size())) ? r.d[static_cast<std::size_t>(i)] : '0';
    };
    if (zero || r.E <= 0)
        s += "0";
    else
        for (int i = 0; i < r.E; ++i)
            s += digit(i);
    if (D > 0) {
        s += ".";
        for (int j = 0; j < D; ++j)
            s += digit((zero ? 0 : r.E) + j);
    }
    return s;
}

// Random doubles over the whole range, float-derived values and values built
// to sit on or next to a rounding half.
TEST(FormatNumbers, AgreeWithExactExpansion)
{
    std::mt19937_64 gen(12345);
    std::uniform_int_distribution<int> pd(2, 18), dd(0, 18), small(-12, 12);
    for (int i = 0; i < 60000; ++i) {
        double v;
        switch (i % 4) {
        case 0: {
            std::uint64_t bits = gen();
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isfinite(v)) continue;
            break;
        }
        case 1:
            v = static_cast<float>(std::ldexp(static_cast<double>(gen() >> 11), small(gen) - 53));
            break;
        case 2:
            // Dyadic values end in a 5: cut just before it (below) for exact
            // halves, or take a neighbour for the nearest non-halves.
            v = std::ldexp(static_cast<double>(gen() % (1u << 20)) + 1, -static_cast<int>(gen() % 12) - 1);
            if (gen() % 3 == 0) v = std::nextafter(v, (gen() & 1) ? Inf : -Inf);
            break;
        default:
            v = (static_cast<double>(gen() % 2000001) - 1000000.0) * std::pow(10.0, small(gen));
            break;
        }
        if (gen() & 1) v = -v;
        int P = pd(gen);
        int D = dd(gen);
        if (i % 4 == 2) {
            const RefDigits x = Exact(v);
            const int last = static_cast<int>(x.d.find_last_not_of('0'));
            P = std::clamp(last, 2, 18);
            D = std::clamp(last - x.E, 0, 18);
        }
        SCOPED_TRACE(testing::Message() << std::hexfloat << v << " P=" << P << " D=" << D);
        ASSERT_EQ(FormatGeneral(v, P), RefGeneral(v, P));
        ASSERT_EQ(FormatFixed(v, P, D), RefFixed(v, P, D));
    }
}

TEST(FormatNumbers, BufferFormsMatchStrings)
{
    char buf[FormatBufSize];
    // The longest texts: all 18 digits and decimals, and the longest exponent.
    const double values[] = {-123456789012345678.0, -0.123456789012345678, -4.9e-324,
                             -1.7976931348623157e308};
    for (double v : values) {
        const int nf = FormatFixedTo(buf, v, 18, 18);
        ASSERT_LE(nf, FormatBufSize);
        EXPECT_EQ(std::string(buf, static_cast<std::size_t>(nf)), FormatFixed(v, 18, 18));
        const int ng = FormatGeneralTo(buf, v, 18);
        ASSERT_LE(ng, FormatBufSize);
        EXPECT_EQ(std::string(buf, static_cast<std::size_t>(ng)), FormatGeneral(v, 18));
    }
    EXPECT_EQ(FormatFixed(-123456789012345678.0, 18, 18), "-123456789012345680.000000000000000000");
}

} // namespace
