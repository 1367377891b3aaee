#pragma once

// Logs of n records with a realistic tariff beside them, made once per size for the benchmarks
// and removed when the program ends.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_record.h"

namespace tavu::bench {

struct BenchLog {
    std::string dir;
    std::string log;
    std::int64_t bytes = 0;
};

class BenchLogs {
  public:
    ~BenchLogs() {
        for (const auto& [n, f] : made_) {
            std::error_code ec;
            std::filesystem::remove_all(f.dir, ec);
        }
    }

    const BenchLog& get(std::int64_t n) {
        if (const auto it = made_.find(n); it != made_.end()) {
            return it->second;
        }
        return made_.emplace(n, make(n)).first->second;
    }

  private:
    static BenchLog make(std::int64_t n) {
        BenchLog f;
        std::string tmpl = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
        f.dir = ::mkdtemp(tmpl.data());
        f.log = f.dir + "/logfile.log";
        SettingsStore s(f.dir + "/tavu.ini");
        s.writeString("Price", "PricePerDial", "0.5000000000");
        s.writeString("Price", "CostPerMinute", "0.1000000000");
        s.writeString("Price", "CheapCostPerMinute", "0.0500000000");
        s.writeString("Price", "CheapTimeStart", "23:00");
        s.writeString("Price", "CheapTimeEnd", "05:59");
        s.writeString("Price", "MinConTime", "00:01");
        s.writeString("Price", "ConnectionBlock", "00:01");
        s.writeString("Price", "FreeMonthTime", "01:00");
        s.writeInt("Settings", "CheapInSat", 1);
        std::mt19937 rng(7);
        std::ofstream out(f.log, std::ios::binary);
        std::string buf;
        for (std::int64_t i = 0; i < n; ++i) {
            const int day = 1 + static_cast<int>(rng() % 28);
            const int month = 1 + static_cast<int>(rng() % 12);
            const int year = 2000 + static_cast<int>(rng() % 27);
            const int h = static_cast<int>(rng() % 24);
            const int m = static_cast<int>(rng() % 60);
            const int len = static_cast<int>(rng() % 7200);
            const int endSecs = (h * 3600 + m * 60 + len) % 86400;
            buf += composeRecord(
                {formatDate(day, month, year), formatClock(h, m, 0), formatDate(day, month, year),
                 formatClock(endSecs / 3600, endSecs / 60 % 60, endSecs % 60), "joe", "ttyS0",
                 "Provider", std::to_string(rng() % 10000000), std::to_string(rng() % 100000000)});
            if (buf.size() > (1 << 20)) {
                out << buf;
                buf.clear();
            }
        }
        out << buf;
        out.close();
        f.bytes = static_cast<std::int64_t>(std::filesystem::file_size(f.log));
        return f;
    }

    std::map<std::int64_t, BenchLog> made_;
};

// The logs of this benchmark program.
inline const BenchLog& benchLog(std::int64_t n) {
    static BenchLogs logs;
    return logs.get(n);
}

}  // namespace tavu::bench
