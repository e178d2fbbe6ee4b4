// TDataStore: the users database's file form and change fingerprint, built on the object
// stream writer, the text renderer, the two-phase reader and the atomic file writer.

#include "userdb/DataLib.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/Envelope.h"
#include "userdb/UserDbTexts.h"
#include "userdb/UserList.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

const TUserList& AsList(const TDataStore& store) {
    const auto* list = dynamic_cast<const TUserList*>(&store);
    if (list == nullptr) throw EQuorvaneError(Msg(texts::InvalidStreamFormat));
    return *list;
}

TUserList& AsList(TDataStore& store) {
    auto* list = dynamic_cast<TUserList*>(&store);
    if (list == nullptr) throw EQuorvaneError(Msg(texts::InvalidStreamFormat));
    return *list;
}

// The whole content of a file, mapped into memory (read into a string where it cannot be
// mapped), with the size and modification time the open file had; "Cannot open file %s" when
// it cannot be opened or read.
class TFileText {
public:
    explicit TFileText(const std::string& path) {
        const TMessage cannotOpen = Msg(texts::CannotOpenFile, path);
        const int fd = OpenInputFile(path); // a fifo or a device is refused, never waited on
        struct stat st {};
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            throw EQuorvaneError(cannotOpen);
        }
        FModifiedMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        if (S_ISREG(st.st_mode) && st.st_size > 0) {
            void* map =
                ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (map != MAP_FAILED) {
                FMap = map;
                FMapSize = static_cast<size_t>(st.st_size);
                ::close(fd);
                return;
            }
        }
        // On the heap: a buffer this size on the stack is probed page by page on every call,
        // also when the file is mapped and it is never used.
        const std::unique_ptr<char[]> buffer(new char[65536]);
        for (;;) {
            const ssize_t n = ::read(fd, buffer.get(), 65536);
            if (n < 0) {
                if (errno == EINTR) continue;
                ::close(fd);
                throw EQuorvaneError(cannotOpen);
            }
            if (n == 0) break;
            FData.append(buffer.get(), static_cast<size_t>(n));
        }
        ::close(fd);
    }
    ~TFileText() {
        if (FMap != nullptr) ::munmap(FMap, FMapSize);
    }
    TFileText(const TFileText&) = delete;
    TFileText& operator=(const TFileText&) = delete;

    std::string_view Text() const {
        if (FMap != nullptr) return {static_cast<const char*>(FMap), FMapSize};
        return FData;
    }
    int64_t ModifiedMs() const { return FModifiedMs; }
    // For a mapped file: gives back the pages wholly inside [from, to), which the reader does
    // not need for a while (they are read from the file again when it does), so a large file is
    // never resident whole beside the list it becomes.
    TReleaseHint Release() const {
        if (FMap == nullptr) return {};
        return [this](size_t from, size_t to) {
            const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
            const size_t first = (from + page - 1) / page * page;
            const size_t last = to / page * page;
            if (last > first)
                ::madvise(static_cast<char*>(FMap) + first, last - first, MADV_DONTNEED);
        };
    }

private:
    void* FMap = nullptr;
    size_t FMapSize = 0;
    std::string FData;
    int64_t FModifiedMs = 0;
};

} // namespace

uint32_t TDataStore::Fingerprint() const {
    return ListSums(AsList(*this)).Fingerprint;
}

uint64_t TDataStore::ChangeStamp() const {
    return ListSums(AsList(*this)).Stamp;
}

void TDataStore::LoadFromFile(const std::string& path) {
    Load(path, nullptr);
}

void TDataStore::LoadFromFile(const std::string& path, TLoadedFile& loaded) {
    Load(path, &loaded);
}

void TDataStore::LoadFromFile(const std::string& path, TUserStream& users) {
    Load(path, nullptr, &users);
}

void TDataStore::Load(const std::string& path, TLoadedFile* loaded, TUserStream* users) {
    const TFileText file(path);
    if (loaded != nullptr) {
        loaded->Size = static_cast<int64_t>(file.Text().size());
        loaded->ModifiedMs = file.ModifiedMs();
        loaded->Stamp = StreamStamp(file.Text());
    }
    if (!IsEncryptedDatabase(file.Text())) {
        FKey.reset();
        ReadListText(file.Text(), AsList(*this), file.Release(), users);
        return;
    }
    CheckKeyDerivation(file.Text()); // before anyone is asked for a password
    if (!FCredentials) throw EQuorvaneError(Msg(texts::MasterPasswordNeeded, path));
    // The opened text stays in locked memory and is wiped when it has been read.
    TOpenedEnvelope opened = OpenEnvelope(file.Text(), FCredentials(NeedsKeyFile(file.Text())));
    FKey = opened.Key;
    ReadListText(opened.Text.View(), AsList(*this), {}, users);
}

namespace {

// Whether the file holds clear passwords, so that nobody but its owner (and a group that shares
// it to change it) may read it. This is the one place that decides it: an encrypted database
// reveals nothing and will answer no here.
bool HoldsClearPasswords(const TDataStore& store) {
    return store.Encryption() == nullptr;
}

} // namespace

