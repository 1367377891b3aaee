#include "monitor/log_record.h"

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
    LogFields f;
    std::size_t i = 0;
    const char* p = line.data();
    const char* const end = p + line.size();
    const char* from = p;
    const auto cut = [&](const char* bar) {
        f.field[i++] = std::string_view(from, static_cast<std::size_t>(bar - from));
        from = bar + 1;
        return i == LogFields::Count;
    };
#if defined(__SSE2__)
    // Sixteen bytes at a time: the separators of a block come as the bits of one mask.
    const __m128i bars = _mm_set1_epi8('|');
    for (; end - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, bars)));
        for (; mask != 0; mask &= mask - 1) {
            if (cut(p + __builtin_ctz(mask))) {
                return f;
            }
        }
    }
#endif
    for (; p != end; ++p) {
        if (*p == '|' && cut(p)) {
            return f;
        }
    }
    f.field[i] = std::string_view(from, static_cast<std::size_t>(end - from));
    return f;
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
