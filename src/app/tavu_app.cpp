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
#include "app/remote_command.h"
#include "app/termination_signals.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "dial/schedule_check.h"
#include "platform/linux_counters.h"
#include "platform/linux_remote_access.h"
#include "platform/pulse_sound.h"
#include "platform/shell.h"
#include "platform/simulated_remote_access.h"
#include "platform/single_instance.h"
#include "platform/startup_entry.h"
#include "platform/system_info.h"
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

    // One running copy per user: a second one brings the first forward and ends.
    platform::SingleInstance instance;
    if (instance.activateRunning()) {
        std::cerr << "TAVU is already running.\n";
        return 1;
    }

    SystemClock clock;
    const std::string configDir = resolveConfigDir(command.configDir);
    SettingsStore settings(joinPath(configDir, kSettingsFileName));
    QtPrompter prompter;
    std::unique_ptr<platform::RemoteAccess> ras;
    std::unique_ptr<platform::DialupCounters> counters;
    platform::SimulatedRemoteAccess* simulated = nullptr;
    if (command.simulateFile) {
        std::string error;
        auto sim = platform::SimulatedRemoteAccess::load(*command.simulateFile, clock, error);
        if (!sim) {
            std::cerr << "tavu: " << error << '\n';
            return 2;
        }
        sim->setAutoDrive(std::chrono::milliseconds(100));
        counters = std::make_unique<platform::SimulatedCounters>(*sim);
        simulated = sim.get();
        ras = std::move(sim);
    } else {
        // Which interfaces are dial-up lines is read afresh at every look at the system. Dials
        // are followed on this thread; the phone book's entries open the entry editor.
        auto patterns = [&settings] { return platform::dialupInterfacePatterns(settings); };
        auto linuxRas = std::make_unique<platform::LinuxRemoteAccess>(
            settings, platform::LinuxRasPaths{}, patterns);
        linuxRas->setAutoDrive(50);
        linuxRas->setEntryEditor(makeEntryEditor(*linuxRas, prompter));
        ras = std::move(linuxRas);
        counters = std::make_unique<platform::LinuxDialupCounters>(patterns);
    }
    if (simulated != nullptr) {
        simulated->setEntryEditor([simulated, &prompter](const std::string& name) {
            return CSimulatedEntryDlg::edit(*simulated, prompter, name);
        });
    }

    if (!startupGate(settings, prompter, nullptr)) {
        return 1;
    }
    if (settings.readInt(keys::kSettings, keys::kShowSplash, 1) == 1) {
        showSplash();
    }
    clearSchedules(settings);

    platform::PulseSound sound;
    platform::LinuxSystemInfo system;
    platform::DesktopShell shell;
    ConnectionMonitor window(AppContext{settings, clock, prompter, *ras, counters.get(), sound,
                                        system, shell, configDir, executableDir()});
    if (command.configDir) {
        // Started with its own settings: so is the copy the desktop starts at log-in.
        window.startupEntry = std::make_unique<platform::XdgAutostartEntry>(
            executableDir(), std::vector<std::string>{"--config-dir", configDir});
    }
    window.onTrayMarker = [&instance] { instance.listen(); };
    QObject::connect(&instance, &platform::SingleInstance::activated, &window,
                     &ConnectionMonitor::restoreAndShow);
    // `tavu --command NAME` from a second process: the command runs as if picked from the tray
    // menu, once the channel has answered.
    QObject::connect(&instance, &platform::SingleInstance::commandRequested, &window,
                     [&window](const QString& name) {
                         if (const auto id = remoteCommandId(name.toStdString())) {
                             QTimer::singleShot(0, &window,
                                                [&window, id] { window.runCommand(*id); });
                         }
                     });
    // exit(), not quit(): quit() first asks every window to close, which the main window refuses.
    QObject::connect(&window, &ConnectionMonitor::exitConfirmed, &app,
                     [] { QCoreApplication::exit(0); });
    QObject::connect(&app, &QApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.endSession(); });
    // SIGTERM and SIGINT end the program the way the end of the desktop session does: a
    // connection still up gets its record.
    onTerminationSignal(&window, [&window] { window.endSession(); });
    window.initialise();
    return app.exec() == 0 ? 0 : 1;
}

}  // namespace tavu