unsigned TDataStore::KeptModeBits(const std::string& path, std::optional<TMessage>& widened) const {
    // A database that has become readable by others is saved private again, and the user hears
    // of it. A group that may write it shares it on purpose and keeps its rights.
    unsigned kept = 07777;
    struct stat st {};
    if (HoldsClearPasswords(*this) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        const unsigned mode = st.st_mode & 07777;
        kept = (mode & S_IWGRP) != 0 ? 07770 : 07700;
        if ((mode & ~kept) != 0)
            widened = Msg(texts::DatabaseWidened, path, FormatMessage("%04o", mode),
                          FormatMessage("%04o", mode & kept));
    }
    return kept;
}

void TDataStore::SaveToFile(const std::string& path) {
    FSaveWarnings.clear();
    CheckNotReadOnly(path);
    std::optional<TMessage> widened;
    const unsigned kept = KeptModeBits(path, widened);
    const TUserList& list = AsList(*this);
    if (FKey != nullptr) {
        // Only the sealed text reaches the file, sealed piece by piece as it is rendered.
        const std::shared_ptr<const TDatabaseKey> key = FKey;
        FSaveWarnings = WriteFileAtomically(
                            path,
                            [&list, &key](const TDataSink& sink) {
                                TDatabaseKey::TSealer sealer(*key, sink);
                                RenderListText(list, [&sealer](const char* data, size_t size) {
                                    sealer.Write(data, size);
                                });
                                sealer.Finish();
                            },
                            0600)
                            .Warnings;
        return;
    }
    // The text goes to the file in pieces as it is rendered; it is never held whole.
    FSaveWarnings =
        WriteFileAtomically(
            path, [&list](const TDataSink& sink) { RenderListText(list, sink); }, 0600, kept)
            .Warnings;
    if (widened) FSaveWarnings.push_back(*widened);
}

void TDataStore::RewriteFile(const std::string& path, TUserStream& change) {
    TUserList& list = AsList(*this);
    // The way of LoadFromFile and SaveToFile, for what one pass cannot do or where a failure
    // must be reported as they report it.
    const auto twoPasses = [&] {
        LoadFromFile(path);
        change.Begin(list.Name());
        for (int i = 0; i < list.Count(); ++i)
            change.User(list.Users(i));
        SaveToFile(path);
        list.Clear();
    };
    std::optional<TFileText> file;
    try {
        file.emplace(path);
    } catch (const EQuorvaneError&) {
        twoPasses();
        return;
    }
    if (IsEncryptedDatabase(file->Text())) {
        file.reset();
        twoPasses();
        return;
    }
    // Each user goes out as soon as it has been read and changed: the new text is written while
    // the old one is read. A text that turns out not to be valid is never saved.
    struct TChanged : TUserStream {
        TStreamedText* Text = nullptr;
        TUserStream* Change = nullptr;
        void Begin(std::string_view listName) override {
            Change->Begin(listName);
            Text->Begin(listName);
        }
        void User(TUserProp& user) override {
            Change->User(user);
            Text->User(user);
        }
        // A run of users is changed and rendered where it was read, when the change allows it.
        struct TPart : TUserStream {
            std::unique_ptr<TUserStream> Change, Text;
            void Begin(std::string_view) override {}
            void User(TUserProp& user) override {
                Change->User(user);
                Text->User(user);
            }
        };
        std::unique_ptr<TUserStream> Part(size_t textBytes) const override {
            auto part = std::make_unique<TPart>();
            part->Change = Change->Part(textBytes);
            if (part->Change == nullptr) return nullptr;
            part->Text = Text->Part(textBytes);
            return part;
        }
        void Join(TUserStream& part) override {
            auto& p = static_cast<TPart&>(part);
            Change->Join(*p.Change);
            Text->Join(*p.Text);
        }
    };
    bool reading = false;
    std::optional<TMessage> widened;
    try {
        CheckNotReadOnly(path);
        FKey.reset(); // a plain file is saved plain, and private
        const unsigned kept = KeptModeBits(path, widened);
        FSaveWarnings.clear();
        FSaveWarnings = WriteFileAtomically(
                            path,
                            [&](const TDataSink& sink) {
                                reading = true;
                                TStreamedText text(sink);
                                TChanged changed;
                                changed.Text = &text;
                                changed.Change = &change;
                                ReadListText(file->Text(), list, file->Release(), &changed);
                                text.Finish(list);
                            },
                            0600, kept)
                            .Warnings;
    } catch (const ETextRestarted&) {
        // A second collection of users replaces the first, which went out already: nothing of
        // the file was applied yet, and it is read again the other way.
        file.reset();
        twoPasses();
        return;
    } catch (const EQuorvaneError&) {
        if (reading) throw;
        // Refused before anything was read: the two passes tell what they would have told
        // first.
        file.reset();
        twoPasses();
        return;
    }
    if (widened) FSaveWarnings.push_back(*widened);
}

} // namespace quorvane
