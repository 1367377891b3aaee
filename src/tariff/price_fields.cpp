#include "tariff/price_fields.h"

#include <cstdint>

#include "core/field_exchange.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"

namespace tavu {

namespace {

std::string hhmm(int minutes) {
    const char out[] = {
        static_cast<char>('0' + minutes / 600), static_cast<char>('0' + minutes / 60 % 10), ':',
        static_cast<char>('0' + minutes % 60 / 10), static_cast<char>('0' + minutes % 10)};
    return std::string(out, sizeof out);  // minutes of one day: two digits of hours
}

bool allDigits(std::string_view s) {
    for (const char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !s.empty();
}

}  // namespace

std::string cheapStartText(int index) {
    if (index < 0 || index >= kCheapListSize) {
        return {};
    }
    return hhmm(index * 15);
}

std::string cheapEndText(int index) {
    if (index < 0 || index >= kCheapListSize) {
        return {};
    }
    return hhmm(index * 15 + 14);
}

bool isTariffTimeText(std::string_view text) {
    text = trim(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return allDigits(text) && text.size() <= 7;
    }
    // The tariff takes the hours from the first two characters and the minutes from the last
    // two, so the hours have one or two digits and the minutes exactly two.
    const std::string_view hours = text.substr(0, colon);
    const std::string_view minutes = text.substr(colon + 1);
    return allDigits(hours) && hours.size() <= 2 && allDigits(minutes) && minutes.size() == 2 &&
           minutes[0] <= '5';
}

double readMoneyLimit(const SettingsStore& settings, const char* key, const PlanKeys& plan) {
    const std::string_view section = plan.section(keys::kSettings);
    const std::string stored = settings.readString(section, key, "");
    if (stored.find_first_of(".eE") != std::string::npos) {
        if (const auto v = parseNumberField(stored); v && *v >= 0) {
            return *v;
        }
    }
    return static_cast<double>(static_cast<std::uint32_t>(settings.readInt(section, key, 1)));
}

bool moneyLimitOn(const SettingsStore& settings, const char* key, const PlanKeys& plan) {
    return settings.readInt(plan.section(keys::kSettings), key, 0) == 1;
}

}  // namespace tavu
