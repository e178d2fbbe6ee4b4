// Holds the users database reader to the two-pass reader it replaced, and the writers to the
// object stream: for every input both readers end with the same list and the same message, and
// what was read renders straight from the list exactly as through its object stream, with the
// same fingerprint and stamp.

#include "ReferenceReader.h"
#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace quorvane;

namespace {

template <class TRead> std::string ErrorOf(const TRead& read) {
    try {
        read();
    } catch (const EQuorvaneError& e) {
        return e.what();
    }
    return "";
}

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Both start from a list that already holds a user, so "Items = <>" and a partial read
    // show too.
    TUserList list, reference;
    list.Add("old", "pw");
    reference.Add("old", "pw");
    reference.Users(0).CreatedDate = list.Users(0).CreatedDate;
    reference.Users(0).ExpireDate = list.Users(0).ExpireDate;
    const std::string error = ErrorOf([&] { ReadListText(text, list); });
    const std::string expected =
        ErrorOf([&] { reference::ReadListTextReference(text, reference); });
    if (error != expected) Fail("the readers disagree", error + " / " + expected);

    const std::string stream = WriteObjectStream(list);
    const std::string rendered = ObjectStreamToText(stream);
    if (ListText(list) != rendered) Fail("the text differs from the stream's", rendered);
    if (ListText(reference) != rendered) Fail("the readers read different lists", rendered);
    const TListSums sums = ListSums(list);
    if (sums.Fingerprint != StreamFingerprint(stream) || sums.Stamp != StreamStamp(stream))
        Fail("the sums differ from the stream's", rendered);
    return 0;
}
