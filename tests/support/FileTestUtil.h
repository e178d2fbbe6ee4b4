#pragma once
// For tests of where files land and who may touch them: the "nobody" account, a folder it and
// the test user can both work in, and a child process to run a body as another user.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace filetest {

namespace fs = std::filesystem;

inline constexpr uid_t kNobody = 65534;
inline constexpr gid_t kNogroup = 65534;

inline bool IsRoot() {
    return ::geteuid() == 0;
}

inline struct stat Lstat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// Runs body in a child process and returns its raw wait status.
inline int InChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// A folder the test user and "nobody" can both work in.
class Shared : public ::testing::Test {
protected:
    void SetUp() override {
        fs::permissions(Dir.Path(), fs::perms::all);
        fs::create_directory(Open);
        fs::permissions(Open, fs::perms::all);
    }
    TTempDir Dir;
    std::string Open = Dir.File("open");
};

} // namespace filetest
