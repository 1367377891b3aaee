#pragma once

#include <deque>
#include <string>
#include <vector>

namespace tavu {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Information, Warning, Error, Question };
enum class Answer { Ok, Yes, No, Cancel };

// One message box: its text, caption, buttons and icon.
struct Message {
    std::string text;
    std::string caption;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
};

// Shows message boxes and returns the user's answer. The program shows real boxes;
// tests answer from a script.
class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual Answer show(const Message& message) = 0;
    // A box that asks nothing: shown without waiting for the user to close it, so that the
    // caller (a timer's work) goes on at once. Where boxes cannot be left open, it is show().
    virtual void notify(const Message& message) { show(message); }
};

// Answers from a queue (then with the fallback) and remembers every message it was shown.
class ScriptedPrompter final : public Prompter {
  public:
    Answer show(const Message& message) override {
        shown.push_back(message);
        if (answers.empty()) {
            return fallback;
        }
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<Message> shown;
    std::deque<Answer> answers;
    Answer fallback = Answer::Ok;
};

// Asks for the name of a file to write. The program shows the desktop's file dialog; tests
// answer from a script.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // The chosen path; empty when the user cancelled. `suggested` is the path offered first,
    // `filter` the dialog's name filter ("CSV files (*.csv)").
    virtual std::string saveFileName(const std::string& caption, const std::string& suggested,
                                     const std::string& filter) = 0;
};

// Answers from a queue (then with an empty path, a cancel) and remembers what it offered.
class ScriptedFileChooser final : public FileChooser {
  public:
    std::string saveFileName(const std::string& caption, const std::string& suggested,
                             const std::string&) override {
        asked.push_back(caption);
        offered.push_back(suggested);
        if (answers.empty()) {
            return {};
        }
        std::string a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<std::string> asked;    // captions
    std::vector<std::string> offered;  // suggested paths
    std::deque<std::string> answers;
};

}  // namespace tavu
