#pragma once

// The figures the metrics endpoint serves: counted by the monitor at its cost-check pace and
// when a connection starts or ends, read as they are by every scrape.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavu {

// One connection name of the log (the entry or NetworkManager connection), all its records and
// the connection in progress together.
struct ConnectionFigures {
    std::string name;
    std::string device;  // the device it is up on, else the one of its last record
    bool active = false;
    double seconds = 0;  // time online, counted as the summary counts it
    double sent = 0;     // bytes
    double received = 0;
    double cost = 0;
};

// The current billing period of one plan: the connection in progress included.
struct PeriodFigures {
    std::string plan;        // its name, "Default" for the default plan
    std::int64_t start = 0;  // the period's first moment, seconds since the epoch
    std::int64_t end = 0;    // the first moment of the next period
    double bytes = 0;
    double seconds = 0;
    double cost = 0;
    double projectedBytes = 0;
    double projectedCost = 0;
    std::optional<double> warnCapBytes;  // the caps that are set
    std::optional<double> hangupCapBytes;
};

struct MetricsFigures {
    std::string version;
    std::vector<ConnectionFigures> connections;  // by name
    std::vector<PeriodFigures> periods;          // the default plan first, then the plans in order
};

// Keeps the counters of each connection from going down while the program runs: a count that
// comes out lower than the one served before (a log edited or rotated, a tariff lowered) is
// served as the earlier value, and a name that left the log stays with its last values.
class CounterFloor {
  public:
    // Raises the counters to the highest served so far, adds the names served before, sorts by
    // name, and remembers the result.
    void apply(std::vector<ConnectionFigures>& connections);

  private:
    std::map<std::string, ConnectionFigures> served_;
};

}  // namespace tavu
