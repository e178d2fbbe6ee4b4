// Settings store and document manager.

#include "ScriptedPrompts.h"
#include "TestUtil.h"
#include "base/Errors.h"
#include "persist/PrjLib.h"
#include "persist/RegistryLib.h"
#include "persist/ShellLib.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace quorvane;

namespace {

// A temporary folder and a settings file in it that stands in for the user's settings.
class PersistTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TScopedSettingsFile Store{Q(Dir.File("settings.ini"))};

    QString MakeFile(const std::string& name) {
        WriteWholeFile(Dir.File(name), "x");
        return Q(Dir.File(name));
    }
    // The values of a key as the store holds them, read straight from the file.
    QStringList ValueNames(const QString& group) {
        QSettings raw(Store.FileName(), QSettings::IniFormat);
        raw.beginGroup(group);
        return raw.childKeys();
    }
};

const QString kProjects = QStringLiteral("HKEY_CURRENT_USER/Software/Ostrick/Quorvane/Projects");

struct TRecentList : PersistTest {
    TProject Project;
    int ListAdds = 0;
    TRecentList() {
        Project.RegistryAddress.Path = QStringLiteral("\\Software\\Ostrick\\Quorvane");
        Project.MaxListSize = 10;
        Project.OnProjectListAdd = [this](TProject*) { ++ListAdds; };
    }
    QStringList Stored() {
        QStringList list;
        Project.LoadProjectList(list);
        return list;
    }
};

// A menu that records what the document manager puts into it.
struct TFakeMenu : IReopenMenu {
    QStringList Captions, Names;
    std::vector<int> Tags;
    bool Enabled = true;
    int Clears = 0;
    void ClearEntries() override {
        ++Clears;
        Captions.clear();
        Names.clear();
        Tags.clear();
    }
    void AddEntry(const QString& caption, const QString& name, int tag) override {
        Captions << caption;
        Names << name;
        Tags.push_back(tag);
    }
    void SetEnabled(bool enabled) override { Enabled = enabled; }
};

// A document manager whose events are written into a log.
struct TProjectEvents : PersistTest {
    TScriptedPrompts Prompts;
    TProject Project{&Prompts};
    std::vector<std::string> Log;
    std::function<void()> SaveAction; // runs inside OnSave
    TProjectEvents() {
        Prompts.Log = &Log;
        Project.RegistryAddress.Path = QStringLiteral("\\Software\\Ostrick\\Quorvane");
        Project.OnNew = [this](TProject*) { Log.push_back("new"); };
        Project.OnOpen = [this](TProject*) { Log.push_back("open"); };
        Project.OnSave = [this](TProject*) {
            Log.push_back("save");
            if (SaveAction) SaveAction();
        };
        Project.OnClose = [this](TProject*) { Log.push_back("close"); };
        Project.OnChanged = [this](TProject* p) {
            Log.push_back(p->Modified() ? "changed:1" : "changed:0");
        };
        Project.OnNameChanged = [this](TProject*) { Log.push_back("name"); };
        Project.OnProjectListAdd = [this](TProject*) { Log.push_back("list"); };
    }
    void OpenNamed(const QString& file) {
        Prompts.OpenChoices.push_back(file);
        Project.Open();
        Log.clear();
    }
};

using Events = std::vector<std::string>;

} // namespace

