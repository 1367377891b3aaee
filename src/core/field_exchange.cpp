#include "core/field_exchange.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

#include "core/prompter.h"
#include "core/text.h"

namespace tavu {

namespace {

// The text without blanks around it and without a leading "+" (from_chars takes none).
std::string_view numberBody(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return {};  // one sign only
        }
    }
    return text;
}

}  // namespace

std::string integerRangeMessage(int low, int high) {
    return "Please enter an integer between " + std::to_string(low) + " and " +
           std::to_string(high) + ".";
}

std::optional<int> parseIntegerField(std::string_view text) {
    const std::string_view body = numberBody(text);
    if (body.empty()) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (ec != std::errc() || end != body.data() + body.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseNumberField(std::string_view text) {
    const std::string_view body = numberBody(text);
    if (body.empty()) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, ec] =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != body.data() + body.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string formatNumberField(double value) {
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (ec != std::errc()) {
        return "0";
    }
    return std::string(buf, end);
}

FieldExchange::FieldExchange(Prompter& prompter, std::string caption)
    : prompter_(prompter), caption_(std::move(caption)) {}

bool FieldExchange::refuse(const std::string& message) {
    failed_ = true;
    prompter_.show(Message{message, caption_, Buttons::Ok, Icon::Warning});
    return false;
}

void FieldExchange::integer(std::string_view text, int& value) {
    if (failed_) {
        return;
    }
    if (const auto v = parseIntegerField(text)) {
        value = *v;
    } else {
        refuse(kEnterInteger);
    }
}

void FieldExchange::integerInRange(std::string_view text, int& value, int low, int high) {
    if (failed_) {
        return;
    }
    const auto v = parseIntegerField(text);
    if (!v) {
        refuse(kEnterInteger);
    } else if (*v < low || *v > high) {
        refuse(integerRangeMessage(low, high));
    } else {
        value = *v;
    }
}

void FieldExchange::number(std::string_view text, double& value) {
    if (failed_) {
        return;
    }
    if (const auto v = parseNumberField(text)) {
        value = *v;
    } else {
        refuse(kEnterNumber);
    }
}

void FieldExchange::text(std::string_view text, std::string& value) {
    if (!failed_) {
        value = std::string(text);
    }
}

void FieldExchange::checked(std::string_view text, std::string& value, bool valid,
                            const char* message) {
    if (failed_) {
        return;
    }
    if (valid) {
        value = std::string(text);
    } else {
        refuse(message);
    }
}

}  // namespace tavu
