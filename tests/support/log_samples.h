#pragma once

// Logs for the tests of the log's readers and the report built on them.

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_file.h"
#include "log/log_record.h"

namespace tavu::test {

// The records of a log, newest first, as the command-line report reads them.
inline std::vector<std::string> reportLines(const std::string& path) {
    std::vector<std::string> out;
    LogReader::forEachLineReverse(path, [&](std::string_view line) {
        if (!line.empty() && splitRecord(line).isRecord()) {
            out.emplace_back(line);
        }
    });
    return out;
}

// A log with every kind of line: records, empty lines, separators only, blanks, CR LF and LF,
// binary bytes, lines longer than the readers keep, and lines that cross the reading chunks.
inline std::string messyLog(unsigned seed, std::size_t lines) {
    std::mt19937 rng(seed);
    std::string log;
    for (std::size_t i = 0; i < lines; ++i) {
        switch (rng() % 12) {
            case 0:
                break;  // empty line
            case 1:
                log += "|||||||||";
                break;
            case 2:
                log += " \t | |";
                break;
            case 3:
                log += std::string(LogReader::kMaxLine + rng() % 40000, 'x') + "|y|";
                break;
            case 4:
                for (int k = 0; k < 30; ++k) {
                    log.push_back(static_cast<char>(rng() % 256 == '\n' ? 1 : rng() % 256));
                }
                break;
            case 5:
                log += "|||||||||| after the ninth separator";
                break;
            case 6:
                log += "  x";
                break;
            default:
                log += "0" + std::to_string(rng() % 9 + 1) + "-05-2024|10:00:00|" +
                       "01-05-2024|10:0" + std::to_string(rng() % 10) + ":00|joe||ISP|" +
                       std::to_string(i) + "|" + std::to_string(rng()) + "|";
        }
        log += (rng() % 2) ? "\r\n" : "\n";
    }
    return log;
}

}  // namespace tavu::test
