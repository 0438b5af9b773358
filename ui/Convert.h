// Numbers and times as the window shows and reads them: the user's decimal
// separator for display and typing, the long time format without a time zone.
#pragma once

#include <QString>

// The decimal separator of the user's locale.
QString DecimalSeparator();
// The same as one byte for the file writers ('.' when the locale's separator
// is not a single ASCII character).
char DecimalChar();

// FormatFixed / FormatGeneral with the user's decimal separator.
QString FixedText(double v, int precision, int decimals);
QString GeneralText(double v, int precision);

// Reads a typed integer: optional blanks, an optional sign, decimal digits.
// Throws cActionError "'<text>' is not a valid integer value" otherwise.
int TextToInt(const QString& text);
// Reads a typed number with the user's decimal separator (optional blanks,
// sign, digits with one separator, optional exponent). Throws cActionError
// "'<text>' is not a valid floating point value" otherwise.
double TextToFloat(const QString& text);
// Non-throwing forms; false when the text is not a number.
bool TryTextToInt(const QString& text, int& value);
bool TryTextToFloat(const QString& text, double& value);

// The current local time in the locale's long time format, without the time zone.
QString TimeStamp();
// Formats a time with the locale's long time format minus its time-zone part.
QString LongTimeText(const class QTime& t);
