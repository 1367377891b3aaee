#pragma once

#include <string>
#include <string_view>

#include "tariff/plan.h"

namespace tavu {

class SettingsStore;

// The two drop-down lists of the cheap time: 96 starts at the quarter hours (entry n is n × 15
// minutes after midnight) and 96 ends one minute before each following quarter hour (n × 15 + 14).
inline constexpr int kCheapListSize = 96;
inline constexpr int kCheapStartDefaultIndex = 92;  // 23:00
inline constexpr int kCheapEndDefaultIndex = 23;    // 05:59

// "HH:MM" of entry n of a list; empty when n lies outside 0..95.
std::string cheapStartText(int index);
std::string cheapEndText(int index);

// Whether a text of the tariff's time fields (free time, minimal length, block) reads as it
// looks: "H:MM" or "HH:MM" with minutes 00 to 59, or a plain number of minutes (at most seven
// digits). Blanks around it are allowed; anything else the tariff would misread.
bool isTariffTimeText(std::string_view text);

inline constexpr const char* kTariffTimeMessage =
    "Please enter a time as HH:MM (hours and minutes) or a number of minutes.";

// A money limit of the cost check (WarnWhenMonthInterval and the like, the default plan's in
// section Settings): a decimal amount such as "2.5", or a whole number as earlier versions stored
// it (a negative one, read as an unsigned number, is never exceeded). Missing: 1.
double readMoneyLimit(const SettingsStore& settings, const char* key, const PlanKeys& plan = {});

// The switch of a money limit (WarnWhenMonth, WarnWhenCall, DisWhenMonth, DisWhenCall): on only
// when it reads exactly 1.
bool moneyLimitOn(const SettingsStore& settings, const char* key, const PlanKeys& plan = {});

inline constexpr const char* kLimitMessage =
    "Please enter an amount greater than 0 and at most 100000.";

}  // namespace tavu
