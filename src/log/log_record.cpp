#include "log/log_record.h"

#include "core/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavu {

namespace {

void appendField(std::string& out, std::string_view value) {
    for (const char c : value) {
        out.push_back((c == '|' || c == '\r' || c == '\n') ? ' ' : c);
    }
    out.push_back('|');
}

}  // namespace

std::string composeRecord(const LogRecord& r) {
    std::string out;
    out.reserve(64 + r.user.size() + r.device.size() + r.connection.size());
    for (const std::string* f : {&r.startDate, &r.startTime, &r.endDate, &r.endTime, &r.user,
                                 &r.device, &r.connection, &r.bytesSent, &r.bytesReceived}) {
        appendField(out, *f);
    }
    out += "\r\n";
    return out;
}

LogFields splitRecord(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    Separators bars;
    const std::size_t n = findSeparators(line, bars);
    return fieldsAt(line, bars, n);
}

LogFields fieldsAt(std::string_view line, const Separators& bars, std::size_t n) {
    // Where each field starts and how long it is; the fields are made once at the end, so that
    // nothing is cleared first and written again.
    std::array<const char*, LogFields::Count> start;
    std::array<std::size_t, LogFields::Count> size;
    const char* const end = line.data() + line.size();
    const char* from = line.data();
    for (std::size_t k = 0; k < LogFields::Count; ++k) {
        if (k < n) {
            start[k] = from;
            size[k] = static_cast<std::size_t>(bars[k] - from);
            from = bars[k] + 1;
        } else if (k == n) {
            // The rest of the line is the last field; those after it are empty.
            start[k] = from;
            size[k] = static_cast<std::size_t>(end - from);
        } else {
            start[k] = end;
            size[k] = 0;
        }
    }
    return LogFields{{std::string_view(start[0], size[0]), std::string_view(start[1], size[1]),
                      std::string_view(start[2], size[2]), std::string_view(start[3], size[3]),
                      std::string_view(start[4], size[4]), std::string_view(start[5], size[5]),
                      std::string_view(start[6], size[6]), std::string_view(start[7], size[7]),
                      std::string_view(start[8], size[8])}};
}

std::size_t findSeparators(std::string_view line, Separators& bars) {
    std::size_t n = 0;
    const char* p = line.data();
    const char* const end = p + line.size();
#if defined(__SSE2__)
    // Sixteen bytes at a time: the separators of a block come as the bits of one mask.
    const __m128i separator = _mm_set1_epi8('|');
    const auto maskAt = [&](const char* block) {
        return static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), separator)));
    };
    const auto take = [&](const char* block, unsigned mask) {
        for (; mask != 0; mask &= mask - 1) {
            bars[n++] = block + __builtin_ctz(mask);
            if (n == LogFields::Count) {
                return true;
            }
        }
        return false;
    };
    if (line.size() >= 48) {
        // The log's own form: "dd-mm-yyyy|HH:MM:SS|dd-mm-yyyy|HH:MM:SS|", the first four
        // separators at their places and no other among the first 40 bytes.
        const unsigned m2 = maskAt(p + 32);
        if (maskAt(p) == 1u << 10 && maskAt(p + 16) == ((1u << 3) | (1u << 14)) &&
            (m2 & 0xffu) == 1u << 7) {
            bars[0] = p + 10;
            bars[1] = p + 19;
            bars[2] = p + 30;
            bars[3] = p + 39;
            n = 4;
            if (take(p + 32, m2 & 0xff00u)) {
                return n;
            }
            p += 48;
        }
    }
    for (; end - p >= 16; p += 16) {
        if (take(p, maskAt(p))) {
            return n;
        }
    }
    if (p != end && line.size() >= 16) {
        // The last bytes as one block that ends with the line, those already seen left out.
        const char* block = end - 16;
        const auto seen = static_cast<unsigned>(p - block);
        take(block, maskAt(block) >> seen << seen);
        return n;
    }
#endif
    for (; p != end; ++p) {
        if (*p == '|') {
            bars[n++] = p;
            if (n == LogFields::Count) {
                break;
            }
        }
    }
    return n;
}

bool LogFields::isRecord() const {
    // A field that begins with anything but a blank is not blank: most lines end here.
    for (const auto& v : field) {
        if (!v.empty()) {
            const char c = v.front();
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') {
                return true;
            }
            break;
        }
    }
    for (const auto& v : field) {
        if (!trim(v).empty()) {
            return true;
        }
    }
    return false;
}

}  // namespace tavu
