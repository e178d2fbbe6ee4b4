#include "base/Plugins.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>
#include <mutex>

namespace quorvane {

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Parent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The program's own file, as the kernel knows it (links resolved).
std::string ProgramFile() {
    std::string path(PATH_MAX, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
        throw EQuorvaneError(Msg(texts::PluginNotLoaded, "/proc/self/exe", SystemError(errno)));
    path.resize(static_cast<std::size_t>(n));
    return path;
}

const char* const KPrivateFolder = QUORVANE_PRIVATE_DIR;
const char* const KPluginFolder = QUORVANE_PLUGIN_DIR;

} // namespace

std::string PluginFolder() {
    std::string folder = Parent(ProgramFile());
#ifdef QUORVANE_BUILD_TREE
    const std::string tree = QUORVANE_BUILD_TREE;
    if (folder == tree || folder.compare(0, tree.size() + 1, tree + "/") == 0)
        return tree + "/plugins";
#endif
    // The desktop program lives in PREFIX/lib/quorvane, quorvane-cli in PREFIX/bin.
    const std::string privateFolder = std::string("/") + KPrivateFolder;
    const std::string prefix = EndsWith(folder, privateFolder)
                                   ? folder.substr(0, folder.size() - privateFolder.size())
                                   : Parent(folder);
    return prefix + "/" + KPluginFolder;
}

void* PluginEntry(const std::string& file, const char* entry) {
    static std::mutex mutex;
    static std::map<std::string, void*> loaded;
    const std::lock_guard lock(mutex);
    void*& handle = loaded[file];
    const std::string path = PluginFolder() + "/" + file;
    if (handle == nullptr) {
        // Bound at once, so that a missing symbol fails here and not in the middle of a
        // transfer; its own symbols stay its own. Never unloaded: what it made may outlive any
        // one caller.
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            throw EQuorvaneError(
                Msg(texts::PluginNotLoaded, path, Verbatim(reason != nullptr ? reason : "")));
        }
    }
    dlerror();
    void* address = dlsym(handle, entry);
    if (address == nullptr) {
        const char* reason = dlerror();
        throw EQuorvaneError(
            Msg(texts::PluginNotLoaded, path, Verbatim(reason != nullptr ? reason : entry)));
    }
    return address;
}

} // namespace quorvane
