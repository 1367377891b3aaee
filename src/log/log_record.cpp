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
    // Where each field starts and how long it is; the fields are made once at the end, so that
    // nothing is cleared first and written again.
    std::array<const char*, LogFields::Count> start;
    std::array<std::size_t, LogFields::Count> size;
    std::size_t i = 0;
    const char* p = line.data();
    const char* const end = p + line.size();
    const char* from = p;
    const auto cut = [&](const char* bar) {
        start[i] = from;
        size[i++] = static_cast<std::size_t>(bar - from);
        from = bar + 1;
        return i == LogFields::Count;
    };
    const auto fields = [&] {
        return LogFields{{std::string_view(start[0], size[0]), std::string_view(start[1], size[1]),
                          std::string_view(start[2], size[2]), std::string_view(start[3], size[3]),
                          std::string_view(start[4], size[4]), std::string_view(start[5], size[5]),
                          std::string_view(start[6], size[6]), std::string_view(start[7], size[7]),
                          std::string_view(start[8], size[8])}};
    };
#if defined(__SSE2__)
    // Sixteen bytes at a time: the separators of a block come as the bits of one mask.
    const __m128i bars = _mm_set1_epi8('|');
    for (; end - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, bars)));
        for (; mask != 0; mask &= mask - 1) {
            if (cut(p + __builtin_ctz(mask))) {
                return fields();
            }
        }
    }
#endif
    for (; p != end; ++p) {
        if (*p == '|' && cut(p)) {
            return fields();
        }
    }
    // The rest of the line is the last field; those after it are empty.
    start[i] = from;
    size[i] = static_cast<std::size_t>(end - from);
    for (std::size_t k = i + 1; k < LogFields::Count; ++k) {
        start[k] = end;
        size[k] = 0;
    }
    return fields();
}

bool LogFields::isRecord() const {
    for (const auto& v : field) {
        if (!trim(v).empty()) {
            return true;
        }
    }
    return false;
}

}  // namespace tavu
