#pragma once
// An environment variable set for one scope.

#include <cstdlib>
#include <optional>
#include <string>

// Sets an environment variable for as long as it lives (a null value: unsets it), then gives it
// back the value it had, also when an assertion ends the test early.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        Set(value);
    }
    TScopedEnv(const char* name, const std::string& value) : TScopedEnv(name, value.c_str()) {}
    ~TScopedEnv() { Set(FOld ? FOld->c_str() : nullptr); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;
    // Sets it again, for the rest of the scope.
    void Set(const char* value) const {
        if (value != nullptr)
            ::setenv(FName.c_str(), value, 1);
        else
            ::unsetenv(FName.c_str());
    }

private:
    std::string FName;
    std::optional<std::string> FOld;
};
