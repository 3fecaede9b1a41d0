#pragma once
// Runs a program of the build as a child process, as a person or a script would.

#include <string>
#include <vector>

namespace velmo::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when the child did not exit normally
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs program with args (argv[0] is added), standard input from `input`; waits for it.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {});

}  // namespace velmo::test
