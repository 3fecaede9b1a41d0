#pragma once
// A shell block of the README or of a page of the manual (docs/), run as a person pastes it
// into a shell that names no device: from the top of a project whose build/bin holds this
// build's programs and whose tests/ is this tree's, in a temporary directory that goes with
// the object.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/TempDevice.h"

namespace velmo::test {

class ReadmeRecipe {
public:
    // The first block of page (a path from the top of the tree) after the text intro; throws
    // when there is none.
    ReadmeRecipe(const std::string& page, const std::string& intro) {
        std::ifstream in(std::filesystem::path(VELMO_SOURCE_DIR) / page, std::ios::binary);
        const std::string readme(std::istreambuf_iterator<char>(in), {});
        const auto at = readme.find(intro);
        if (at == std::string::npos) throw std::runtime_error(page + " has no \"" + intro + "\"");
        const auto start = readme.find("```\n", at) + 4;
        recipe_ = readme.substr(start, readme.find("```\n", start) - start);
        std::filesystem::create_directories(top_.Root() / "build");
        std::filesystem::create_directory_symlink(BinPath("velmo-device").parent_path(), top_.Root() / "build" / "bin");
        std::filesystem::create_directory_symlink(std::filesystem::path(VELMO_SOURCE_DIR) / "tests",
                                                  top_.Root() / "tests");
    }

    const std::filesystem::path& Top() const { return top_.Root(); }
    const std::string& Text() const { return recipe_; }

    // Runs it in bash without the variables named, then the shell commands of epilogue.
    ProcessResult Run(const std::vector<std::string>& unset, const std::string& epilogue) const {
        std::vector<std::string> args;
        for (const auto& name : unset) args.insert(args.end(), {"-u", name});
        args.insert(args.end(), {"bash", "-c", "cd '" + top_.Root().string() + "' || exit 1\n" + recipe_ + epilogue});
        return RunProcess("/usr/bin/env", args);
    }

private:
    TempDevice top_;  // only for its temporary directory, which it removes
    std::string recipe_;
};

}  // namespace velmo::test
