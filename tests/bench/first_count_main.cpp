// The usage engine's count of a log as a program of its own, to time it as a whole process
// beside `wc -l`: tavu_first_count SETTINGS.ini LOG [THREADS] [--no-store]
// Prints the figures without a filter, and each plan's, exactly.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/settings_store.h"
#include "ledger/usage_ledger.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SETTINGS.ini LOG [THREADS] [--no-store]\n", argv[0]);
        return 2;
    }
    const tavu::SettingsStore settings(argv[1]);
    tavu::LedgerOptions options;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--no-store") {
            options.create = false;
        } else {
            options.threads = static_cast<unsigned>(std::atoi(argv[i]));
        }
    }
    tavu::UsageLedger ledger(settings, argv[2], options);
    const tavu::LogTotals t =
        ledger.totals(tavu::SummaryFilter::All, tavu::LocalDateTime{2026, 12, 7, 12, 0, 0, 1});
    std::printf("records %lld time %lld up %a down %a cost %a counted whole %d\n",
                static_cast<long long>(t.count), static_cast<long long>(t.totalTime), t.uploaded,
                t.downloaded, t.totalCost, ledger.countedWhole() ? 1 : 0);
    if (!ledger.problem().empty()) {
        std::printf("problem: %s\n", ledger.problem().c_str());
    }
    return 0;
}
