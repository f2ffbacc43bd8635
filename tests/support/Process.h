#pragma once

#include <string>
#include <vector>

// The outcome of a finished child process.
struct ProcessResult {
    int exitStatus = -1;  // exit code, or -1 when ended by a signal
    int signal = 0;       // the ending signal, or 0
    std::string out;      // everything written to standard output
    std::string err;      // everything written to standard error
};

// Runs program with args (argv[0] = program) in workingDirectory and waits
// for it; standard input is /dev/null.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDirectory = ".");

bool RunningAsRoot();
