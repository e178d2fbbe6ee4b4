#pragma once
// Running the peers the password file must satisfy (openssl, Apache's htpasswd) from the tests.

#include <cstdio>
#include <string>
#include <sys/wait.h>

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

// htpasswd -vb FILE LOGIN PASSWORD: its exit status (0 when the file lets the user in, 3 for a
// wrong password, 6 for a login it does not hold), -1 when it did not run.
inline int HtpasswdVerify(const std::string& file, const std::string& login,
                          const std::string& password) {
    return RunCommand("/usr/bin/htpasswd -vb " + ShellQuote(file) + " " + ShellQuote(login) + " " +
                      ShellQuote(password) + " 2>/dev/null")
        .ExitCode;
}
