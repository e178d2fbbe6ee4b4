// The stores live in a plugin the program loads on first use: a command that touches no store
// runs without it, one that needs it says which file could not be loaded, and an installed
// program finds it in the installation's private folder.

#include "ExportTestUtil.h"
#include "TestUtil.h"
#include "sitedb/UserStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace quorvane;

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

TEST(CliPlugins, AStoreNeedsItsPluginInTheInstalledPlaceAndNothingElseDoes) {
    const struct {
        const char* Program;  // where the copy of the program goes
        const char* Plugin;   // where the stores' plugin goes; null: nowhere
        int ExportStatus;
        const char* Says;     // in the export's output
    } cases[] = {
        {"bin/quorvane-cli", nullptr, 1,
         "Could not load the program part @/lib/quorvane/quorvane-stores.so: "},
        {"bin/quorvane-cli", "lib/quorvane/quorvane-stores.so", 0, ""},
        // The desktop program's own place: the plugins beside it.
        {"lib/quorvane/quorvane-cli", "lib/quorvane/quorvane-stores.so", 0, ""},
        // Not beside a program in bin, nor anywhere the environment names.
        {"bin/quorvane-cli", "bin/quorvane-stores.so", 1, "@/lib/quorvane/quorvane-stores.so"},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        const std::string root = fs::canonical(dir.Path()).string();
        const std::string program = root + "/" + c.Program;
        fs::create_directories(fs::path(program).parent_path());
        fs::copy_file(QUORVANE_CLI_PATH, program);
        if (c.Plugin != nullptr) {
            const std::string plugin = root + "/" + c.Plugin;
            fs::create_directories(fs::path(plugin).parent_path());
            fs::copy_file(QUORVANE_STORES_PLUGIN_PATH, plugin);
        }
        const std::string db = root + "/users.udx";
        const std::string store = root + "/auth.db";
        const std::string run = "LD_LIBRARY_PATH=" + ShellQuote(root + "/bin") + " " +
                                ShellQuote(program) + " ";
        for (const std::string& command :
             {"create " + ShellQuote(db), "add " + ShellQuote(db) + " alice --password a1",
              "info " + ShellQuote(db), "target " + ShellQuote(db) + " --url sqlite:" + store}) {
            const TCommandResult done = RunCommand(run + command + " 2>&1");
            ASSERT_EQ(done.ExitCode, 0) << c.Program << ": " << command << "\n" << done.Output;
        }
        const TCommandResult exported = RunCommand(run + "export " + ShellQuote(db) + " 2>&1");
        EXPECT_EQ(exported.ExitCode, c.ExportStatus) << c.Program << "\n" << exported.Output;
        std::string says = c.Says;
        if (const std::size_t at = says.find('@'); at != std::string::npos)
            says.replace(at, 1, root);
        EXPECT_THAT(exported.Output, HasSubstr(says)) << c.Program;
        EXPECT_EQ(fs::exists(store), c.ExportStatus == 0) << c.Program;
    }
}

// The program itself links none of the stores' libraries: they come with the plugin.
TEST(CliPlugins, TheProgramLinksNoStoreLibrary) {
    const TCommandResult needed =
        RunCommand("readelf -d " + ShellQuote(QUORVANE_CLI_PATH) + " 2>&1");
    ASSERT_EQ(needed.ExitCode, 0) << needed.Output;
    ASSERT_THAT(needed.Output, HasSubstr("(NEEDED)"));
    for (const char* library : {"libsqlite3", "libpq", "libldap", "liblber"})
        EXPECT_THAT(needed.Output, ::testing::Not(HasSubstr(library))) << library;
    const TCommandResult plugin =
        RunCommand("readelf -d " + ShellQuote(QUORVANE_STORES_PLUGIN_PATH) + " 2>&1");
    for (const char* library : {"libsqlite3", "libpq", "libldap"})
        EXPECT_THAT(plugin.Output, HasSubstr(library)) << library;
}

} // namespace
