// Prints the exposition of figures with every awkward name and value a log can hold, so that
// `promtool check metrics` can judge the text.

#include <cstdio>
#include <limits>

#include "metrics/exposition.h"

int main() {
    using namespace tavu;
    MetricsFigures f;
    f.version = "1.1 BETA";
    f.connections.push_back({"Provider", "/dev/ttyS0", false, 3600, 1e6, 2.5e9, 12.75});
    f.connections.push_back({"Quote\" back\\slash\nline", "ppp0", true, 1, 2, 3, 0.1});
    f.connections.push_back({"bad \xff\xfe utf-8 \x1b[31m\x7f", "wwan0\xc3", false, 0, 0, 0, 0});
    f.connections.push_back({"", "", false, 0, 0, 0, -0.0});
    PeriodFigures p;
    p.plan = "Default";
    p.start = 1796083200;
    p.end = 1798761600;
    p.bytes = 9007199254740993.0;
    p.seconds = 86400;
    p.cost = -1.5;  // the free time can take the total below zero
    p.projectedBytes = 1.0 / 3;
    p.projectedCost = 1e-7;
    p.warnCapBytes = 8e9;
    p.hangupCapBytes = 1e10;
    f.periods.push_back(p);
    p.plan = "Quote\" back\\slash \xff";
    p.warnCapBytes.reset();
    f.periods.push_back(p);
    const std::string text = expositionText(f);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
