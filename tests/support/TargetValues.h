#pragma once
// Targets as values, for the tests that build them by hand.

#include "userdb/TargetValue.h"

#include <map>
#include <string>

// A target named `name` at the address `url`, with these options.
inline quorvane::TTarget TargetAt(const std::string& name, const std::string& url,
                                  const std::map<std::string, std::string>& options) {
    quorvane::TTarget t;
    t.Name = name;
    t.Url = url;
    for (const auto& [key, value] : options)
        t.SetOption(key, value);
    return t;
}
