#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavu {

class SettingsStore;

// A metered plan: a settings section [Plan NAME] with its own tariff, billing day, free time and
// data, money limits and data caps, covering the connections its Match key names. Connections
// that no plan covers belong to the default plan, whose keys stay where they always were
// (sections Price, Settings and Warnings).
struct Plan {
    std::string name;                // 1 to 40 characters, no "]", "," or control character
    std::vector<std::string> match;  // the names of Match, blanks around them dropped
    std::string section;             // the section as written, "Plan NAME"
};

// The name under which the default plan is shown and chosen. No plan section may take it.
inline constexpr const char* kDefaultPlanName = "Default";
// The longest plan name, in characters.
inline constexpr std::size_t kMaxPlanNameLength = 40;

// The plans of the settings file, in the order of their sections.
struct PlanSet {
    std::vector<Plan> plans;
    // One message for each section that looks like a plan but could not be taken as one; each
    // names its section. The other plans work all the same, and the file is not changed.
    std::vector<std::string> problems;

    bool empty() const { return plans.empty(); }
    // The plan of that name, compared as the settings file compares section names (letters
    // A to Z without regard to case); nullptr when there is none.
    const Plan* find(std::string_view name) const;
};

// Every section whose name is "Plan" followed by a blank and a name, in file order. A section
// that repeats an earlier plan's name (the settings file matches section names without regard to
// case, so "Plan Modem" and "plan modem" are one section) is a problem, not a second plan: the
// first one's place and name win, and the file finds a key in the second section only when the
// first lacks it.
PlanSet readPlans(const SettingsStore& settings);

// Whether a text is a good plan name, and what is wrong with it when not (empty when good).
std::string planNameProblem(std::string_view name);

// The names of a Match value: separated by commas, blanks around each name dropped, empty ones
// left out.
std::vector<std::string> parseMatch(std::string_view value);

// Whether one name of a Match covers a connection name or device: compared exactly and with
// regard to case; a "*" at its end matches any ending ("ppp*" covers "ppp0" and "ppp").
bool matchesName(std::string_view pattern, std::string_view name);

// Whether the plan covers a connection by its name or by its device.
bool planCovers(const Plan& plan, std::string_view connection, std::string_view device);

// The plan of a connection: the first plan, in section order, that covers its name or its
// device. -1 (or nullptr) stands for the default plan.
int planIndexFor(const PlanSet& plans, std::string_view connection, std::string_view device);
const Plan* planFor(const PlanSet& plans, std::string_view connection, std::string_view device);

// Where the keys of one plan lie: for a plan all in its own section; for the default plan where
// they always were. Cheap to copy; the default value is the default plan.
class PlanKeys {
  public:
    PlanKeys() = default;
    explicit PlanKeys(const Plan& plan) : section_(plan.section) {}
    // nullptr: the default plan.
    static PlanKeys of(const Plan* plan) { return plan ? PlanKeys(*plan) : PlanKeys(); }

    bool isDefault() const { return section_.empty(); }
    // The section that holds a key which the default plan keeps in `defaultSection`.
    std::string_view section(std::string_view defaultSection) const {
        return section_.empty() ? defaultSection : std::string_view(section_);
    }

  private:
    std::string section_;
};

}  // namespace tavu
