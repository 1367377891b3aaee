#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavu {

// Skips the leading blanks and one sign of a number's text; returns where its digits start.
std::size_t skipBlanksAndSign(std::string_view text, bool& negative);

// The leading decimal integer of a text, after blanks and an optional sign; 0 when there is
// none. Values beyond the range of int64 saturate.
std::int64_t leadingInt(std::string_view text);

// leadingInt clamped to the range of int.
int leadingInt32(std::string_view text);

// The leading decimal number of a text with "." as the separator, whatever the locale;
// 0 when there is none or it is not finite.
double leadingDouble(std::string_view text);

// Fixed-point text with the given decimals, "." as the separator, whatever the locale
// (what "%.2f" gives in the C locale).
std::string formatFixed(double value, int decimals);

// "HH:MM:SS" of a count of seconds; hours are not wrapped at a day ("25:00:00").
std::string formatHms(std::int64_t seconds);

// "dd-mm-yyyy" and "HH:MM:SS", as the log stores dates and clock times.
std::string formatDate(int day, int month, int year);
std::string formatClock(int hour, int minute, int second);

// The text with blanks trimmed at both ends.
std::string_view trim(std::string_view text);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

// True when the text holds no control characters (bytes below 0x20, and DEL).
bool hasNoControlChars(std::string_view text);

// The length of the well-formed UTF-8 sequence at text[i] (RFC 3629: no overlong forms, no
// surrogates, nothing beyond U+10FFFF); 0 when the bytes there form none.
std::size_t utf8Length(std::string_view text, std::size_t i);

// True when the UTF-8 sequence is one of the controls that turn the direction of the text
// around (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069): shown as they are, they
// can make a text read backwards.
bool isBidiControl(std::string_view sequence);

// A text from outside (a server's answer, a file) made safe to print on a terminal: every control
// character (C0, DEL, C1, and the direction controls above) becomes '?', tabs and line ends
// ("\n", "\r\n") excepted; bytes that are not UTF-8 become '?' too.
std::string printableText(std::string_view text);

}  // namespace tavu
