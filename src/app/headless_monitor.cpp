#include "app/headless_monitor.h"

#include <QThread>
#include <iostream>

#include "app/core_application.h"
#include "app/metrics_service.h"
#include "app/remote_command.h"
#include "app/services.h"
#include "app/termination_signals.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "core/version.h"
#include "monitor/commands.h"
#include "monitor/operator_watch.h"
#include "platform/desktop/single_instance.h"
#include "platform/kernel/system_info.h"
#include "platform/modem/modemmanager/mm_modem_service.h"

namespace tavu {

Answer StreamPrompter::show(const Message& message) {
    const std::string caption = message.caption.empty() ? kAppTitle : message.caption;
    out_ << printableText(caption) << ": " << printableText(message.text);
    if (message.buttons == Buttons::YesNo) {
        out_ << " [answered Yes]";
    }
    out_ << std::endl;
    return message.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

HeadlessMonitor::HeadlessMonitor(SettingsStore& settings, const Clock& clock, Prompter& prompter,
                                 platform::RemoteAccess& ras, platform::DialupCounters* counters,
                                 platform::Sound& sound, std::string configDir,
                                 std::string userName, std::string versionText, std::ostream& out,
                                 UsageSink* usage, platform::ModemService* modem)
    : clock_(clock), out_(out), logWriter_(prompter) {
    const std::string operatorDir = configDir;
    core_ = std::make_unique<MonitorCore>(
        MonitorServices{settings, clock, prompter, ras, counters, sound, logWriter_,
                        std::move(configDir), std::move(userName), std::move(versionText),
                        [](std::chrono::milliseconds d) {
                            QThread::msleep(static_cast<unsigned long>(d.count()));
                        },
                        usage},
        *this);
    driver_ = std::make_unique<MonitorDriver>(*core_, settings, clock, timers_);
    if (modem != nullptr) {
        OperatorServices services{settings, clock,       prompter, *modem, *core_,
                                  *this,    operatorDir, {},       {},     {}};
        services.showMessage = [this](const std::string& sender, const std::string& text) {
            insertStatus("Message from " + sender + ": " + text);
        };
        if (usage != nullptr) {
            services.keepReply = [this, usage](const OperatorReply& reply, std::string& problem) {
                if (usage->addOperatorReply(core_->logPath(), reply)) {
                    return true;
                }
                problem = usage->problem();
                return false;
            };
            services.lastReply = [this, usage] {
                return usage->lastOperatorReply(core_->logPath());
            };
        }
        operator_ = std::make_unique<OperatorWatch>(std::move(services));
    }
}

HeadlessMonitor::~HeadlessMonitor() = default;

void HeadlessMonitor::start() {
    insertStatus("TAVU monitor started");
    driver_->start();
    if (operator_) {
        operator_->start();
    }
}

void HeadlessMonitor::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    driver_->stop();
    core_->writeExitRecord();
    insertStatus("TAVU monitor stopped");
    emit finished();
}

void HeadlessMonitor::tick(int timerId) {
    if (!stopped_) {
        driver_->tick(timerId);
        if (timerId == PollTimer && operator_ && !stopped_) {
            operator_->tick();
        }
    }
}

void HeadlessMonitor::insertStatus(const std::string& line) {
    const LocalDateTime now = clock_.localNow();
    out_ << formatDate(now.day, now.month, now.year) << ' '
         << formatClock(now.hour, now.minute, now.second) << ' ' << printableText(line)
         << std::endl;
}

void HeadlessMonitor::dial() {
    // Dialling runs in the progress window of the window program.
    insertStatus("Redial is left to the system's dialler (no window to dial from)");
}

int runHeadlessMonitor(const std::string& configDir, std::ostream& out, std::ostream& err,
                       const std::optional<std::string>& metricsListen) {
    const auto app = ensureCoreApplication();

    // The same rule as the window program: one running copy per user.
    platform::SingleInstance instance;
    if (!instance.placeIsPrivate()) {
        err << instance.notPrivateText().toStdString() << '\n';
        return 1;
    }
    if (instance.activateRunning()) {
        err << "TAVU is already running.\n";
        return 1;
    }
    instance.listen();

    SystemClock clock;
    SettingsStore settings(joinPath(configDir, kSettingsFileName));
    StreamPrompter prompter(err);
    std::string error;
    const Services services = makeMonitorServices(settings, clock, std::nullopt, false, error);
    platform::LinuxSystemInfo system;
    // The modems of ModemManager on the system bus. Without the daemon there is no modem, and the
    // monitor runs as without it.
    platform::ModemManagerService modems;
    HeadlessMonitor monitor(settings, clock, prompter, *services.ras, services.counters.get(),
                            *services.sound, configDir, system.userName(), system.versionText(),
                            out, services.usage.get(), &modems);
    QObject::connect(&monitor, &HeadlessMonitor::finished, &monitor,
                     [] { QCoreApplication::exit(0); });
    onTerminationSignal(&monitor, [&monitor] { monitor.stop(); });
    // `tavu --command hangup` and `tavu --command exit` reach this copy; the other commands
    // belong to windows.
    QObject::connect(&instance, &platform::SingleInstance::commandRequested, &monitor,
                     [&monitor, &err](const QString& name) {
                         const auto id = remoteCommandId(name.toStdString());
                         if (id == CmdHangup) {
                             monitor.core().hangupCommand();
                         } else if (id == CmdExit) {
                             monitor.stop();
                         } else {
                             err << "tavu monitor: '" << name.toStdString()
                                 << "' needs the window program\n";
                         }
                     });
    monitor.start();
    // The metrics, when an address is set; one that cannot be served is said, and the monitor
    // goes on without them.
    MetricsService metrics(settings, clock, monitor.core());
    MonitorView& status = monitor;
    if (std::string problem; !metrics.start(metricsListen, problem)) {
        err << "tavu monitor: " << problem << std::endl;
        status.insertStatus(problem);
    } else if (!metrics.address().empty()) {
        status.insertStatus("Metrics served at http://" + metrics.address() + "/metrics");
    }
    return QCoreApplication::exec() == 0 ? 0 : 1;
}

}  // namespace tavu
