#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tavu {

// One connection as the log stores it: nine fields, each followed by "|", then CR LF.
struct LogRecord {
    std::string startDate;  // "dd-mm-yyyy"
    std::string startTime;  // "HH:MM:SS"
    std::string endDate;
    std::string endTime;
    std::string user;
    std::string device;
    std::string connection;  // phone-book entry name
    std::string bytesSent;
    std::string bytesReceived;
};

// The record's line with its line end. A "|", CR or LF inside a value would shift or split the
// record, so each becomes a blank: every line keeps its nine fields.
std::string composeRecord(const LogRecord& record);

// The fields of one log line, split at every "|" so that an empty field keeps its place.
// Fields a short line lacks are empty.
struct LogFields {
    enum Index {
        StartDate,
        StartTime,
        EndDate,
        EndTime,
        User,
        Device,
        Connection,
        BytesSent,
        BytesReceived,
        Count
    };
    std::array<std::string_view, Count> field{};
    std::string_view operator[](Index i) const { return field[i]; }
    // A line that is empty or holds nothing but separators and blanks is no record.
    bool isRecord() const;
};

LogFields splitRecord(std::string_view line);

// The places of the separators of a line (its CR already dropped), up to the ninth, as
// splitRecord finds them: their count.
using Separators = std::array<const char*, LogFields::Count>;
std::size_t findSeparators(std::string_view line, Separators& bars);
// The fields of a line with the separators found.
LogFields fieldsAt(std::string_view line, const Separators& bars, std::size_t count);

}  // namespace tavu
