#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/SettingsStore.h"
#include "common/TextRuleFile.h"
#include "common/TextRuleMatcher.h"
#include "common/Types.h"
#include "device/DeviceRoot.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "device/VisibleText.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

struct AddOptions {
    std::string pattern;
    bool regex = false;
    std::string in = "text";
    std::string action;
};

struct Named {
    const char* name;
    std::int32_t value;
};
constexpr Named ActionNames[] = {{"accept", Accept}, {"silent", SilentAccept}, {"dismiss", Dismiss}};
constexpr Named ScopeNames[] = {{"text", static_cast<std::int32_t>(TextRuleScope::Text)},
                                {"sender", static_cast<std::int32_t>(TextRuleScope::Sender)},
                                {"both", static_cast<std::int32_t>(TextRuleScope::Both)}};

template <std::size_t N>
std::int32_t Parse(const Named (&names)[N], const std::string& text, const char* what) {
    for (const auto& entry : names) {
        if (IsKeyword(text, entry.name)) return entry.value;
    }
    std::string choices;
    for (const auto& entry : names) choices += (choices.empty() ? "" : ", ") + std::string(entry.name);
    throw UsageError("\"" + text + "\" is no " + what + ": " + choices);
}

template <std::size_t N>
const char* Name(const Named (&names)[N], std::int32_t value) {
    for (const auto& entry : names) {
        if (entry.value == value) return entry.name;
    }
    return "?";
}

// TextRules.dat beside ContactsInfo.dat; without "AppPath" it is set as VelmoLight's start sets it.
std::u16string RulesPath() {
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    if (!TextRulesPath(settings, path)) {
        std::filesystem::create_directories(device::ProgramDirectory());
        std::u16string appPath = device::ToUtf16(device::ProgramDirectory().string() + "/");
        if (!settings.SetAppPath(appPath.c_str()) || !TextRulesPath(settings, path)) {
            throw AppPathNotSet(appPath);
        }
    }
    return path;
}

void Save(const std::u16string& path, const std::vector<TextRule>& rules) {
    if (!WriteTextRules(path, rules)) throw std::runtime_error("cannot write " + device::ToUtf8(path));
}

std::string RuleText(std::size_t index, const TextRule& rule) {
    return std::to_string(index + 1) + ": " + Name(ActionNames, rule.action) + ", in " +
           Name(ScopeNames, static_cast<std::int32_t>(rule.lookIn)) + ", " + (rule.regex ? "regex" : "words") + " \"" +
           device::VisibleText(device::ToUtf8(rule.pattern)) + "\"";
}

void Print(const std::vector<TextRule>& rules) {
    if (rules.empty()) std::cout << "no text rules\n";
    for (std::size_t i = 0; i < rules.size(); ++i) std::cout << RuleText(i, rules[i]) << "\n";
}

// Only looks: a device where VelmoLight never ran has no rules, and keeps no trace of the look.
void List() {
    RequireDevice();
    device::UseRegistryReadOnly();
    FinishImportBeforeLooking();
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    Print(TextRulesPath(settings, path) ? ReadTextRules(path) : std::vector<TextRule>{});
}

void Add(const AddOptions& options) {
    TextRule rule{Parse(ActionNames, options.action, "action"), options.regex,
                  static_cast<TextRuleScope>(Parse(ScopeNames, options.in, "place to look")),
                  device::ToUtf16(options.pattern)};
    if (std::string error = TextRulePatternError(rule); !error.empty()) {
        throw UsageError("the pattern \"" + options.pattern + "\" cannot be used: " + error);
    }
    const std::u16string path = RulesPath();
    std::vector<TextRule> rules = ReadTextRules(path);
    if (rules.size() >= MaxTextRules) throw UsageError("there are already 64 text rules");
    rules.push_back(rule);
    Save(path, rules);
    std::cout << RuleText(rules.size() - 1, rule) << "\n";
}

// A rule's number as the list shows it, from 1.
std::size_t Index(int number, const std::vector<TextRule>& rules) {
    if (number < 1 || static_cast<std::size_t>(number) > rules.size()) {
        throw UsageError("there is no text rule " + std::to_string(number) + " (there are " +
                         std::to_string(rules.size()) + ")");
    }
    return static_cast<std::size_t>(number - 1);
}

void Remove(int number) {
    const std::u16string path = RulesPath();
    std::vector<TextRule> rules = ReadTextRules(path);
    rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(Index(number, rules)));
    Save(path, rules);
    Print(rules);
}

void Move(int from, int to) {
    const std::u16string path = RulesPath();
    std::vector<TextRule> rules = ReadTextRules(path);
    const std::size_t source = Index(from, rules);
    const std::size_t target = Index(to, rules);
    TextRule moved = rules[source];
    rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(source));
    rules.insert(rules.begin() + static_cast<std::ptrdiff_t>(target), std::move(moved));
    Save(path, rules);
    Print(rules);
}

}  // namespace

void AddRulesCommands(CLI::App& app) {
    auto* rules = app.add_subcommand(
        "rules", "Text rules: the first that matches decides for senders outside the address book (TextRules.dat)");
    rules->require_subcommand(1);
    rules->add_subcommand("list", "List the text rules in their order")->callback(List);

    auto* add = rules->add_subcommand("add", "Add a text rule at the end");
    auto options = std::make_shared<AddOptions>();
    add->add_option("--pattern", options->pattern, "Plain words (any case), or a regular expression with --regex")
        ->required();
    add->add_flag("--regex", options->regex, "The pattern is a regular expression (RE2 syntax, case-sensitive)");
    add->add_option("--in", options->in, "Where to look: text, sender or both (default text)");
    add->add_option("--action", options->action, "accept, silent or dismiss")->required();
    add->callback([options] { Add(*options); });

    auto* remove = rules->add_subcommand("remove", "Remove text rule N");
    auto number = std::make_shared<int>(0);
    remove->add_option("N", *number, "The rule's number in the list")->required();
    remove->callback([number] { Remove(*number); });

    auto* move = rules->add_subcommand("move", "Move text rule N to place M");
    auto from = std::make_shared<int>(0);
    auto to = std::make_shared<int>(0);
    move->add_option("N", *from, "The rule's number in the list")->required();
    move->add_option("M", *to, "Its new place")->required();
    move->callback([from, to] { Move(*from, *to); });

    rules->add_subcommand("clear", "Remove every text rule")->callback([] {
        Save(RulesPath(), {});
        std::cout << "no text rules\n";
    });
}

}  // namespace velmo::cli
