#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/SettingsStore.h"
#include "common/SpamModelFile.h"
#include "common/trainer/SpamExplanation.h"
#include "common/trainer/SpamLearning.h"
#include "device/DeviceRoot.h"
#include "device/Installer.h"
#include "device/Text.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

void Print(const std::vector<std::string>& steps) {
    for (const auto& step : steps) std::cout << step << "\n";
}

// A device without a spam model gets the starting model and the messages it was learnt from,
// built next to this program; the model is learnt here from them when it was not built. They
// go where "AppPath" points, or where VelmoLight will point it when it first starts.
std::string InstallSpamModel(const std::filesystem::path& binDir) {
    namespace fs = std::filesystem;
    std::string appDir = DeviceSpamFile(u"");
    if (appDir.empty()) appDir = device::ProgramDirectory().string() + "/";
    const fs::path model = appDir + device::ToUtf8(SpamModelFileName);
    const fs::path messages = appDir + device::ToUtf8(SpamMessagesFileName);
    std::error_code error;
    if (fs::exists(model, error)) return {};
    const fs::path builtMessages = binDir / messages.filename();
    const fs::path builtModel = binDir / model.filename();
    fs::create_directories(model.parent_path(), error);
    if (!fs::exists(messages, error)) {
        if (!fs::exists(builtMessages, error))
            return "no spam model installed: " + builtMessages.string() + " is not built";
        fs::copy_file(builtMessages, messages, error);
        // The build's copy may be read-only; the device's is replaced by "spam train".
        if (!error) fs::permissions(messages, fs::perms::owner_write, fs::perm_options::add, error);
        if (error) return "no spam model installed: cannot copy " + builtMessages.string() + ": " + error.message();
    }
    if (fs::exists(builtModel, error)) {
        // Copied beside the target first, so that the handler never maps half a model.
        const fs::path partial = model.string() + ".part";
        fs::copy_file(builtModel, partial, fs::copy_options::overwrite_existing, error);
        if (!error) fs::rename(partial, model, error);
        if (error) return "no spam model installed: cannot copy " + builtModel.string() + ": " + error.message();
        // The names only explain the model's verdicts: without them it still judges.
        const fs::path builtNames = SpamNamesPath(builtModel.string());
        if (fs::exists(builtNames, error)) {
            fs::copy_file(builtNames, SpamNamesPath(model.string()), fs::copy_options::overwrite_existing, error);
        }
        return "copied " + builtModel.filename().string() + " and " + builtMessages.filename().string() + " to " +
               appDir;
    }
    std::vector<LabelledMessage> starting;
    SpamModel learnt;
    std::string why;
    if (!ReadLabelledMessages(messages.string(), starting, why) ||
        !TrainSpamModel(starting, SpamTrainingOptions{}, learnt, why)) {
        return "no spam model installed: " + why;
    }
    if (!WriteSpamModel(device::ToUtf16(model.string()), learnt))
        return "no spam model installed: cannot write " + model.string();
    WriteSpamNames(SpamNamesPath(model.string()), learnt, starting);
    return "learnt the starting spam model from " + std::to_string(starting.size()) + " messages into " +
           model.string();
}

void InstallFrom(const std::filesystem::path& directory) {
    Print(device::Install(directory));
    if (std::string said = InstallSpamModel(directory); !said.empty()) std::cout << said << "\n";
    if (std::string said = CreateEmptyAddressBook(); !said.empty()) std::cout << said << "\n";
}

// Replaces this process with the device's VelmoLight, as the device's shell starts a program.
[[noreturn]] void StartVelmoLight() {
    std::string program = (device::ProgramDirectory() / "VelmoLight.exe").string();
    if (!std::filesystem::exists(program)) {
        throw std::runtime_error("the device has no VelmoLight (" + program + "): it was not built");
    }
    std::cout.flush();
    char* argv[] = {program.data(), nullptr};
    ::execv(program.c_str(), argv);
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(errno));
}

}  // namespace

std::filesystem::path DeliverablesDirectory() {
    std::filesystem::path commandDirectory = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    std::filesystem::path installed = (commandDirectory / kDeliverablesBesideCommand).lexically_normal();
    if (std::filesystem::exists(installed / "VelmoHandler.dll")) return installed;
    // In the build tree the deliverables are built next to this program.
    return commandDirectory;
}

void FindLibrariesBesideDeliverables() {
    std::string directory = DeliverablesDirectory().string();
    const char* earlier = std::getenv("LD_LIBRARY_PATH");
    if (earlier != nullptr && *earlier != '\0') directory += std::string(":") + earlier;
    ::setenv("LD_LIBRARY_PATH", directory.c_str(), 1);
}

void InstallWhenNeeded() {
    std::filesystem::path directory = DeliverablesDirectory();
    if (!device::InstalledFrom(directory)) InstallFrom(directory);
}

bool IsKeyword(std::string_view typed, std::string_view keyword) {
    return std::equal(typed.begin(), typed.end(), keyword.begin(), keyword.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

void RequireDevice() {
    const std::filesystem::path root = device::DeviceRoot();
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) throw std::runtime_error("no device at " + root.string());
}

void AddInstallCommands(CLI::App& app) {
    app.add_subcommand("install",
                       "Copy the built deliverables into the device, register the handler (its DllRegisterServer) "
                       "and give a fresh device its empty address book")
        ->callback([] { InstallFrom(DeliverablesDirectory()); });
    app.add_subcommand("uninstall",
                       "Unregister the handler (its DllUnregisterServer) and remove the installed deliverables")
        ->callback([] { Print(device::Uninstall()); });
    app.add_subcommand("app",
                       "Start VelmoLight from the device, installing the deliverables first when the device lacks "
                       "them or holds other copies of them")
        ->callback([] {
            InstallWhenNeeded();
            FindLibrariesBesideDeliverables();
            StartVelmoLight();
        });
    app.add_subcommand("where",
                       "Print the folder the device lives in: $VELMO_DEVICE, else $XDG_DATA_HOME/velmo/device, else "
                       "~/.local/share/velmo/device (it need not exist yet)")
        ->callback([] { std::cout << device::DeviceRoot().string() << "\n"; });
}

}  // namespace velmo::cli
