// The manual page velmo-device(1), written from the very descriptions, usage lines and option
// texts that --help prints, so that the two cannot tell different stories.

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "common/Version.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

// Text for roff: escapes its backslashes and minus signs, keeps a line from being read as a
// request, and spells other than ASCII characters by their code points.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        lineStart = c == '\n';
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            char32_t point = c & (0x3F >> (length - 1));
            for (int k = 1; k < length && i + 1 < text.size(); ++k) point = (point << 6) | (text[++i] & 0x3F);
            char code[16];
            std::snprintf(code, sizeof code, "\\[u%04X]", static_cast<unsigned>(point));
            out += code;
        }
    }
    return out;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// One command: its usage as --help shows it, its description, then each option but --help.
void WriteCommand(std::ostream& out, const CLI::App& command, const std::string& path,
                  const CLI::Formatter& formatter) {
    std::string usage = Trimmed(formatter.make_usage(&command, path));
    usage = usage.substr(usage.find(':') + 2);
    out << ".SS \"" << Roff(usage) << "\"\n" << Roff(Trimmed(command.get_description())) << "\n";
    for (const CLI::Option* option : command.get_options()) {
        if (option == command.get_help_ptr() || option->get_group().empty()) continue;
        // The tag line is the help's left column: the name in bold, then the value it takes.
        out << ".TP\n\\fB" << Roff(formatter.make_option_name(option, option->get_positional())) << "\\fR"
            << Roff(Trimmed(formatter.make_option_opts(option))) << "\n"
            << Roff(Trimmed(option->get_description())) << "\n";
    }
    for (const CLI::App* sub : command.get_subcommands([](const CLI::App*) { return true; })) {
        WriteCommand(out, *sub, path + " " + sub->get_name(), formatter);
    }
}

void WriteManPage(const CLI::App& app, const std::string& file) {
    auto own = std::dynamic_pointer_cast<CLI::Formatter>(app.get_formatter());
    const CLI::Formatter formatter = own ? *own : CLI::Formatter();
    // The description's first line is "velmo-device: what it is."; the rest says more.
    std::string description = app.get_description();
    std::string first = description.substr(0, description.find('\n'));
    std::string what = first.substr(first.find(": ") + 2);
    if (!what.empty() && what.back() == '.') what.pop_back();
    std::ostringstream out;
    out << ".TH VELMO\\-DEVICE 1 \"\" \"Velmo " << kVersion << "\" \"User Commands\"\n"
        << ".SH NAME\nvelmo\\-device \\- " << Roff(what) << "\n"
        << ".SH SYNOPSIS\n.B velmo\\-device\n.I COMMAND\n.RI [ OPTIONS ]\n.br\n"
        << ".B velmo\\-device \\-\\-version\n.br\n.B velmo\\-device \\-\\-help\n"
        << ".SH DESCRIPTION\n"
        << Roff(Trimmed(description)) << "\n"
        << ".PP\nEach command prints its help with \\-\\-help.\n.SH COMMANDS\n";
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        WriteCommand(out, *sub, "velmo-device " + sub->get_name(), formatter);
    }
    out << ".SH OPTIONS\n";
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty()) continue;
        out << ".TP\n.B \"" << Roff(formatter.make_option_name(option, false)) << "\"\n"
            << Roff(Trimmed(option->get_description())) << "\n";
    }
    out << ".SH ENVIRONMENT\n.TP\n.B VELMO_DEVICE\nthe folder of the device that every command works on\n"
        << ".SH EXIT STATUS\n0 when the command did what it was asked, 1 when it failed, "
        << "2 when its arguments were wrong.\n"
        << ".SH SEE ALSO\nThe manual beside the sources, one page per subject: docs/index.md lists them.\n";
    std::ofstream written(file, std::ios::binary | std::ios::trunc);
    written << out.str();
    written.close();
    if (!written) throw std::runtime_error("cannot write the manual page to " + file);
}

// The page of the manual that tells of each command; a command not named here is told on
// its parent's page.
struct ManualPage {
    const char* command;
    const char* page;
};
constexpr ManualPage kManualPages[] = {
    {"registry", "docs/device.md"},      {"contacts", "docs/device.md"},     {"inbox", "docs/device.md"},
    {"blocked", "docs/device.md"},       {"sms", "docs/device.md"},          {"sms listen", "docs/modems.md"},
    {"rules", "docs/rules-and-spam.md"}, {"spam", "docs/rules-and-spam.md"}, {"export", "docs/backup.md"},
    {"import", "docs/backup.md"},        {"install", "docs/device.md"},      {"uninstall", "docs/device.md"},
    {"where", "docs/device.md"},         {"app", "docs/velmolight.md"},      {"today", "docs/today.md"},
    {"messaging", "docs/messaging.md"},
};

void SetManualFooter(CLI::App& command, const std::string& path, std::string page) {
    for (const ManualPage& entry : kManualPages) {
        if (path == entry.command) page = entry.page;
    }
    command.footer("See velmo-device(1) and the manual's " + page + ".");
    for (CLI::App* sub : command.get_subcommands([](CLI::App*) { return true; })) {
        SetManualFooter(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), page);
    }
}

}  // namespace

void AddManualFooters(CLI::App& app) { SetManualFooter(app, "", "docs/index.md"); }

void AddManPageOption(CLI::App& app) {
    // No group: the option is for the build, which writes the installed manual page with it.
    app.add_option_function<std::string>(
           "--man-page",
           [&app](const std::string& file) {
               WriteManPage(app, file);
               throw CLI::Success();
           },
           "")
        ->group("");
}

}  // namespace velmo::cli
