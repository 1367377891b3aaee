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
    // Where the separators are, up to the ninth; the fields are made from them at the end.
    std::array<const char*, LogFields::Count> bars;
    std::size_t n = 0;
    const char* p = line.data();
    const char* const end = p + line.size();
    const auto fields = [&] {
        LogFields f;
        const char* from = line.data();
        for (std::size_t k = 0; k < n; ++k) {
            f.field[k] = std::string_view(from, static_cast<std::size_t>(bars[k] - from));
            from = bars[k] + 1;
        }
        if (n < LogFields::Count) {
            // The rest of the line is the last field; those after it are empty.
            f.field[n] = std::string_view(from, static_cast<std::size_t>(end - from));
            for (std::size_t k = n + 1; k < LogFields::Count; ++k) {
                f.field[k] = std::string_view(end, 0);
            }
        }
        return f;
    };
#if defined(__SSE2__)
    // Sixteen bytes at a time: the separators of a block come as the bits of one mask.
    const __m128i separator = _mm_set1_epi8('|');
    const auto take = [&](const char* block, unsigned mask) {
        for (; mask != 0; mask &= mask - 1) {
            bars[n++] = block + __builtin_ctz(mask);
            if (n == LogFields::Count) {
                return true;
            }
        }
        return false;
    };
    for (; end - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (take(p, static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, separator))))) {
            return fields();
        }
    }
    if (p != end && line.size() >= 16) {
        // The last bytes as one block that ends with the line, those already seen left out.
        const char* block = end - 16;
        const auto seen = static_cast<unsigned>(p - block);
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), separator)));
        take(block, mask >> seen << seen);
        return fields();
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
    return fields();
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