TEST(RegistryPaths, AddressKeyPathFollowsTheJoinRule) {
    TRegistryAddress address{TRegistryRootKey::CurrentUser,
                             QStringLiteral("\\Software\\Ostrick\\Quorvane")};
    EXPECT_EQ(AddressKeyPath(address, QStringLiteral("Projects")),
              QStringLiteral("\\Software\\Ostrick\\Quorvane\\Projects"));
    EXPECT_EQ(AddressKeyPath(address, QStringLiteral("\\Other\\Key")),
              QStringLiteral("\\Other\\Key"));
    EXPECT_EQ(AddressKeyPath(address, QString()), address.Path);
    address.Path = QStringLiteral("\\Software\\");
    EXPECT_EQ(AddressKeyPath(address, QStringLiteral("X")), QStringLiteral("\\Software\\X"));
    address.Path.clear();
    EXPECT_EQ(AddressKeyPath(address, QStringLiteral("Forms\\frmMain")),
              QStringLiteral("\\Forms\\frmMain"));
    EXPECT_EQ(KeyPathComponents(QStringLiteral("\\a\\\\b\\")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST_F(PersistTest, ValuesRoundTripAndReportWrongTypes) {
    {
        auto reg = OpenRegistryKey(TRegistryRootKey::CurrentUser,
                                   QStringLiteral("\\Software\\Ostrick\\Quorvane\\Forms\\frmMain"));
        reg->WriteInteger(QStringLiteral("Top"), -20);
        reg->WriteString(QStringLiteral("Name"), QStringLiteral("a, b \"c\" ü"));
        reg->CloseKey();
    }
    auto reg = OpenRegistryKey(TRegistryRootKey::CurrentUser,
                               QStringLiteral("Software\\Ostrick\\Quorvane\\Forms\\frmMain"));
    EXPECT_EQ(reg->ReadInteger(QStringLiteral("Top")), -20);
    EXPECT_EQ(reg->ReadString(QStringLiteral("Name")), QStringLiteral("a, b \"c\" ü"));
    EXPECT_TRUE(reg->ValueExists(QStringLiteral("Top")));
    EXPECT_FALSE(reg->ValueExists(QStringLiteral("Left")));
    EXPECT_EQ(reg->ReadString(QStringLiteral("Left")), QString());
    try {
        reg->ReadInteger(QStringLiteral("Name"));
        FAIL() << "a text read as a number";
    } catch (const EQuorvaneError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Name'");
    }
    EXPECT_THROW(reg->ReadInteger(QStringLiteral("Left")), EQuorvaneError);
    // Another root is another key.
    auto machine = OpenRegistryKey(TRegistryRootKey::LocalMachine,
                                   QStringLiteral("\\Software\\Ostrick\\Quorvane\\Forms\\frmMain"));
    EXPECT_FALSE(machine->ValueExists(QStringLiteral("Top")));
    EXPECT_TRUE(reg->DeleteValue(QStringLiteral("Top")));
    EXPECT_FALSE(reg->DeleteValue(QStringLiteral("Top")));
}

TEST_F(PersistTest, AListValueReadsAsTheWrongType) {
    {
        QSettings raw(Store.FileName(), QSettings::IniFormat);
        raw.setValue(kProjects + QStringLiteral("/File_000"),
                     QStringList{QStringLiteral("a"), QStringLiteral("b")});
    }
    auto reg = OpenRegistryKey(TRegistryRootKey::CurrentUser,
                               QStringLiteral("\\Software\\Ostrick\\Quorvane\\Projects"));
    try {
        reg->ReadString(QStringLiteral("File_000"));
        FAIL() << "a list read as a string";
    } catch (const EQuorvaneError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'File_000'");
    }
}

TEST(SettingsStore, AStoreThatCannotBeWrittenFailsTheWrite) {
    TTempDir dir;
    WriteWholeFile(dir.File("plain"), "not a folder");
    TScopedSettingsFile store(QString::fromStdString(dir.File("plain") + "/settings.ini"));
    try {
        auto reg = OpenRegistryKey(TRegistryRootKey::CurrentUser,
                                   QStringLiteral("\\Software\\Ostrick\\Quorvane"));
        reg->WriteString(QStringLiteral("File_000"), QStringLiteral("/x"));
        reg->CloseKey();
        FAIL() << "the write went through";
    } catch (const EQuorvaneError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'File_000'");
    }
}

// The user's settings live in $XDG_CONFIG_HOME/quorvane/quorvane.conf; the file of earlier
// versions (Ostrick/Quorvane.conf there) is taken over once, when the new one does not exist.
TEST(SettingsStore, TheUsersSettingsMoveToTheirOwnConfigurationFolderOnce) {
    struct TCase {
        const char* Name;
        const char* Old; // the earlier version's Projects\File_000, or none
        const char* New; // the new file's, or none
        const char* Read;
    };
    const TCase cases[] = {
        {"only the old file", "/old.udx", nullptr, "/old.udx"},
        {"both files", "/old.udx", "/new.udx", "/new.udx"},
        {"only the new file", nullptr, "/new.udx", "/new.udx"},
        {"neither", nullptr, nullptr, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.Path().string()));
        SetSettingsFactory({}); // the native store, as the program has it
        const auto write = [](const std::string& file, const char* value) {
            std::filesystem::create_directories(std::filesystem::path(file).parent_path());
            WriteWholeFile(file, std::string("[Projects]\nFile_000=") + value + "\n");
        };
        const std::string oldFile = dir.File("Ostrick/Quorvane.conf");
        const std::string newFile = dir.File("quorvane/quorvane.conf");
        if (c.Old) write(oldFile, c.Old);
        if (c.New) write(newFile, c.New);
        const auto read = [] {
            return OpenRegistryKey(TRegistryRootKey::CurrentUser,
                                   QStringLiteral("\\Software\\Ostrick\\Quorvane\\Projects"))
                ->ReadString(QStringLiteral("File_000"))
                .toStdString();
        };
        EXPECT_EQ(read(), c.Read);
        // Taken over once: a later change of the old file no longer counts.
        if (c.Old) {
            write(oldFile, "/changed.udx");
            EXPECT_EQ(read(), c.Read);
            EXPECT_EQ(ReadWholeFile(oldFile), "[Projects]\nFile_000=/changed.udx\n");
        }
        if (saved.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", saved);
    }
}

TEST(ShellFolders, PersonalIsTheDocumentsFolder) {
    EXPECT_EQ(GetPersonalFolder(),
              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    EXPECT_EQ(GetShellFolder(QStringLiteral("No Such Folder")), QString());
}

TEST(FileNames, FolderOfFileKeepsOnlyARootSeparator) {
    EXPECT_EQ(FolderOfFile(QStringLiteral("/db.udx")), QStringLiteral("/"));
    EXPECT_EQ(FolderOfFile(QStringLiteral("/data/db.udx")), QStringLiteral("/data"));
    EXPECT_EQ(FolderOfFile(QStringLiteral("/data//db.udx")), QStringLiteral("/data//"));
    EXPECT_EQ(FolderOfFile(QStringLiteral("db.udx")), QString());
}

TEST(FileNames, FiltersAndDefaultExtension) {
    EXPECT_EQ(ToQtFileFilter(QStringLiteral("Users Databases|*.udx|All Files|*.*")),
              QStringLiteral("Users Databases (*.udx);;All Files (*)"));
    EXPECT_EQ(ToQtFileFilter(QStringLiteral("Text Files|*.txt; *.csv|All Files|*.*")),
              QStringLiteral("Text Files (*.txt *.csv);;All Files (*)"));
    EXPECT_EQ(WithDefaultExt(QStringLiteral("/d/site"), QStringLiteral("udx")),
              QStringLiteral("/d/site.udx"));
    EXPECT_EQ(WithDefaultExt(QStringLiteral("/d/site.txt"), QStringLiteral("udx")),
              QStringLiteral("/d/site.txt"));
    EXPECT_EQ(WithDefaultExt(QStringLiteral("/d.x/site"), QStringLiteral("udx")),
              QStringLiteral("/d.x/site.udx"));
    EXPECT_EQ(WithDefaultExt(QStringLiteral("/d/.hidden"), QStringLiteral("udx")),
              QStringLiteral("/d/.hidden.udx"));
    EXPECT_EQ(WithDefaultExt(QStringLiteral("/d/site"), QString()), QStringLiteral("/d/site"));
}

TEST(ProjectDefaults, ANewProjectUsesTheBuiltInSettings) {
    TProject project;
    EXPECT_EQ(project.DefaultExt, QStringLiteral("dat"));
    EXPECT_EQ(project.FileFilter, QStringLiteral("All Files|*.*"));
    EXPECT_EQ(project.SaveAlert, QStringLiteral("The data have been changed. Save?"));
    EXPECT_EQ(project.MaxListSize, 5);
    EXPECT_EQ(project.RegistryAddress.Root, TRegistryRootKey::CurrentUser);
    EXPECT_TRUE(project.FileName().isEmpty());
    EXPECT_FALSE(project.Modified());
}

TEST_F(TRecentList, ClosingAFileAgainUnderAnotherCaseKeepsOneEntry) {
    const QString a = MakeFile("A.udx");
    Project.AddToProjectList(a);
    const QString other = MakeFile("b.udx");
    Project.AddToProjectList(other);
    // The same file named with other letter case (the comparison ignores case).
    QString upper = a;
    upper.replace(QStringLiteral("A.udx"), QStringLiteral("a.UDX"));
    WriteWholeFile(upper.toStdString(), "x");
    Project.AddToProjectList(upper);
    EXPECT_EQ(Stored(), (QStringList{upper, other}));
    EXPECT_EQ(ListAdds, 3);
}

TEST_F(TRecentList, TheOldestEntryDropsAtTheLimitAndValuesAreRewritten) {
    QStringList files;
    for (int i = 0; i < 11; ++i)
        files << MakeFile("db" + std::to_string(i) + ".udx");
    for (const QString& f : files)
        Project.AddToProjectList(f);
    const QStringList stored = Stored();
    ASSERT_EQ(stored.size(), 10);
    EXPECT_EQ(stored.front(), files[10]);
    EXPECT_EQ(stored.back(), files[1]);
    QStringList expected;
    for (int i = 0; i < 10; ++i)
        expected << QStringLiteral("File_%1").arg(i, 3, 10, QLatin1Char('0'));
    EXPECT_EQ(ValueNames(kProjects), expected);
}

TEST_F(TRecentList, ALoweredLimitShrinksTheListByOnePerAddition) {
    for (int i = 0; i < 6; ++i)
        Project.AddToProjectList(MakeFile("f" + std::to_string(i)));
    Project.MaxListSize = 3;
    // A new name takes the place of the oldest entry; one already listed leaves a gap.
    const QString g = MakeFile("g");
    Project.AddToProjectList(g);
    QStringList stored = Stored();
    EXPECT_EQ(stored.size(), 6);
    EXPECT_EQ(stored.front(), g);
    EXPECT_FALSE(stored.contains(Q(Dir.File("f0"))));
    Project.AddToProjectList(Q(Dir.File("f3")));
    stored = Stored();
    EXPECT_EQ(stored.size(), 5);
    EXPECT_EQ(stored.front(), Q(Dir.File("f3")));
}

TEST_F(TRecentList, ALimitOfZeroKeepsTheListEmptyButStillReports) {
    Project.MaxListSize = 0;
    Project.AddToProjectList(MakeFile("a.udx"));
    EXPECT_TRUE(Stored().isEmpty());
    EXPECT_EQ(ListAdds, 1);
}

TEST_F(TRecentList, MissingFilesAreSkippedAndOtherValuesKept) {
    const QString a = MakeFile("a.udx"), b = MakeFile("b.udx"), c = MakeFile("c.udx");
    {
        QSettings raw(Store.FileName(), QSettings::IniFormat);
        raw.setValue(kProjects + QStringLiteral("/File_000"), a);
        raw.setValue(kProjects + QStringLiteral("/File_001"), b);
        raw.setValue(kProjects + QStringLiteral("/FileList"), c);
        raw.setValue(kProjects + QStringLiteral("/file_lower"), c);
        raw.setValue(kProjects + QStringLiteral("/Other"), QStringLiteral("kept"));
    }
    std::remove(Dir.File("a.udx").c_str());
    TFakeMenu menu;
    Project.BuildReopenMenu(menu);
    // FileList counts as an entry (it begins with "File"); the lower-case one does not. The
    // store lists value names sorted, so FileList comes before File_001.
    EXPECT_EQ(menu.Captions, (QStringList{QStringLiteral("1 ") + c, QStringLiteral("2 ") + b}));
    EXPECT_EQ(menu.Names, (QStringList{QStringLiteral("a1"), QStringLiteral("a2")}));
    EXPECT_EQ(menu.Tags, (std::vector<int>{0, 1}));
    EXPECT_TRUE(menu.Enabled);
    EXPECT_EQ(Project.ProjectList(), (QStringList{c, b}));

    MakeFile("a.udx");
    Project.AddToProjectList(a);
    EXPECT_EQ(Stored(), (QStringList{a, c, b}));
    const QStringList names = ValueNames(kProjects);
    EXPECT_FALSE(names.contains(QStringLiteral("FileList")));
    EXPECT_TRUE(names.contains(QStringLiteral("file_lower")));
    EXPECT_TRUE(names.contains(QStringLiteral("Other")));
}

TEST_F(TRecentList, AnEmptyListDisablesTheReopenItem) {
    TFakeMenu menu;
    menu.Captions << QStringLiteral("stale");
    Project.BuildReopenMenu(menu);
    EXPECT_TRUE(menu.Captions.isEmpty());
    EXPECT_FALSE(menu.Enabled);
    EXPECT_EQ(menu.Clears, 1);
}

TEST_F(TProjectEvents, SaveQuestionIsAskedOnlyForAModifiedDocument) {
    EXPECT_TRUE(Project.CloseQuery());
    EXPECT_EQ(Prompts.Questions, 0);
    Project.SetModified(true);
    Prompts.Answers = {TSaveAnswer::Cancel, TSaveAnswer::No};
    EXPECT_FALSE(Project.CloseQuery());
    EXPECT_TRUE(Project.CloseQuery());
    EXPECT_EQ(Prompts.Questions, 2);
    EXPECT_EQ(Prompts.LastQuestion, QStringLiteral("The data have been changed. Save?"));
    EXPECT_TRUE(Project.Modified()); // No discards nothing by itself
    EXPECT_EQ(std::count(Log.begin(), Log.end(), "save"), 0);
}

TEST_F(TProjectEvents, YesSavesAndLetsTheDocumentGo) {
    OpenNamed(MakeFile("site.udx"));
    Project.SetModified(true);
    Log.clear();
    Prompts.Answers = {TSaveAnswer::Yes};
    EXPECT_TRUE(Project.CloseQuery());
    EXPECT_EQ(Log, (Events{"question", "changed:0", "save"}));
}

TEST_F(TProjectEvents, YesWithTheSaveDialogCancelledKeepsTheDocument) {
    Project.SetModified(true);
    Prompts.Answers = {TSaveAnswer::Yes};
    Prompts.SaveChoices = {QString()};
    EXPECT_FALSE(Project.CloseQuery());
    EXPECT_TRUE(Project.Modified());
    EXPECT_TRUE(Project.FileName().isEmpty());

    // New then does nothing more: the changes the user wanted to keep stay.
    Log.clear();
    Prompts.Answers = {TSaveAnswer::Yes};
    Prompts.SaveChoices = {QString()};
    Project.New();
    EXPECT_EQ(Log, (Events{"question", "save dialog"}));
    EXPECT_TRUE(Project.Modified());
}

TEST_F(TProjectEvents, AFailedSaveLeavesTheDocumentModified) {
    OpenNamed(MakeFile("site.udx"));
    Project.SetModified(true);
    SaveAction = [] { throw EQuorvaneError(Verbatim("Cannot create file /x")); };
    EXPECT_THROW(Project.Save(), EQuorvaneError);
    EXPECT_TRUE(Project.Modified());
    // Inside the close question the failure ends the caller's operation; the next close asks.
    Prompts.Answers = {TSaveAnswer::Yes};
    EXPECT_THROW(Project.New(), EQuorvaneError);
    EXPECT_TRUE(Project.Modified());
    EXPECT_FALSE(Project.FileName().isEmpty());
    SaveAction = nullptr;
    Prompts.Answers = {TSaveAnswer::Yes};
    EXPECT_TRUE(Project.CloseQuery());
    EXPECT_FALSE(Project.Modified());
}

TEST_F(TProjectEvents, EventOrderOfEachOperation) {
    const QString first = MakeFile("first.udx"), second = MakeFile("second.udx");
    Prompts.OpenChoices = {first};
    Project.Open();
    EXPECT_EQ(Log,
              (Events{"open dialog", "changed:0", "name", "close", "name", "open", "changed:0"}));
    EXPECT_EQ(Project.FileName(), first);
    EXPECT_EQ(LastFolder(), Q(Dir.Path().string()));

    Log.clear();
    Prompts.OpenChoices = {second};
    Project.Open();
    EXPECT_EQ(Log, (Events{"open dialog", "list", "changed:0", "name", "close", "name", "open",
                           "changed:0"}));

    Log.clear();
    Project.Save();
    EXPECT_EQ(Log, (Events{"changed:0", "save"}));

    Log.clear();
    const QString renamed = Q(Dir.File("renamed"));
    Prompts.SaveChoices = {renamed};
    Project.SaveAs();
    EXPECT_EQ(Log, (Events{"save dialog", "name", "changed:0", "save"}));
    EXPECT_EQ(Project.FileName(), renamed + QStringLiteral(".dat"));
    EXPECT_TRUE(Prompts.LastOptions.ConfirmOverwrite);
    // Save As proposes the document's own name; an untitled one the name the owner gave.
    const QFileInfo open(second);
    EXPECT_EQ(Prompts.LastOptions.SuggestedName, open.fileName());
    EXPECT_EQ(Prompts.LastOptions.Filter, QStringLiteral("All Files (*)"));

    Log.clear();
    Project.SetModified(true);
    Prompts.Answers = {TSaveAnswer::No};
    Project.New();
    EXPECT_EQ(Log, (Events{"changed:1", "question", "list", "changed:0", "name", "close", "new",
                           "changed:0"}));
    EXPECT_TRUE(Project.FileName().isEmpty());

    Log.clear();
    Project.Close();
    EXPECT_EQ(Log, (Events{"changed:0", "name", "close"})); // untitled: no list event
    Project.UntitledName = QStringLiteral("users.udx");
    Prompts.SaveChoices = {QString()};
    Project.SaveAs();
    EXPECT_EQ(Prompts.LastOptions.SuggestedName, QStringLiteral("users.udx"));
}

TEST_F(TProjectEvents, QuestionComesBeforeTheOpenDialogAndCancelKeepsTheDocument) {
    OpenNamed(MakeFile("site.udx"));
    Project.SetModified(true);
    Log.clear();
    Prompts.Answers = {TSaveAnswer::No};
    Prompts.OpenChoices = {QString()};
    Project.Open();
    EXPECT_EQ(Log, (Events{"question", "open dialog"}));
    EXPECT_TRUE(Project.Modified());
    EXPECT_EQ(Project.FileName(), Q(Dir.File("site.udx")));
}

TEST_F(TProjectEvents, SaveOnAnUntitledDocumentAsksForAName) {
    Project.SetModified(true);
    Prompts.SaveChoices = {QString()};
    Project.Save();
    EXPECT_EQ(Prompts.SaveDialogs, 1);
    EXPECT_TRUE(Project.FileName().isEmpty());
    EXPECT_TRUE(Project.Modified());
}

TEST_F(TProjectEvents, AFailedOpenLeavesAnUntitledCleanDocument) {
    const QString file = MakeFile("broken.udx");
    Project.OnOpen = [](TProject*) { throw EQuorvaneError(Verbatim("The file is not valid")); };
    Prompts.OpenChoices = {file};
    EXPECT_THROW(Project.Open(), EQuorvaneError);
    // The data are emptied and nothing is left that a later Save would write to the file.
    EXPECT_EQ(Log, (Events{"open dialog", "changed:0", "name", "close", "name", "name", "new",
                           "changed:0"}));
    EXPECT_TRUE(Project.FileName().isEmpty());
    EXPECT_FALSE(Project.Modified());
    EXPECT_EQ(LastFolder(), Q(Dir.Path().string()));

    // New, a change and Save then ask for a name instead of writing over the file.
    Project.SetModified(true);
    Prompts.SaveChoices = {QString()};
    Project.Save();
    EXPECT_EQ(Prompts.SaveDialogs, 1);
    EXPECT_EQ(ReadWholeFile(Dir.File("broken.udx")), "x");
}

// A document whose OnSave writes the given text to its file, as the window does.
struct TDiskProject : TProjectEvents {
    std::string Content = "saved";
    QString File;
    TDiskProject() {
        File = MakeFile("site.udx");
        SaveAction = [this] { WriteWholeFile(Project.FileName().toStdString(), Content); };
        OpenNamed(File);
    }
    void ChangeOnDisk(const std::string& text) {
        // Another size, so that no clock resolution can hide the change.
        WriteWholeFile(File.toStdString(), text);
    }
};

TEST_F(TDiskProject, SavingOverAFileChangedOnDiskAsksFirst) {
    struct TCase {
        TChangedFileAnswer Answer;
        std::string OnDisk; // what the file holds afterwards
        bool Modified;
        int SaveDialogs;
    };
    const QString other = Q(Dir.File("other.udx"));
    for (const TCase& c : {TCase{TChangedFileAnswer::Cancel, "theirs, longer", true, 0},
                           TCase{TChangedFileAnswer::Overwrite, "saved", false, 0},
                           TCase{TChangedFileAnswer::SaveAs, "theirs, longer", false, 1}}) {
        SCOPED_TRACE(static_cast<int>(c.Answer));
        Prompts.SaveDialogs = 0;
        WriteWholeFile(File.toStdString(), "ours");
        OpenNamed(File);
        ChangeOnDisk("theirs, longer");
        EXPECT_TRUE(Project.ChangedOnDisk());
        Project.SetModified(true);
        Prompts.ChangedFileAnswers = {c.Answer};
        Prompts.SaveChoices = {other};
        Project.Save();
        EXPECT_EQ(Prompts.ChangedFileAnswers.size(), 0u);
        EXPECT_EQ(ReadWholeFile(File.toStdString()), c.OnDisk);
        EXPECT_EQ(Project.Modified(), c.Modified);
        EXPECT_EQ(Prompts.SaveDialogs, c.SaveDialogs);
        Prompts.SaveChoices.clear();
        Project.SetModified(false);
    }
    // Saved under another name, the document is that file now.
    EXPECT_EQ(Project.FileName(), other);
    EXPECT_EQ(ReadWholeFile(other.toStdString()), "saved");
}

TEST_F(TDiskProject, OwnSavesAndUnchangedContentAskNothing) {
    Project.SetModified(true);
    Project.Save(); // the file now holds "saved": the program's own write
    EXPECT_FALSE(Project.ChangedOnDisk());
    Project.SetModified(true);
    Project.Save();
    // Rewritten by someone else with the same bytes: nothing to lose.
    WriteWholeFile(File.toStdString(), "saved");
    EXPECT_FALSE(Project.ChangedOnDisk());
    Project.SetModified(true);
    Project.Save();
    // Deleted meanwhile: written again without a question.
    std::filesystem::remove(File.toStdString());
    Project.SetModified(true);
    Project.Save();
    EXPECT_EQ(ReadWholeFile(File.toStdString()), "saved");
    EXPECT_EQ(Prompts.ChangedFileQuestions, 0);
}

TEST_F(TDiskProject, AReadOnlyFileIsSavedOnlyUnderANameChosenInTheDialog) {
    std::filesystem::permissions(File.toStdString(), std::filesystem::perms::owner_read);
    Project.SetModified(true);
    try {
        Project.Save();
        ADD_FAILURE() << "no failure";
    } catch (const EQuorvaneError& e) {
        EXPECT_STREQ(e.what(), "The file is read-only");
    }
    EXPECT_TRUE(Project.Modified());
    EXPECT_EQ(ReadWholeFile(File.toStdString()), "x");
    EXPECT_EQ(std::count(Log.begin(), Log.end(), "save"), 0);

    // Save As to another name works.
    const QString copy = Q(Dir.File("copy.udx"));
    Prompts.SaveChoices = {copy};
    Project.SaveAs();
    EXPECT_FALSE(Project.Modified());
    EXPECT_EQ(Project.FileName(), copy);
    EXPECT_EQ(ReadWholeFile(copy.toStdString()), "saved");
}

TEST_F(TDiskProject, AChangeOnDiskOffersToReload) {
    // Unchanged: nothing is asked.
    Project.CheckDiskChange();
    EXPECT_EQ(Prompts.ReloadQuestions, 0);

    // Declined: the window keeps its data, and the same version is not offered again.
    ChangeOnDisk("theirs");
    Project.SetModified(true);
    Log.clear();
    Prompts.ReloadAnswers = {false};
    Project.CheckDiskChange();
    EXPECT_EQ(Prompts.ReloadQuestions, 1);
    EXPECT_TRUE(Prompts.LastReloadLosesChanges);
    EXPECT_NE(Prompts.LastQuestion.indexOf(QStringLiteral("unsaved changes")), -1)
        << Prompts.LastQuestion.toStdString();
    EXPECT_NE(Prompts.LastQuestion.indexOf(File), -1);
    Project.CheckDiskChange();
    EXPECT_EQ(Prompts.ReloadQuestions, 1);
    EXPECT_EQ(Log, (Events{"reload?"}));
    EXPECT_TRUE(Project.Modified());

    // A further change is offered again; accepted, the file is read anew and clean.
    ChangeOnDisk("theirs, again");
    Project.SetModified(false);
    Log.clear();
    Prompts.ReloadAnswers = {true};
    Project.CheckDiskChange();
    EXPECT_FALSE(Prompts.LastReloadLosesChanges);
    EXPECT_EQ(Prompts.LastQuestion.indexOf(QStringLiteral("unsaved changes")), -1);
    EXPECT_EQ(Log, (Events{"reload?", "open", "changed:0"}));
    EXPECT_FALSE(Project.ChangedOnDisk());
    EXPECT_EQ(Project.FileName(), File);

    // After the reload, a save writes without asking.
    Project.SetModified(true);
    Project.Save();
    EXPECT_EQ(Prompts.ChangedFileQuestions, 0);
}

// An open whose load stamps what it read: the file is not read again for the stamp, and a
// change made on disk while the load ran is still a change, whichever way the load saw it.
TEST_F(TDiskProject, TheLoadsOwnStampIsTheOneKept) {
    for (const bool changedDuringLoad : {false, true}) {
        SCOPED_TRACE(changedDuringLoad);
        WriteWholeFile(File.toStdString(), "ours");
        Project.OnOpen = [&](TProject*) {
            if (changedDuringLoad) ChangeOnDisk("theirs, longer"); // after the load read it
        };
        Project.LoadedStamp = []() -> std::optional<TDiskStamp> {
            TDiskStamp read;
            read.Exists = true;
            read.Size = 4;
            read.ModifiedMs = 12345; // no file has it: only the load's own stamp says so
            read.Stamp = StreamStamp("ours");
            return read;
        };
        OpenNamed(File);
        EXPECT_EQ(Project.DiskStamp().ModifiedMs, 12345);
        EXPECT_EQ(Project.ChangedOnDisk(), changedDuringLoad);
    }
}

TEST_F(TProjectEvents, ReopenClosesTheCurrentFileAndOpensTheChosenOne) {
    const QString a = MakeFile("a.udx"), b = MakeFile("b.udx");
    Project.AddToProjectList(a);
    OpenNamed(b);
    TFakeMenu menu;
    Project.BuildReopenMenu(menu);
    ASSERT_EQ(Project.ProjectList(), (QStringList{a}));
    Log.clear();
    Project.ReopenItemClick(0);
    EXPECT_EQ(Prompts.PendingEventRuns, 1);
    EXPECT_EQ(Log, (Events{"list", "changed:0", "name", "close", "name", "open", "changed:0"}));
    EXPECT_EQ(Project.FileName(), a);
    // Closing b put it at the head of the list; the file being opened is not added.
    QStringList stored;
    Project.LoadProjectList(stored);
    EXPECT_EQ(stored, (QStringList{b, a}));
}

TEST_F(TProjectEvents, AFileHandedToTheProgramOpensAfterTheSaveQuestion) {
    const QString a = MakeFile("a.udx"), b = MakeFile("b.udx");
    OpenNamed(b);
    Project.SetModified(true);
    Log.clear();
    Prompts.Answers = {TSaveAnswer::Cancel};
    Project.OpenFile(a);
    EXPECT_EQ(Project.FileName(), b) << "Cancel keeps the open document";
    EXPECT_TRUE(Project.Modified());

    Prompts.Answers = {TSaveAnswer::No};
    Log.clear();
    Project.OpenFile(a);
    EXPECT_EQ(Project.FileName(), a);
    EXPECT_FALSE(Project.Modified());
    EXPECT_EQ(LastFolder(), FolderOfFile(a));
    EXPECT_EQ(Log.back(), "changed:0");
    EXPECT_NE(std::find(Log.begin(), Log.end(), "open"), Log.end());
}
