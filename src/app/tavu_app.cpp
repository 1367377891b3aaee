#include "app/tavu_app.h"

#include <QApplication>
#include <QEventLoop>
#include <QSplashScreen>
#include <QTimer>
#include <iostream>
#include <memory>

#include "app/clock.h"
#include "app/paths.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "platform/linux_counters.h"
#include "platform/linux_remote_access.h"
#include "platform/pulse_sound.h"
#include "platform/shell.h"
#include "platform/simulated_remote_access.h"
#include "platform/single_instance.h"
#include "platform/system_info.h"
#include "ui/connection_monitor.h"
#include "ui/icons.h"
#include "ui/password_dialogs.h"
#include "ui/qt_prompter.h"

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
    QApplication app(argc, argv);
    app.setApplicationName("tavu");
    app.setQuitOnLastWindowClosed(false);

    // One running copy per user: a second one brings the first forward and ends.
    platform::SingleInstance instance;
    if (instance.activateRunning()) {
        return 1;
    }

    SystemClock clock;
    std::unique_ptr<platform::RemoteAccess> ras;
    std::unique_ptr<platform::DialupCounters> counters;
    if (command.simulateFile) {
        std::string error;
        auto sim = platform::SimulatedRemoteAccess::load(*command.simulateFile, clock, error);
        if (!sim) {
            std::cerr << "tavu: " << error << '\n';
            return 2;
        }
        sim->setAutoDrive(std::chrono::milliseconds(100));
        counters = std::make_unique<platform::SimulatedCounters>(*sim);
        ras = std::move(sim);
    } else {
        ras = std::make_unique<platform::LinuxRemoteAccess>();
        counters = std::make_unique<platform::LinuxDialupCounters>();
    }

    const std::string configDir = resolveConfigDir(command.configDir);
    SettingsStore settings(joinPath(configDir, kSettingsFileName));
    QtPrompter prompter;

    if (!startupGate(settings, prompter, nullptr)) {
        return 1;
    }
    if (settings.readInt(keys::kSettings, keys::kShowSplash, 1) == 1) {
        showSplash();
    }
    settings.writeInt(keys::kSettings, keys::kDialSecsToDial, 0);
    settings.writeInt(keys::kSettings, keys::kHangupSecsToHangup, 0);

    platform::PulseSound sound;
    platform::LinuxSystemInfo system;
    platform::DesktopShell shell;
    ConnectionMonitor window(AppContext{settings, clock, prompter, *ras, counters.get(), sound,
                                        system, shell, configDir, executableDir()});
    window.onTrayMarker = [&instance] { instance.listen(); };
    QObject::connect(&instance, &platform::SingleInstance::activated, &window,
                     &ConnectionMonitor::restoreAndShow);
    QObject::connect(&window, &ConnectionMonitor::exitConfirmed, &app, &QApplication::quit);
    window.initialise();
    return app.exec() == 0 ? 0 : 1;
}

}  // namespace tavu
