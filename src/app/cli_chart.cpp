// `tavu chart`: one of the Summary window's charts drawn into a PNG file, without a display.

#include <QApplication>
#include <QBuffer>
#include <memory>
#include <ostream>

#include "app/cli.h"
#include "core/clock.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "ledger/usage_ledger.h"
#include "log/log_file.h"
#include "platform/desktop/single_instance.h"
#include "reports/period_chart_data.h"
#include "reports/usage_chart_data.h"
#include "ui/reports/usage_chart.h"

namespace tavu {

namespace {

constexpr int kMinSide = 100;
constexpr int kMaxSide = 10000;

// "WxH" with both sides within the limits.
bool parseSize(const std::string& text, QSize& size) {
    const auto x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size() ||
        text.find_first_not_of("0123456789x") != std::string::npos ||
        text.find('x', x + 1) != std::string::npos || x > 5 || text.size() - x - 1 > 5) {
        return false;
    }
    const int w = leadingInt32(text.substr(0, x));
    const int h = leadingInt32(text.substr(x + 1));
    if (w < kMinSide || h < kMinSide || w > kMaxSide || h > kMaxSide) {
        return false;
    }
    size = QSize(w, h);
    return true;
}

int usage(CliContext& context, const std::string& why) {
    context.err << "tavu: " << why << " (see tavu --help)\n";
    return 2;
}

}  // namespace

int runChartCommand(CliContext& context, const std::vector<std::string>& args) {
    std::string out;
    std::optional<SummaryFilter> filter;
    std::string plan;     // empty: all plans
    bool period = false;  // --kind period, else the usage chart
    QSize size(800, 480);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < args.size()) {
            value = args[i + 1];
        }
        const bool inline_ = args[i].find('=') != std::string::npos;
        if (name == "--out" && value && !value->empty()) {
            out = *value;
        } else if (name == "--filter" && value &&
                   (*value == "all" || *value == "month" || *value == "today")) {
            filter = *value == "all"     ? SummaryFilter::All
                     : *value == "month" ? SummaryFilter::ThisMonth
                                         : SummaryFilter::Today;
        } else if (name == "--plan" && value && !value->empty()) {
            plan = *value;
        } else if (name == "--size" && value && parseSize(*value, size)) {
        } else if (name == "--kind" && value && (*value == "usage" || *value == "period")) {
            period = *value == "period";
        } else if (name == "--out" || name == "--filter" || name == "--size" || name == "--kind" ||
                   name == "--plan") {
            return usage(context, name == "--out"      ? "--out needs a file name"
                                  : name == "--plan"   ? "--plan needs the name of a plan"
                                  : name == "--filter" ? "--filter needs all, month or today"
                                  : name == "--kind"   ? "--kind needs usage or period"
                                                       : "--size needs WIDTHxHEIGHT, each side "
                                                         "100 to 10000 pixels");
        } else {
            return usage(context, "chart does not take \"" + args[i] + "\"");
        }
        if (!inline_) {
            ++i;
        }
    }
    if (out.empty()) {
        return usage(context, "chart needs --out FILE.png");
    }
    if (!logFoldersExist(context.configDir, context.err)) {
        return 1;
    }

    // Drawing needs an application object with fonts, not a display: the offscreen platform.
    std::unique_ptr<QApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // From cron or over ssh there is no runtime folder, and the toolkit would warn about it
        // on every run: this process alone uses the user's own private folder instead.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            const QString own = platform::SingleInstance::defaultDir();
            if (platform::preparePrivateDir(own)) {
                qputenv("XDG_RUNTIME_DIR", own.toLocal8Bit());
            }
        }
        static int argc = 1;
        static char name[] = "tavu";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        context.err << "tavu: the chart cannot be drawn here\n";
        return 1;
    }

    const SettingsStore settings(joinPath(context.configDir, kSettingsFileName));
    if (!plan.empty()) {
        if (!planExists(settings, plan, context.err)) {
            return 2;
        }
    }
    // One count of the usage engine serves the chart, with the connection in progress that a
    // monitor journals beside the log.
    UsageLedger ledger(settings, logFilePath(settings, context.configDir));
    const std::vector<LiveUsage> live = ledger.journaled();
    const LocalDateTime now = context.clock.localNow();
    QImage image;
    if (period) {
        image = renderPeriodChart(periodChart(ledger, settings, now, plan, live),
                                  ChartColours::light(), size);
    } else {
        const SummaryData data = summarize(
            ledger, settings, filter.value_or(storedSummaryFilter(settings)), now, plan, live);
        image = renderUsageChart(data.chart, ChartColours::light(), size);
    }
    if (const std::string problem = ledger.problem(); !problem.empty()) {
        context.err << "tavu: " << problem << '\n';
    }

    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        context.err << "tavu: the chart could not be drawn\n";
        return 1;
    }
    // Written whole or not at all: a file that was there stays as it was on failure. The name
    // may be in a folder others write to (root's chart into a shared folder): a link there is
    // refused, never written through.
    const int err = replaceUserFile(out, 0644, [&](int fd) {
        return writeAll(fd,
                        std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
    });
    if (err != 0) {
        context.err << "tavu: can not write " << printableText(out) << ": " << replaceErrorText(err)
                    << '\n';
        return 1;
    }
    return 0;
}

}  // namespace tavu
