#include "tariff/plan.h"

#include <optional>

#include "core/settings_store.h"
#include "core/text.h"

namespace tavu {

namespace {

constexpr std::string_view kPlanWord = "Plan";
constexpr const char* kMatchKey = "Match";

// The plan name of a section name "Plan NAME", or nothing when the section is not a plan's.
// "Plan" alone gives an empty name, so that the section is reported rather than ignored.
std::optional<std::string_view> planNameOf(std::string_view section) {
    if (section.size() < kPlanWord.size() ||
        !equalsIgnoreCase(section.substr(0, kPlanWord.size()), kPlanWord)) {
        return std::nullopt;
    }
    const std::string_view rest = section.substr(kPlanWord.size());
    if (!rest.empty() && rest.front() != ' ' && rest.front() != '\t') {
        return std::nullopt;  // "Planet"
    }
    return trim(rest);
}

}  // namespace

std::string planNameProblem(std::string_view name) {
    std::size_t characters = 0;
    bool forbidden = false;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = utf8Length(name, i);
        if (n == 0) {
            return "its name is not UTF-8 text";
        }
        const auto lead = static_cast<unsigned char>(name[i]);
        const auto next = n > 1 ? static_cast<unsigned char>(name[i + 1]) : 0;
        // C0 controls and DEL, and the C1 controls U+0080 to U+009F.
        if (lead < 0x20 || lead == 0x7f || (lead == 0xc2 && next < 0xa0)) {
            forbidden = true;
        }
        if (name[i] == ']' || name[i] == ',') {
            forbidden = true;
        }
        ++characters;
        i += n;
    }
    if (characters == 0 || characters > kMaxPlanNameLength) {
        return "a plan name is 1 to 40 characters";
    }
    if (forbidden) {
        return "a plan name may not hold \"]\", \",\" or a control character";
    }
    if (equalsIgnoreCase(name, kDefaultPlanName)) {
        return "the name \"Default\" belongs to the default plan";
    }
    return {};
}

std::vector<std::string> parseMatch(std::string_view value) {
    std::vector<std::string> names;
    while (true) {
        const std::size_t comma = value.find(',');
        const std::string_view name = trim(value.substr(0, comma));
        if (!name.empty()) {
            names.emplace_back(name);
        }
        if (comma == std::string_view::npos) {
            return names;
        }
        value.remove_prefix(comma + 1);
    }
}

bool matchesName(std::string_view pattern, std::string_view name) {
    if (!pattern.empty() && pattern.back() == '*') {
        return name.starts_with(pattern.substr(0, pattern.size() - 1));
    }
    return name == pattern;
}

bool planCovers(const Plan& plan, std::string_view connection, std::string_view device) {
    for (const std::string& pattern : plan.match) {
        if (matchesName(pattern, connection) || matchesName(pattern, device)) {
            return true;
        }
    }
    return false;
}

int planIndexFor(const PlanSet& plans, std::string_view connection, std::string_view device) {
    for (std::size_t i = 0; i < plans.plans.size(); ++i) {
        if (planCovers(plans.plans[i], connection, device)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const Plan* planFor(const PlanSet& plans, std::string_view connection, std::string_view device) {
    const int i = planIndexFor(plans, connection, device);
    return i < 0 ? nullptr : &plans.plans[static_cast<std::size_t>(i)];
}

const Plan* PlanSet::find(std::string_view name) const {
    for (const Plan& p : plans) {
        if (equalsIgnoreCase(p.name, name)) {
            return &p;
        }
    }
    return nullptr;
}

PlanSet readPlans(const SettingsStore& settings) {
    PlanSet set;
    for (const std::string& section : settings.sectionNames()) {
        const auto name = planNameOf(section);
        if (!name) {
            continue;
        }
        // The section's name is shown as plain text: a hostile file may put anything in it.
        const std::string shown = "Settings section [" + printableText(section) + "]";
        if (const std::string problem = planNameProblem(*name); !problem.empty()) {
            set.problems.push_back(shown + " is left out: " + problem + ".");
            continue;
        }
        if (const Plan* earlier = set.find(*name)) {
            set.problems.push_back(shown + " is left out: the plan \"" + earlier->name +
                                   "\" comes before it, and plan names match without regard "
                                   "to case.");
            continue;
        }
        Plan plan;
        plan.name = std::string(*name);
        plan.section = section;
        plan.match = parseMatch(settings.readString(section, kMatchKey));
        set.plans.push_back(std::move(plan));
    }
    return set;
}

}  // namespace tavu
