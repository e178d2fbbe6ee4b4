#pragma once
// The text form of a users database in tests: reading it back and wrapping property entries.

#include "ReferenceReader.h"
#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <string>

// Reads text into list; the error message, or "" when it loaded. The reader as it was reads the
// same text into a list in the same state beside it: both must end with the same list and the
// same message, whatever the text.
inline std::string Read(const std::string& text, quorvane::TUserList& list) {
    const auto errorOf = [](const auto& read) {
        try {
            read();
        } catch (const quorvane::EQuorvaneError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    quorvane::TUserList reference;
    const std::string before = quorvane::ListText(list);
    EXPECT_EQ(errorOf([&] { quorvane::reference::ReadListTextReference(before, reference); }), "");
    const std::string referenceError =
        errorOf([&] { quorvane::reference::ReadListTextReference(text, reference); });
    const std::string error = errorOf([&] { quorvane::ReadListText(text, list); });
    EXPECT_EQ(error, referenceError);
    EXPECT_EQ(quorvane::ListText(list), quorvane::ListText(reference));
    return error;
}

// The entries as the properties of a database file's list object.
inline std::string Wrap(const std::string& entries) {
    return "object TUserList\r\n" + entries + "\r\nend\r\n";
}
