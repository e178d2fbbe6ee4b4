#pragma once
// The two-pass reader of the users database file that the program's reader must match exactly.

#include "userdb/UserList.h"

#include <string_view>

namespace quorvane::reference {

// Reads the text into the list exactly as the program's ReadListText must: the same list
// afterwards and the same error, "The file is not valid" or the unknown password form.
void ReadListTextReference(std::string_view text, TUserList& list);

} // namespace quorvane::reference
