#pragma once
// Runs quorvane-cli's commands in-process, as the program would with these arguments and this
// standard input, and collects the exit status and both outputs.

#include "cli/Commands.h"

#include <sstream>
#include <string>
#include <vector>

using namespace quorvane;

struct TResult {
    int Status;
    std::string Out, Err;
};

inline TResult Cli(std::vector<std::string> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    TCliStreams io{in, out, err, false};
    const int status = RunCli(args, io);
    return {status, out.str(), err.str()};
}
