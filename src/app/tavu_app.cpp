#include "app/tavu_app.h"

#include <QApplication>
#include <QEventLoop>
#include <QSessionManager>
#include <QSplashScreen>
#include <QTimer>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/display_check.h"
#include "app/metrics_service.h"
#include "app/remote_command.h"
#include "app/services.h"
#include "app/termination_signals.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "dial/schedule_check.h"
#include "platform/desktop/shell.h"
#include "platform/desktop/single_instance.h"
#include "platform/desktop/startup_entry.h"
#include "platform/kernel/system_info.h"
#include "platform/modem/modemmanager/mm_modem_service.h"
#include "platform/ras/combined_remote_access.h"
#include "platform/ras/pppd/linux_remote_access.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "ui/common/icons.h"
#include "ui/common/password_dialogs.h"
#include "ui/common/qt_prompter.h"
#include "ui/dial/simulated_entry_dlg.h"
#include "ui/main/connection_monitor.h"
#include "ui/phonebook/entry_editor_dlg.h"

namespace tavu {

namespace {

void showSplash() {
    QSplashScreen splash(splashPixmap());
    splash.show();
    splash.repaint();
    // Two seconds in which nothing else of the program runs: no timer exists yet.
    QEventLoop pause;
    QTimer::singleShot(2000, &pause, &QEventLoop::quit);
    pause.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

int runTavuApp(const CommandLine& command, int& argc, char** argv) {
    // Without a display the toolkit would abort with a message about its plugins.
    if (!displayAvailable([](const char* name) { return std::getenv(name); },
                          std::vector<std::string>(argv + 1, argv + argc))) {
        std::cerr << noDisplayText();
        return 1;
    }
    QApplication app(argc, argv);
    app.setApplicationName("tavu");
    app.setQuitOnLastWindowClosed(false);

    SystemClock clock;
    const std::string configDir = resolveConfigDir(command.configDir);
    SettingsStore settings(joinPath(configDir, kSettingsFileName));
    QtPrompter prompter;

    // One running copy per user, whatever the start password: a second one brings the first
    // forward and ends before anything is asked.
    platform::SingleInstance instance;
    // Commands that a second copy sends while this one still waits for its password run once the
    // main window is there.
    QStringList earlyCommands;
    QObject early;
    QObject::connect(&instance, &platform::SingleInstance::commandRequested, &early,
                     [&earlyCommands](const QString& name) { earlyCommands << name; });
    switch (startSingleCopy(instance, settings, prompter)) {
        case StartOutcome::HandedOver:
            std::cerr << "TAVU is already running.\n";
            return 1;
        case StartOutcome::Refused:
            return 1;
        case StartOutcome::Run:
            break;
    }
    std::string error;
    Services services = makeMonitorServices(settings, clock, command.simulateFile, true, error);
    if (!services.ras) {
        std::cerr << "tavu: " << error << '\n';
        return 2;
    }
    if (platform::SimulatedRemoteAccess* simulated = services.simulated) {
        simulated->setEntryEditor([simulated, &prompter](const std::string& name) {
            return CSimulatedEntryDlg::edit(*simulated, prompter, name);
        });
    } else {
        // Dials are followed on this thread; the phone book's entries open the entry editor.
        platform::CombinedRemoteAccess& desktop = *services.desktop;
        platform::LinuxRemoteAccess& peerFiles = *services.peerFiles;
        peerFiles.setAutoDrive(50);
        peerFiles.setEntryEditor(makeEntryEditor(peerFiles, prompter));
        desktop.setNotice([&prompter](const std::string& text) {
            prompter.show(Message{text, "TAVU", Buttons::Ok, Icon::Information});
        });
    }

    if (settings.readInt(keys::kSettings, keys::kShowSplash, 1) == 1) {
        showSplash();
    }
    clearSchedules(settings);

    platform::LinuxSystemInfo system;
    platform::DesktopShell shell;
    // The modems of ModemManager on the system bus: the operator's balance, messages, roaming
    // and signal. Without the daemon it finds no modem, and the program goes on without them.
    platform::ModemManagerService modems;
    ConnectionMonitor window(AppContext{settings, clock, prompter, *services.ras,
                                        services.counters.get(), *services.sound, system, shell,
                                        configDir, executableDir(), services.usage.get(), &modems});
    if (command.configDir) {
        // Started with its own settings: so is the copy the desktop starts at log-in.
        window.startupEntry = std::make_unique<platform::XdgAutostartEntry>(
            executableDir(), std::vector<std::string>{"--config-dir", configDir});
    }
    // A second start: the window comes forward, after the start-up password when protection
    // asks for it and the window is not on screen.
    QObject::connect(&instance, &platform::SingleInstance::activated, &window,
                     [&window, &settings, &prompter] {
                         const bool onScreen = window.isVisible() && !window.isMinimized();
                         if (mayComeForward(settings, prompter, onScreen)) {
                             window.restoreAndShow();
                         }
                     });
    // `tavu --command NAME` from a second process: the command runs as if picked from the tray
    // menu, once the channel has answered.
    const auto runRemote = [&window](const QString& name) {
        if (const auto id = remoteCommandId(name.toStdString())) {
            QTimer::singleShot(0, &window, [&window, id] { window.runCommand(*id); });
        }
    };
    QObject::disconnect(&instance, &platform::SingleInstance::commandRequested, &early, nullptr);
    QObject::connect(&instance, &platform::SingleInstance::commandRequested, &window, runRemote);
    // exit(), not quit(): quit() first asks every window to close, which the main window refuses.
    QObject::connect(&window, &ConnectionMonitor::exitConfirmed, &app,
                     [] { QCoreApplication::exit(0); });
    QObject::connect(&app, &QApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.endSession(); });
    // SIGTERM and SIGINT end the program the way the end of the desktop session does: a
    // connection still up gets its record.
    onTerminationSignal(&window, [&window] { window.endSession(); });
    window.initialise();
    // The usage as metrics, when Settings/MetricsListen names an address; one that cannot be
    // served is said in the status list, and the program goes on without them.
    MetricsService metrics(settings, clock, window.core());
    MonitorView& status = window;
    if (std::string problem; !metrics.start(std::nullopt, problem)) {
        std::cerr << "tavu: " << problem << '\n';
        status.insertStatus(problem);
    } else if (!metrics.address().empty()) {
        status.insertStatus("Metrics served at http://" + metrics.address() + "/metrics");
    }
    for (const QString& name : earlyCommands) {
        runRemote(name);
    }
    return app.exec() == 0 ? 0 : 1;
}

}  // namespace tavu
