#pragma once

#include <string>
#include <string_view>

#include "metrics/figures.h"

namespace tavu {

// The content type of the text below.
inline constexpr const char* kExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";

// The figures in Prometheus's text exposition format 0.0.4: every family with its HELP and TYPE
// lines, base units (seconds, bytes), counters ending in _total. Families without a sample (no
// connection yet, no cap set) are left out.
std::string expositionText(const MetricsFigures& figures);

// A label's value as the format writes it between its quotes: well-formed UTF-8 (other bytes
// become U+FFFD), backslash, double quote and line feed escaped, every other control character
// (C0, DEL, C1 and the direction controls) left out.
std::string labelValue(std::string_view text);

// A sample's value: the shortest text that reads back as the same double; NaN, +Inf, -Inf.
std::string sampleValue(double value);

}  // namespace tavu
