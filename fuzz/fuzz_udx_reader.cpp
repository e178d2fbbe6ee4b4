// Feeds arbitrary text to the users database reader. Every input either loads or fails with
// "The file is not valid" (followed, for an unknown password form, by its name); what loads must
// save, and the saved text must load back into the same text.

#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    TUserList list;
    try {
        ReadListText(text, list);
    } catch (const EQuorvaneError& e) {
        if (std::string(e.what()).rfind("The file is not valid", 0) != 0) {
            std::fprintf(stderr, "unexpected message: %s\n", e.what());
            std::abort();
        }
        // A failed load may leave a partly applied list; it must still save.
        (void)ObjectStreamToText(WriteObjectStream(list));
        return 0;
    }
    const std::string saved = ObjectStreamToText(WriteObjectStream(list));
    TUserList again;
    try {
        ReadListText(saved, again);
    } catch (const EQuorvaneError& e) {
        std::fprintf(stderr, "saved text does not load: %s\n%s\n", e.what(), saved.c_str());
        std::abort();
    }
    if (ObjectStreamToText(WriteObjectStream(again)) != saved) {
        std::fprintf(stderr, "saved text does not load back the same\n%s\n", saved.c_str());
        std::abort();
    }
    return 0;
}
