#include "metrics/exposition.h"

#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "core/text.h"

namespace tavu {

namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

class Writer {
  public:
    // The HELP and TYPE lines of a family.
    void family(const char* name, const char* type, const char* help) {
        out_ += "# HELP ";
        out_ += name;
        out_ += ' ';
        out_ += help;
        out_ += "\n# TYPE ";
        out_ += name;
        out_ += ' ';
        out_ += type;
        out_ += '\n';
    }
    void sample(const char* name, const Labels& labels, double value) {
        out_ += name;
        if (!labels.empty()) {
            out_ += '{';
            bool first = true;
            for (const auto& [label, text] : labels) {
                if (!first) {
                    out_ += ',';
                }
                first = false;
                out_ += label;
                out_ += "=\"";
                out_ += labelValue(text);
                out_ += '"';
            }
            out_ += '}';
        }
        out_ += ' ';
        out_ += sampleValue(value);
        out_ += '\n';
    }
    std::string take() { return std::move(out_); }

  private:
    std::string out_;
};

// The labels of a period: its plan.
Labels planLabels(const PeriodFigures& p) {
    return Labels{{"plan", p.plan}};
}

}  // namespace

std::string labelValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = utf8Length(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
            continue;
        }
        const std::string_view seq = text.substr(i, n);
        i += n;
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            // Other controls are left out.
        } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(seq[1]) < 0xA0) {
            // C1 controls, U+0080 to U+009F.
        } else if (isBidiControl(seq)) {
            // Controls that turn the text around.
        } else {
            out += seq;
        }
    }
    return out;
}

std::string sampleValue(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    if (value == 0) {
        return "0";  // never "-0"
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string expositionText(const MetricsFigures& f) {
    Writer w;
    w.family("tavu_up", "gauge", "1 while TAVU serves its metrics.");
    w.sample("tavu_up", {}, 1);
    w.family("tavu_build_info", "gauge", "The version of TAVU, as a label; always 1.");
    w.sample("tavu_build_info", {{"version", f.version}}, 1);

    if (!f.connections.empty()) {
        using Field = double ConnectionFigures::*;
        const auto counter = [&](const char* name, const char* help, Field field) {
            w.family(name, "counter", help);
            for (const ConnectionFigures& c : f.connections) {
                w.sample(name, {{"connection", c.name}}, c.*field);
            }
        };
        w.family("tavu_connection_active", "gauge",
                 "1 while the connection is up, else 0; device is where it is up, or was last.");
        for (const ConnectionFigures& c : f.connections) {
            w.sample("tavu_connection_active", {{"connection", c.name}, {"device", c.device}},
                     c.active ? 1 : 0);
        }
        counter("tavu_connection_seconds_total",
                "Time online of the connection, the connection in progress included, in seconds.",
                &ConnectionFigures::seconds);
        counter("tavu_transmit_bytes_total",
                "Bytes sent over the connection, the connection in progress included.",
                &ConnectionFigures::sent);
        counter("tavu_receive_bytes_total",
                "Bytes received over the connection, the connection in progress included.",
                &ConnectionFigures::received);
        counter("tavu_cost_total",
                "Cost of the connection under the current tariff, the connection in progress "
                "included, in money units.",
                &ConnectionFigures::cost);
    }

    if (!f.periods.empty()) {
        using Field = double PeriodFigures::*;
        const auto gauge = [&](const char* name, const char* help, Field field) {
            w.family(name, "gauge", help);
            for (const PeriodFigures& p : f.periods) {
                w.sample(name, planLabels(p), p.*field);
            }
        };
        w.family("tavu_period_start_timestamp_seconds", "gauge",
                 "Start of the plan's current billing period, seconds since the epoch.");
        for (const PeriodFigures& p : f.periods) {
            w.sample("tavu_period_start_timestamp_seconds", planLabels(p),
                     static_cast<double>(p.start));
        }
        w.family("tavu_period_end_timestamp_seconds", "gauge",
                 "End of the plan's current billing period (the next one's start), seconds "
                 "since the epoch.");
        for (const PeriodFigures& p : f.periods) {
            w.sample("tavu_period_end_timestamp_seconds", planLabels(p),
                     static_cast<double>(p.end));
        }
        gauge("tavu_period_bytes",
              "Bytes sent and received in the plan's current billing period, the connection in "
              "progress included.",
              &PeriodFigures::bytes);
        gauge("tavu_period_seconds",
              "Time online in the plan's current billing period, in seconds.",
              &PeriodFigures::seconds);
        gauge("tavu_period_cost",
              "Cost of the plan's current billing period, its free time and data taken off, in "
              "money units.",
              &PeriodFigures::cost);
        gauge("tavu_period_projected_bytes",
              "Bytes the current billing period comes to at the pace so far.",
              &PeriodFigures::projectedBytes);
        gauge("tavu_period_projected_cost",
              "Cost the current billing period comes to at the pace so far, in money units.",
              &PeriodFigures::projectedCost);

        bool capSet = false;
        for (const PeriodFigures& p : f.periods) {
            capSet = capSet || p.warnCapBytes || p.hangupCapBytes;
        }
        if (capSet) {
            w.family("tavu_data_cap_bytes", "gauge",
                     "Data caps of the plan that are set: kind warn or hangup, in bytes.");
            for (const PeriodFigures& p : f.periods) {
                for (const auto& [kind, cap] :
                     {std::pair{"warn", p.warnCapBytes}, std::pair{"hangup", p.hangupCapBytes}}) {
                    if (cap) {
                        w.sample("tavu_data_cap_bytes", {{"kind", kind}, {"plan", p.plan}}, *cap);
                    }
                }
            }
        }
    }
    return w.take();
}

}  // namespace tavu
