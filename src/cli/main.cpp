#include "base/CoreDumps.h"
#include "cli/Commands.h"
#include "cli/HeapStart.h"

#include <iostream>
#include <unistd.h>

using namespace quorvane;

int main(int argc, char** argv) {
    cli::TuneHeap(argc, argv);
    DisableCoreDumps(); // memory holds clear passwords
    std::vector<std::string> args(argv + 1, argv + argc);
    TCliStreams io{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0};
    int status = RunCli(args, io);
    std::cout.flush();
    if (!std::cout && status == kExitOk) {
        std::cerr << "quorvane-cli: Cannot write to standard output\n";
        status = kExitFailure;
    }
    return status;
}
