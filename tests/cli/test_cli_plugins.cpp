// The servers' and the stores' clients and the digests' library live in plugins the program loads
// on first use: a command that touches none of them runs without them, one that needs one says
// which file could not be loaded, and an installed program finds them in the installation's
// private folder.

#include "ExportTestUtil.h"
#include "TestUtil.h"
#include "sitedb/UserStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace quorvane;

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

// Built beside the others.
const fs::path KCryptoPlugin =
    fs::path(QUORVANE_STORES_PLUGIN_PATH).parent_path() / "quorvane-crypto.so";

TEST(CliPlugins, ServersAndStoresNeedTheirPluginsInTheInstalledPlaceAndNothingElseDoes) {
    const std::string installed = QUORVANE_INSTALLED_PLUGIN_DIR; // lib/<multiarch>/quorvane
    const std::string missing = "@/" + installed + "/quorvane-";
    const struct {
        const char* Program; // where the copy of the program goes
        const char* Plugins; // where the plugins go; null: nowhere
        int Status;          // of the commands that need them
        const char* Missing; // the plugin they name then, "@" for the temporary folder
    } cases[] = {
        {"bin/quorvane-cli", nullptr, 1, missing.c_str()},
        {"bin/quorvane-cli", installed.c_str(), 0, nullptr},
        // The desktop program's place.
        {"lib/quorvane/quorvane-cli", installed.c_str(), 0, nullptr},
        // Not beside the program, nor anywhere the environment names.
        {"lib/quorvane/quorvane-cli", "lib/quorvane", 1, missing.c_str()},
        {"bin/quorvane-cli", "bin", 1, missing.c_str()},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        const std::string root = fs::canonical(dir.Path()).string();
        const std::string program = root + "/" + c.Program;
        fs::create_directories(fs::path(program).parent_path());
        fs::copy_file(QUORVANE_CLI_PATH, program);
        if (c.Plugins != nullptr) {
            const fs::path folder = root + "/" + c.Plugins;
            fs::create_directories(folder);
            for (const fs::path& plugin : {fs::path(QUORVANE_STORES_PLUGIN_PATH),
                                           fs::path(QUORVANE_TRANSFERS_PLUGIN_PATH), KCryptoPlugin})
                fs::copy_file(plugin, folder / plugin.filename());
        }
        const std::string db = root + "/users.udx";
        const std::string store = root + "/auth.db";
        const std::string run =
            "LD_LIBRARY_PATH=" + ShellQuote(root + "/bin") + " " + ShellQuote(program) + " ";
        for (const std::string& command :
             {"create " + ShellQuote(db), "add " + ShellQuote(db) + " alice --password a1",
              "info " + ShellQuote(db), "list " + ShellQuote(db),
              "target " + ShellQuote(db) + " --url sqlite:" + store}) {
            const TCommandResult done = RunCommand(run + command + " 2>&1");
            ASSERT_EQ(done.ExitCode, 0) << c.Program << ": " << command << "\n" << done.Output;
        }
        const struct {
            std::string Command;
            const char* Plugin;
        } needing[] = {
            // The hashes' digests come before the store.
            {"export " + ShellQuote(db), "crypto.so: "},
            {"target " + ShellQuote(db) + " --url sftp://127.0.0.1/site/.htpasswd --login web",
             "transfers.so: "},
        };
        for (const auto& n : needing) {
            const TCommandResult done = RunCommand(run + n.Command + " 2>&1");
            EXPECT_EQ(done.ExitCode, c.Status) << c.Program << ": " << n.Command << "\n"
                                               << done.Output;
            if (c.Missing == nullptr) continue;
            std::string says =
                std::string("Could not load the program part ") + c.Missing + n.Plugin;
            says.replace(says.find('@'), 1, root);
            EXPECT_THAT(done.Output, HasSubstr(says)) << c.Program;
        }
        EXPECT_EQ(fs::exists(store), c.Status == 0) << c.Program;
    }
}

// The program itself links none of the servers' and stores' libraries, nor libcrypto: they come
// with the plugins.
TEST(CliPlugins, TheProgramLinksNoServerOrStoreLibrary) {
    const TCommandResult needed =
        RunCommand("readelf -d " + ShellQuote(QUORVANE_CLI_PATH) + " 2>&1");
    ASSERT_EQ(needed.ExitCode, 0) << needed.Output;
    ASSERT_THAT(needed.Output, HasSubstr("(NEEDED)"));
    for (const char* library :
         {"libsqlite3", "libpq", "libldap", "liblber", "libcurl", "libssh2", "libcrypto"})
        EXPECT_THAT(needed.Output, ::testing::Not(HasSubstr(library))) << library;
    const struct {
        std::string Plugin;
        std::vector<const char*> Libraries;
    } plugins[] = {
        {QUORVANE_STORES_PLUGIN_PATH, {"libsqlite3", "libpq", "libldap"}},
        {QUORVANE_TRANSFERS_PLUGIN_PATH, {"libcurl", "libssh2"}},
        {KCryptoPlugin.string(), {"libcrypto"}},
    };
    for (const auto& p : plugins) {
        const TCommandResult linked = RunCommand("readelf -d " + ShellQuote(p.Plugin) + " 2>&1");
        for (const char* library : p.Libraries)
            EXPECT_THAT(linked.Output, HasSubstr(library)) << p.Plugin;
    }
}

} // namespace
