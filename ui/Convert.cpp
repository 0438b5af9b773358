#include "ui/Convert.h"

#include "engine/Format.h"
#include "ui/Ui.h"

#include <QLocale>
#include <QTime>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

QString DecimalSeparator()
{
    const QString dp = QLocale().decimalPoint();
    return dp.isEmpty() ? QStringLiteral(".") : dp;
}

char DecimalChar()
{
    const QString dp = DecimalSeparator();
    if (dp.size() == 1 && dp[0].unicode() > 32 && dp[0].unicode() < 127)
        return static_cast<char>(dp[0].unicode());
    return '.';
}

namespace {

// The engine formats with a point; the point is the only one in its output.
QString WithSeparator(const std::string& s)
{
    QString text = QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
    const QString dp = DecimalSeparator();
    if (dp != QLatin1String(".")) text.replace(QLatin1Char('.'), dp);
    return text;
}

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

} // namespace

QString FixedText(double v, int precision, int decimals)
{
    return WithSeparator(FormatFixed(v, precision, decimals));
}

QString GeneralText(double v, int precision)
{
    return WithSeparator(FormatGeneral(v, precision));
}

bool TryTextToInt(const QString& text, int& value)
{
    qsizetype i = 0, n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    while (n > i && IsBlank(text[n - 1]))
        --n;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= n) return false;
    long long v = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return false;
        v = v * 10 + (c - u'0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return false;
    value = static_cast<int>(v);
    return true;
}

bool TryTextToFloat(const QString& text, double& value)
{
    const QString dp = DecimalSeparator();
    qsizetype i = 0, n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    while (n > i && IsBlank(text[n - 1]))
        --n;
    // Rebuilt in the C form so that the conversion is locale-free.
    std::string c;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        c += static_cast<char>(text[i++].unicode());
    int digits = 0;
    auto isDigit = [&](qsizetype k) {
        return k < n && text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9');
    };
    while (isDigit(i)) {
        c += static_cast<char>(text[i++].unicode());
        ++digits;
    }
    if (i < n && text.mid(i, dp.size()) == dp) {
        i += dp.size();
        c += '.';
        while (isDigit(i)) {
            c += static_cast<char>(text[i++].unicode());
            ++digits;
        }
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        c += 'e';
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            c += static_cast<char>(text[i++].unicode());
        if (!isDigit(i)) return false;
        while (isDigit(i))
            c += static_cast<char>(text[i++].unicode());
    }
    if (i != n) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(c.c_str(), &end);
    if (end != c.c_str() + c.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

int TextToInt(const QString& text)
{
    int v = 0;
    if (!TryTextToInt(text, v))
        throw cActionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

double TextToFloat(const QString& text)
{
    double v = 0;
    if (!TryTextToFloat(text, v))
        throw cActionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

QString LongTimeText(const QTime& t)
{
    // Drop the time-zone field ("t", "tt", ...) and the blanks around it,
    // leaving quoted literals alone.
    const QString format = QLocale().timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            while (i + 1 < format.size() && format[i + 1] == QLatin1Char('t'))
                ++i;
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            continue;
        }
        out += c;
    }
    out = out.trimmed();
    if (out.isEmpty()) out = QStringLiteral("HH:mm:ss");
    return QLocale().toString(t, out);
}

QString TimeStamp()
{
    return LongTimeText(QTime::currentTime());
}
