#include "monitor/operator_balance.h"

#include <charconv>
#include <cmath>

#include <QRegularExpression>
#include <QString>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "tariff/plan.h"

namespace tavu {

namespace {

std::string trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return std::string(s);
}

// A number written with digits and at most one '.', an optional '-' first; nothing else.
std::optional<double> plainNumber(const std::string& text) {
    std::size_t i = text.empty() || text[0] != '-' ? 0 : 1;
    bool digit = false;
    bool point = false;
    for (std::size_t k = i; k < text.size(); ++k) {
        if (text[k] >= '0' && text[k] <= '9') {
            digit = true;
        } else if (text[k] == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digit || text.size() > 24) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

void addProblem(std::string& problem, const std::string& text) {
    if (!problem.empty()) {
        problem += ' ';
    }
    problem += text;
}

// The first group's text where pattern first matches reply; none when it does not match. A
// pattern that cannot be used says why in problem.
std::optional<std::string> capture(std::string_view reply, const std::string& pattern,
                                   const char* key, std::string& problem) {
    if (pattern.empty()) {
        return std::nullopt;
    }
    if (pattern.size() > kBalancePatternMax) {
        addProblem(problem, std::string("The setting ") + key + " is longer than " +
                                std::to_string(kBalancePatternMax) + " characters.");
        return std::nullopt;
    }
    // PCRE2's own limits end a match that backtracks without end (a hostile reply meeting a
    // pattern such as "(a|a)*"): it finds nothing, where std::regex would run for ever.
    const QRegularExpression re(QString::fromStdString(pattern));
    if (!re.isValid()) {
        addProblem(problem, std::string("The setting ") + key +
                                " is not a regular expression that can be read: " +
                                re.errorString().toStdString() + ".");
        return std::nullopt;
    }
    if (re.captureCount() < 1) {
        addProblem(problem, std::string("The setting ") + key +
                                " has no group in parentheses for the number.");
        return std::nullopt;
    }
    const QRegularExpressionMatch m =
        re.match(QString::fromUtf8(reply.data(), static_cast<qsizetype>(reply.size())));
    if (!m.hasMatch() || m.capturedStart(1) < 0) {
        return std::nullopt;
    }
    return m.captured(1).toStdString();
}

}  // namespace

BalanceSettings readBalanceSettings(const SettingsStore& settings, const PlanKeys& plan) {
    return readBalanceSettings(settings, plan.section(keys::kSettings));
}

BalanceSettings readBalanceSettings(const SettingsStore& settings, std::string_view section) {
    BalanceSettings b;
    b.ussd = trimmed(settings.readString(section, keys::kBalanceUSSD));
    b.everyHours = std::max(0, settings.readInt(section, keys::kBalanceEveryHours, 0));
    b.dataPattern = settings.readString(section, keys::kBalanceDataPattern);
    b.moneyPattern = settings.readString(section, keys::kBalanceMoneyPattern);
    b.dataUnit = trimmed(settings.readString(section, keys::kBalanceDataUnit, "MB"));
    return b;
}

BalanceFigures parseBalanceReply(std::string_view reply, const BalanceSettings& settings) {
    BalanceFigures f;
    reply = reply.substr(0, kBalanceReplyMax);
    if (auto text = capture(reply, settings.dataPattern, keys::kBalanceDataPattern, f.problem)) {
        const std::string number = trimmed(*text);
        const std::string unit =
            settings.dataUnit == "gb" || settings.dataUnit == "GB" ? "GB"
            : settings.dataUnit == "mb" || settings.dataUnit == "MB" || settings.dataUnit.empty()
                ? "MB"
                : "";
        const double scale = unit == "GB" ? 1e9 : 1e6;
        const auto value = plainNumber(number);
        if (unit.empty()) {
            addProblem(f.problem,
                       std::string("The setting ") + keys::kBalanceDataUnit + " must be MB or GB.");
        } else if (!value) {
            addProblem(f.problem, "The data left in the operator's reply is not a number.");
        } else if (*value * scale >= 9e18) {
            addProblem(f.problem, "The data left in the operator's reply is too large.");
        } else {
            f.dataBytes = static_cast<std::int64_t>(std::max(0.0, *value) * scale);
            f.dataText = number + " " + unit;
        }
    }
    if (auto text = capture(reply, settings.moneyPattern, keys::kBalanceMoneyPattern, f.problem)) {
        if (const auto value = plainNumber(trimmed(*text))) {
            f.money = *value;
        } else {
            addProblem(f.problem, "The money left in the operator's reply is not a number.");
        }
    }
    return f;
}

std::string balanceStatusLine(const BalanceFigures& figures, const std::string& clock) {
    std::string what;
    if (figures.dataBytes && figures.money) {
        what = figures.dataText + " and " + formatFixed(*figures.money, 2) + " left";
    } else if (figures.dataBytes) {
        what = figures.dataText + " left";
    } else if (figures.money) {
        what = formatFixed(*figures.money, 2) + " left";
    } else {
        what = "no figures in the reply";
    }
    return "Operator: " + what + " (" + clock + ")";
}

}  // namespace tavu
