#include "core/text.h"

#include <algorithm>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tavu {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::size_t skipBlanksAndSign(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

std::int64_t leadingInt(std::string_view text) {
    bool negative = false;
    std::size_t i = skipBlanksAndSign(text, negative);
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        const int d = text[i] - '0';
        if (value > (kMax - d) / 10) {
            return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
        }
        value = value * 10 + d;
    }
    return negative ? -value : value;
}

int leadingInt32(std::string_view text) {
    const std::int64_t v = leadingInt(text);
    if (v > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    if (v < std::numeric_limits<int>::min()) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(v);
}

double leadingDouble(std::string_view text) {
    // The common case first: nothing but up to 15 digits, a whole number exact in a double.
    if (!text.empty() && text.size() <= 15) {
        std::uint64_t whole = 0;
        std::size_t k = 0;
        for (; k < text.size(); ++k) {
            const unsigned d = static_cast<unsigned char>(text[k]) - static_cast<unsigned>('0');
            if (d > 9) {
                break;
            }
            whole = whole * 10 + d;
        }
        if (k == text.size()) {
            return static_cast<double>(whole);
        }
    }
    bool negative = false;
    const std::size_t i = skipBlanksAndSign(text, negative);
    // Only plain decimal notation counts: digits, an optional fraction, an optional exponent.
    const std::size_t start = i;
    std::size_t end = i;
    bool digits = false;
    std::int64_t whole = 0;
    while (end < text.size() && isDigit(text[end])) {
        whole = end - start < 18 ? whole * 10 + (text[end] - '0') : whole;
        ++end;
        digits = true;
    }
    const bool more =
        end < text.size() && (text[end] == '.' || text[end] == 'e' || text[end] == 'E');
    if (digits && !more && end - start <= 15) {
        // A whole number of at most 15 digits is exact in a double.
        const auto value = static_cast<double>(whole);
        return negative ? -value : value;
    }
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && isDigit(text[end])) {
            ++end;
            digits = true;
        }
    }
    if (!digits) {
        return 0.0;
    }
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t e = end + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) {
            ++e;
        }
        if (e < text.size() && isDigit(text[e])) {
            while (e < text.size() && isDigit(text[e])) {
                ++e;
            }
            end = e;
        }
    }
    double value = 0.0;
    const auto res =
        std::from_chars(text.data() + start, text.data() + end, value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow is not a usable price; underflow is as good as zero.
        return 0.0;
    }
    if (res.ec != std::errc() || !std::isfinite(value)) {
        return 0.0;
    }
    return negative ? -value : value;
}

std::string formatFixed(double value, int decimals) {
    char buf[400];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) {
        return "0";
    }
    return std::string(buf, res.ptr);
}

std::string formatHms(std::int64_t seconds) {
    if (seconds < 0) {
        seconds = 0;
    }
    char buf[32];
    const int n =
        std::snprintf(buf, sizeof buf, "%02lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string formatDate(int day, int month, int year) {
    char buf[40];
    const int n = std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", day, month, year);
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string formatClock(int hour, int minute, int second) {
    char buf[40];
    const int n = std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool hasNoControlChars(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// Length of the well-formed UTF-8 sequence at text[i] (RFC 3629: no overlong forms, no
// surrogates, nothing beyond U+10FFFF); 0 when the bytes there form none.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char c = b(0);
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + n > text.size() || b(1) < lo || b(1) > hi) {
        return 0;
    }
    for (std::size_t k = 2; k < n; ++k) {
        if (b(k) < 0x80 || b(k) > 0xBF) {
            return 0;
        }
    }
    return n;
}

bool isBidiControl(std::string_view s) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    if (s.size() == 2) {
        return b(0) == 0xd8 && b(1) == 0x9c;  // U+061C
    }
    if (s.size() != 3 || b(0) != 0xe2) {
        return false;
    }
    if (b(1) == 0x80) {
        return b(2) == 0x8e || b(2) == 0x8f || (b(2) >= 0xaa && b(2) <= 0xae);
    }
    return b(1) == 0x81 && b(2) >= 0xa6 && b(2) <= 0xa9;
}

std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const bool kept = c >= 0x20
                                  ? c != 0x7f
                                  : c == '\t' || c == '\n' ||
                                        (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
            out.push_back(kept ? static_cast<char>(c) : '?');
            ++i;
            continue;
        }
        const std::size_t length = utf8Length(text, i);
        // U+0080 to U+009F are the C1 controls, CSI among them.
        if (length == 0 || (c == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0) ||
            isBidiControl(text.substr(i, length))) {
            out.push_back('?');
            i += length == 0 ? 1 : length;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace tavu
