// Every test program keeps the backups and state of its exports in a folder of its own, never
// in the user's: XDG_STATE_HOME points at a fresh temporary folder for the program's whole run
// (programs it starts inherit it), removed when the program ends. XDG_CONFIG_HOME points at
// an empty folder inside it, so the user's own options (the default expiry) never reach a test.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct TPrivateStateHome {
    TPrivateStateHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvstate-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        Path = pattern;
        ::setenv("XDG_STATE_HOME", Path.c_str(), 1);
        const std::string config = Path + "/config";
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }
    ~TPrivateStateHome() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string Path;
};

const TPrivateStateHome gStateHome;

} // namespace
