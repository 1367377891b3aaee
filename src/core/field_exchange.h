#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavu {

class Prompter;

// Messages of the number fields of the settings dialogs.
inline constexpr const char* kEnterInteger = "Please enter an integer.";
inline constexpr const char* kEnterNumber = "Please enter a number.";
// "Please enter an integer between LO and HI."
std::string integerRangeMessage(int low, int high);

// A whole number as a field holds it: blanks around it and one sign allowed, nothing else.
std::optional<int> parseIntegerField(std::string_view text);
// A decimal number with "." as the separator, whatever the user's locale; blanks around it and
// one sign allowed, an exponent too; nothing else, and only finite values.
std::optional<double> parseNumberField(std::string_view text);
// A decimal number in its shortest form with up to 15 significant digits ("0.15", "2", "1e+20"),
// "." as the separator whatever the locale.
std::string formatNumberField(double value);

// Moves the texts of a page's fields into their values, in the page's order. The first field
// that does not parse shows its message; from then on that field and every later one keep the
// value they had, and the page saves with those values.
class FieldExchange {
  public:
    FieldExchange(Prompter& prompter, std::string caption);

    void integer(std::string_view text, int& value);
    void integerInRange(std::string_view text, int& value, int low, int high);
    void number(std::string_view text, double& value);
    void text(std::string_view text, std::string& value);
    // A field with a rule of its own: `valid` says whether the text passes, `message` is shown
    // when it does not.
    void checked(std::string_view text, std::string& value, bool valid, const char* message);

    // True once a field has failed.
    bool failed() const { return failed_; }

  private:
    bool refuse(const std::string& message);

    Prompter& prompter_;
    std::string caption_;
    bool failed_ = false;
};

}  // namespace tavu
