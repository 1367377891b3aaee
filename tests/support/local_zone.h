#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

namespace tavu::test {

// Makes the named zone the local time zone of the process until the object goes.
class LocalZone {
  public:
    explicit LocalZone(const std::string& zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        ::setenv("TZ", zone.c_str(), 1);
        ::tzset();
    }
    ~LocalZone() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

    // Whether the system has the rules of a zone (the tzdata package).
    static bool known(const std::string& zone) {
        return std::filesystem::exists("/usr/share/zoneinfo/" + zone);
    }

  private:
    std::optional<std::string> old_;
};

}  // namespace tavu::test
