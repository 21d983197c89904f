#include "text.h"

#include <QLocale>
#include <cmath>
#include <cstdint>

namespace rb
{

bool Same(const String &a, const String &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

int InStr(const String &source, const String &find)
{
    return InStr(1, source, find);
}

int InStr(int start, const String &source, const String &find)
{
    if (start < 1)
        start = 1;
    if (start > source.size() + 1)
        return 0;
    if (find.isEmpty())
        return start;
    const qsizetype at = source.indexOf(find, start - 1, Qt::CaseInsensitive);
    return at < 0 ? 0 : int(at) + 1;
}

int Len(const String &s)
{
    return int(s.size());
}

// QString::left and right answer the whole text for a negative count; here it is the empty text.
String Left(const String &s, int count)
{
    return count <= 0 ? String() : s.left(count);
}

String Right(const String &s, int count)
{
    return count <= 0 ? String() : s.right(count);
}

String Mid(const String &s, int start)
{
    if (start < 1)
        start = 1;
    if (start > s.size())
        return {};
    return s.mid(start - 1);
}

String Mid(const String &s, int start, int length)
{
    if (length <= 0)
        return {};
    if (start < 1)
        start = 1;
    if (start > s.size())
        return {};
    return s.mid(start - 1, length);
}

String Trim(const String &s)
{
    return s.trimmed();
}

String Str(long long value)
{
    return QString::number(value);
}

String Hex(long long value)
{
    // Negatives that fit in 32 bits show as their 32-bit pattern (-1 is FFFFFFFF); wider ones as 64-bit.
    uint64_t bits;
    if (value < 0 && value >= INT32_MIN)
        bits = uint32_t(int32_t(value));
    else
        bits = uint64_t(value);
    return QString::number(bits, 16).toUpper();
}

namespace
{

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool isDigit(const String &s, qsizetype i)
{
    return i < s.size() && s[i] >= u'0' && s[i] <= u'9';
}

} // namespace

double Val(const String &s)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n && s[i].isSpace())
        ++i;

    if (i + 1 < n && s[i] == u'&' && (s[i + 1] == u'h' || s[i + 1] == u'H')) {
        double value = 0;
        for (i += 2; i < n; ++i) {
            const int d = hexDigit(s[i]);
            if (d < 0)
                break;
            value = value * 16 + d;
        }
        return value;
    }

    // The longest leading run of the form [sign] digits [. digits] [e [sign] digits], rebuilt in a
    // form the C locale always reads ("-.5" as "-0.5", "5." as "5.0").
    QString number;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        if (s[i] == u'-')
            number += u'-';
        ++i;
    }
    const qsizetype intBegin = i;
    while (isDigit(s, i))
        ++i;
    QString whole = s.mid(intBegin, i - intBegin);
    QString fraction;
    if (i < n && s[i] == u'.') {
        const qsizetype fracBegin = ++i;
        while (isDigit(s, i))
            ++i;
        fraction = s.mid(fracBegin, i - fracBegin);
    }
    if (whole.isEmpty() && fraction.isEmpty())
        return 0;
    number += (whole.isEmpty() ? QStringLiteral("0") : whole) + u'.' +
              (fraction.isEmpty() ? QStringLiteral("0") : fraction);
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        qsizetype j = i + 1;
        QString exponent = QStringLiteral("e");
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            exponent += s[j++];
        const qsizetype expBegin = j;
        while (isDigit(s, j))
            ++j;
        if (j > expBegin)
            number += exponent + s.mid(expBegin, j - expBegin);
    }
    // Too large a number reads as an infinity of its sign rather than as 0.
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    if (!ok && std::isinf(value))
        return value;
    return ok ? value : 0;
}

String ChrB(int byte)
{
    return String(QChar(char16_t(byte & 0xFF)));
}

int32_t ToInt32(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double low = std::fmod(std::trunc(value), 4294967296.0); // exact, within (-2^32, 2^32)
    return int32_t(uint32_t(int64_t(low)));
}

} // namespace rb
