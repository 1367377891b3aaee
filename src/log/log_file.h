#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/prompter.h"
#include "log/log_record.h"

namespace tavu {

class SettingsStore;

// The log's path: the folder of Settings/IniPath (default: the configuration folder) and the
// file name "logfile.log".
std::string logFilePath(const SettingsStore& settings, std::string_view configDir);

// Appends records to the log. Each record is one write to a file opened for appending, so
// readers see whole lines; the file is opened and closed for every record.
class LogWriter {
  public:
    // Why the log's name was refused: no regular file (a link, a FIFO, a device), or a file of
    // another user (planted in a shared folder).
    enum class Refusal { None, NotRegular, NotOwn };

    explicit LogWriter(Prompter& prompter) : prompter_(prompter) {}

    // Returns false (after telling the user) when the record could not be written.
    bool append(const std::string& path, const LogRecord& record);
    // The same without telling anyone. The log is written only as a regular file of the user's
    // own: a symbolic link, a FIFO or a device at its name, or another user's file, is refused
    // (*why says which), without blocking.
    static bool write(const std::string& path, const LogRecord& record, Refusal* why = nullptr);
    // The box that says a record could not be written to the file at path (and why the name was
    // refused, when it was).
    static Message failure(const std::string& path, Refusal why = Refusal::None);

  private:
    Prompter& prompter_;
};

// Reads the log line by line without holding it in memory. Any content is tolerated: binary
// bytes, lines of any length (only the first kMaxLine bytes of a line are kept), CR LF or LF.
class LogReader {
  public:
    using LineFn = std::function<void(std::string_view line)>;

    static constexpr std::size_t kMaxLine = 16 * 1024;

    // Calls fn for each line in file order; false when the file cannot be opened.
    static bool forEachLine(const std::string& path, const LineFn& fn);
    // Calls fn for each line from the last to the first; false when the file cannot be opened.
    static bool forEachLineReverse(const std::string& path, const LineFn& fn);
};

}  // namespace tavu
