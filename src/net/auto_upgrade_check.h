#pragma once

#include <QObject>
#include <functional>

#include "net/net_jobs.h"

namespace tavu {

class Prompter;
class SettingsStore;

// The upgrade check the main window starts a minute after a connection: unless
// Settings/DisableUpgrade is 1, it asks the upgrade server on a worker thread and shows any
// answer but "OK" and the connection failure in a box captioned "Tavu".
class AutoUpgradeCheck : public QObject {
    Q_OBJECT

  public:
    // makeJob builds the query (reading its settings) on the window's thread when a check
    // starts; the job then runs on the worker.
    AutoUpgradeCheck(const SettingsStore& settings, Prompter& prompter,
                     std::function<UpgradeQueryJob()> makeJob, QObject* parent = nullptr);
    // With the query to the server of the settings.
    AutoUpgradeCheck(const SettingsStore& settings, Prompter& prompter, QObject* parent = nullptr);

    // Starts a check; false when DisableUpgrade switched it off.
    bool start();

  signals:
    // The answer came and was handled (shown or not).
    void finished(const QString& answer);

  private:
    void answered(const std::string& answer);

    const SettingsStore& settings_;
    Prompter& prompter_;
    std::function<UpgradeQueryJob()> makeJob_;
};

}  // namespace tavu
