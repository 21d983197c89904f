#pragma once
// The framework's text functions. Positions count characters from 1; comparisons ignore case.

#include <QString>
#include <cstdint>

namespace rb
{

using String = QString;

bool Same(const String &a, const String &b);         // the framework's "=": letter case ignored
int InStr(const String &source, const String &find); // first position from 1, 0 when absent; case ignored
int InStr(int start, const String &source, const String &find);
int Len(const String &s);
String Left(const String &s, int count);
String Right(const String &s, int count);
String Mid(const String &s, int start); // from start (1-based) to the end
String Mid(const String &s, int start, int length);
String Trim(const String &s); // leading and trailing white space removed
String Str(long long value);  // decimal digits, minus sign when negative
String Hex(long long value);  // uppercase digits, no leading zeros; negatives as 32-bit
double Val(const String &s);  // the leading number, 0 when none; "&h" then hex digits
String ChrB(int byte);        // one byte (0..255) as a one-character string
// A number as a 32-bit integer: the fraction dropped, the low 32 bits kept; NaN and infinities give 0.
int32_t ToInt32(double value);

} // namespace rb
