#pragma once
// Runs a program on a new pseudo-terminal, as a user at a terminal would, answering its prompts.

#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

struct TTerminalRun {
    std::string Shown;   // everything the terminal showed
    size_t Answered = 0; // how many of the prompts came and were answered
    int Status = -1;     // the raw wait status
};

// Runs args (args[0] the program's path) with a terminal as its standard input, output and error;
// each time the next prompt of answers appears, types its answer and a line end.
inline TTerminalRun RunOnTerminal(const std::vector<std::string>& args,
                                  const std::vector<std::pair<std::string, std::string>>& answers) {
    TTerminalRun run;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        run.Shown = "<no pty>";
        return run;
    }
    const std::string slaveName = ::ptsname(master);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        const int slave = ::open(slaveName.c_str(), O_RDWR);
        if (slave < 0) ::_exit(127);
        ::ioctl(slave, TIOCSCTTY, 0);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(slave, 2);
        ::close(master);
        std::vector<char*> argv;
        std::vector<std::string> all = args;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    size_t searchFrom = 0;
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) break;
        char buffer[256];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break; // EIO once the program has closed the terminal
        run.Shown.append(buffer, static_cast<size_t>(n));
        if (run.Answered < answers.size()) {
            const size_t at = run.Shown.find(answers[run.Answered].first, searchFrom);
            if (at != std::string::npos) {
                const std::string line = answers[run.Answered].second + "\n";
                if (::write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
                    break;
                searchFrom = at + answers[run.Answered].first.size();
                ++run.Answered;
            }
        }
    }
    ::close(master);
    ::waitpid(pid, &run.Status, 0);
    return run;
}
