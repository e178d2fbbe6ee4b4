// Holds the users database reader to the two-pass reader it replaced, and the writers to the
// object stream: for every input both readers end with the same list and the same message, and
// what was read renders straight from the list exactly as through its object stream, with the
// same fingerprint and stamp. Read through a stream, one user at a time, a text gives the same
// message, and on success the same sums and the same text. Read in small pieces on other threads,
// it gives the same message and list, or the same sums and text, as read in one pass.

#include "ReferenceReader.h"
#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/DataLibInternal.h"
#include "userdb/UserList.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

// Hands each user to the sums, the fingerprint alone and the text as they come; a second
// collection of users ends the text (it cannot be taken back) but not the sums. Runs of users
// read ahead are summed and rendered where they were read, by parts of the three.
struct TTee : TUserStream {
    TStreamedSums Sums;
    TStreamedFingerprint Fingerprint;
    std::string Text;
    TStreamedText Render{[this](const char* data, size_t size) { Text.append(data, size); }};
    bool Restarted = false;
    int Users = 0;
    void Begin(std::string_view name) override {
        Sums.Begin(name);
        Fingerprint.Begin(name);
        Users = 0;
        try {
            if (!Restarted) Render.Begin(name);
        } catch (const ETextRestarted&) {
            Restarted = true;
        }
    }
    void User(TUserProp& user) override {
        Sums.User(user);
        Fingerprint.User(user);
        ++Users;
        if (!Restarted) Render.User(user);
    }
    struct TPart : TUserStream {
        std::unique_ptr<TUserStream> Sums, Fingerprint, Render;
        int Users = 0;
        void Begin(std::string_view) override {}
        void User(TUserProp& user) override {
            Sums->User(user);
            Fingerprint->User(user);
            ++Users;
            if (Render != nullptr) Render->User(user);
        }
    };
    std::unique_ptr<TUserStream> Part(size_t textBytes) const override {
        auto part = std::make_unique<TPart>();
        part->Sums = Sums.Part(textBytes);
        part->Fingerprint = Fingerprint.Part(textBytes);
        if (!Restarted) part->Render = Render.Part(textBytes);
        return part;
    }
    void Join(TUserStream& part) override {
        auto& p = static_cast<TPart&>(part);
        Sums.Join(*p.Sums);
        Fingerprint.Join(*p.Fingerprint);
        Users += p.Users;
        if (p.Render != nullptr) Render.Join(*p.Render);
    }
};

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
    std::abort();
}

// The same text read in pieces of a few bytes, by the calling thread alone and with two more.
void ReadInPieces(const std::string& text) {
    TUserList whole;
    whole.Add("old", "pw");
    const std::string wholeError = ErrorOf([&] { ReadListText(text, whole); });
    TTee wholeTee;
    TUserList wholeStreamed;
    ErrorOf([&] { ReadListTextInPieces(text, wholeStreamed, 0, 0, {}, &wholeTee); });
    const TListSums b = wholeTee.Sums.Finish(wholeStreamed);
    if (!wholeTee.Restarted) wholeTee.Render.Finish(wholeStreamed);
    for (const auto& [pieceBytes, pieceWorkers] : {std::pair<size_t, unsigned>{1, 0}, {24, 2}}) {
        const size_t bytes = pieceBytes;
        const unsigned workers = pieceWorkers;
        TUserList pieces;
        pieces.Add("old", "pw");
        pieces.Users(0).CreatedDate = whole.Users(0).CreatedDate;
        pieces.Users(0).ExpireDate = whole.Users(0).ExpireDate;
        if (ErrorOf([&] { ReadListTextInPieces(text, pieces, bytes, workers); }) != wholeError)
            Fail("read in pieces, another message", wholeError);
        if (ListText(pieces) != ListText(whole)) Fail("read in pieces, another list", text);
        TTee tee;
        TUserList streamed;
        if (ErrorOf([&] { ReadListTextInPieces(text, streamed, bytes, workers, {}, &tee); }) !=
            wholeError)
            Fail("read in pieces through a stream, another message", wholeError);
        if (!wholeError.empty()) continue;
        const TListSums a = tee.Sums.Finish(streamed);
        if (tee.Users != wholeTee.Users || a.Fingerprint != b.Fingerprint || a.Stamp != b.Stamp ||
            tee.Fingerprint.Finish(streamed) != b.Fingerprint)
            Fail("read in pieces through a stream, other sums", text);
        if (!tee.Restarted) {
            tee.Render.Finish(streamed);
            if (tee.Text != wholeTee.Text)
                Fail("read in pieces through a stream, other text", text);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ReadInPieces(text);
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
    // The stream holds the object name as a short string, its first 255 bytes; the text all of it.
    if (list.Name().size() <= 255 && ListText(list) != rendered)
        Fail("the text differs from the stream's", rendered);
    if (ListText(reference) != ListText(list)) Fail("the readers read different lists", rendered);
    const TListSums sums = ListSums(list);
    if (sums.Fingerprint != StreamFingerprint(stream) || sums.Stamp != StreamStamp(stream))
        Fail("the sums differ from the stream's", rendered);

    TUserList whole, streamed;
    TTee tee;
    const std::string wholeError = ErrorOf([&] { ReadListText(text, whole); });
    if (ErrorOf([&] { ReadListText(text, streamed, {}, &tee); }) != wholeError)
        Fail("the streamed read gives another message", wholeError);
    if (!wholeError.empty()) return 0;
    const TListSums streamedSums = tee.Sums.Finish(streamed);
    const TListSums wholeSums = ListSums(whole);
    if (streamed.Count() != 0 || tee.Users != whole.Count() ||
        streamedSums.Fingerprint != wholeSums.Fingerprint ||
        streamedSums.Stamp != wholeSums.Stamp ||
        tee.Fingerprint.Finish(streamed) != wholeSums.Fingerprint)
        Fail("the streamed read sums another list", ListText(whole));
    if (!tee.Restarted) {
        tee.Render.Finish(streamed);
        if (tee.Text != ListText(whole)) Fail("the streamed text differs", tee.Text);
    }
    return 0;
}
