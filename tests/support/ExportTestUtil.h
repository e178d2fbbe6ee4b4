#pragma once
// Running the peers the password file must satisfy (openssl, Apache's htpasswd) from the tests.

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

// The argument in single quotes for /bin/sh; a quote inside becomes '\''. Any other byte,
// including bytes 128-255, passes unchanged.
inline std::string ShellQuote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

struct TCommandResult {
    int ExitCode = -1;
    std::string Output;
};

// Runs a shell command line and collects its standard output.
inline TCommandResult RunCommand(const std::string& commandLine) {
    TCommandResult result;
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (!pipe) return result;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.Output.append(buffer, n);
    const int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
    return result;
}

inline bool ToolAvailable(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1").ExitCode == 0;
}

// htpasswd -vb FILE LOGIN PASSWORD, without a shell: its exit status (0 when the file lets the
// user in, 3 for a wrong password, 6 for a login it does not hold), -1 when it did not run.
inline int HtpasswdVerify(const std::string& file, const std::string& login,
                          const std::string& password) {
    std::vector<std::string> args{"/usr/bin/htpasswd", "-vb", file, login, password};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    extern char** environ;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc != 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
