#pragma once

// The operator's answer to the balance code, read with the user's patterns: how much data and
// money the operator says are left.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavu {

class PlanKeys;
class SettingsStore;

// How the balance is asked and read. The default plan keeps these keys in Settings; a plan
// passes its own section.
struct BalanceSettings {
    std::string ussd;          // the code sent ("*100#"); empty: not set up
    int everyHours = 0;        // 0: only by hand
    std::string dataPattern;   // first capture group: the data left
    std::string moneyPattern;  // first capture group: the money left
    std::string dataUnit;      // "MB" or "GB", what the data number counts
};

BalanceSettings readBalanceSettings(const SettingsStore& settings, std::string_view section);
// The balance keys of a plan: in its own section, or in Settings for the default plan.
BalanceSettings readBalanceSettings(const SettingsStore& settings, const PlanKeys& plan);

// A reply and the patterns are read this far; a longer reply is cut (no operator's USSD
// answer is longer than a few hundred characters).
inline constexpr std::size_t kBalanceReplyMax = 1024;
inline constexpr std::size_t kBalancePatternMax = 256;

struct BalanceFigures {
    std::optional<std::int64_t> dataBytes;  // data left, bytes (a megabyte is 1,000,000)
    std::string dataText;                   // as captured and shown: "1.5 GB"
    std::optional<double> money;            // money left
    std::string problem;                    // why a pattern or its number was not usable
};

// The figures a reply holds. A pattern that is empty finds nothing; one that cannot be read, or
// captures no number, leaves its figure out and says why in problem.
BalanceFigures parseBalanceReply(std::string_view reply, const BalanceSettings& settings);

// The status list's line: "Operator: 1.5 GB left (12:40)"; clock is "HH:MM".
std::string balanceStatusLine(const BalanceFigures& figures, const std::string& clock);

}  // namespace tavu
