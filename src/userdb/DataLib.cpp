// TDataStore: the users database's file form and change fingerprint, built on the object
// stream writer, the text renderer, the two-phase reader and the atomic file writer.

#include "DataLib.h"

#include "Errors.h"
#include "UserList.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const TUserList& AsList(const TDataStore& store) {
    const auto* list = dynamic_cast<const TUserList*>(&store);
    if (list == nullptr) throw EQuorvaneError("Invalid stream format");
    return *list;
}

// The whole content of a file; "Cannot open file %s" when it cannot be opened or read.
std::string ReadFile(const std::string& path) {
    const std::string cannotOpen = FormatMessage("Cannot open file %s", path.c_str());
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EQuorvaneError(cannotOpen);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw EQuorvaneError(cannotOpen);
    }
    std::string data;
    if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const size_t room = data.capacity() - data.size();
        if (room >= sizeof buffer) {
            // read straight into the reserved string
            const size_t old = data.size();
            data.resize(data.capacity());
            const ssize_t n = ::read(fd, data.data() + old, room);
            if (n < 0 && errno == EINTR) {
                data.resize(old);
                continue;
            }
            data.resize(old + (n > 0 ? static_cast<size_t>(n) : 0));
            if (n < 0) {
                ::close(fd);
                throw EQuorvaneError(cannotOpen);
            }
            if (n == 0) break;
            continue;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            throw EQuorvaneError(cannotOpen);
        }
        if (n == 0) break;
        data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

} // namespace

uint32_t TDataStore::Fingerprint() const { return StreamFingerprint(WriteObjectStream(AsList(*this))); }

uint64_t TDataStore::ChangeStamp() const { return StreamStamp(WriteObjectStream(AsList(*this))); }

void TDataStore::LoadFromFile(const std::string& path) {
    const std::string text = ReadFile(path);
    ReadListText(text, const_cast<TUserList&>(AsList(*this)));
}

void TDataStore::SaveToFile(const std::string& path) {
    std::string text;
    {
        // The stream is released before the text goes to disk.
        const std::string stream = WriteObjectStream(AsList(*this));
        text = ObjectStreamToText(stream);
    }
    WriteFileAtomically(path, text);
}
