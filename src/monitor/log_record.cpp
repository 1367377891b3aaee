#include "monitor/log_record.h"

#include "core/text.h"

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
    while (i < LogFields::Count) {
        const auto bar = line.find('|');
        if (bar == std::string_view::npos) {
            f.field[i] = line;
            break;
        }
        f.field[i++] = line.substr(0, bar);
        line.remove_prefix(bar + 1);
    }
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
