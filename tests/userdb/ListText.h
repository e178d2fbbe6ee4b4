#pragma once
// The text form of a users database in tests: reading it back and wrapping property entries.

#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <string>

// Reads text into list; the error message, or "" when it loaded.
inline std::string Read(const std::string& text, quorvane::TUserList& list) {
    try {
        quorvane::ReadListText(text, list);
    } catch (const quorvane::EQuorvaneError& e) {
        return e.what();
    }
    return "";
}

// The entries as the properties of a database file's list object.
inline std::string Wrap(const std::string& entries) {
    return "object TUserList\r\n" + entries + "\r\nend\r\n";
}
