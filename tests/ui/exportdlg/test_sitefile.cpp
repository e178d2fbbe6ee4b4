// The site's password file in the desktop program: a file changed there since the database
// wrote it is asked about once (Merge, Overwrite, Cancel), Preview Changes shows what an export
// would do, and an earlier version comes back through the restore dialog.

#include "QtText.h"
#include "Support.h"
#include "ui/ExportDlg.h"
#include "ui/RestoreDlg.h"

#include "job/ExportJob.h"
#include "sitedb/UserStore.h"
#include "userdb/UserList.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvane;
using namespace testsupport;

namespace {

// A saved plain-text database with its local target (or an SQLite store), exported once
// through the dialog.
struct TSite {
    explicit TSite(bool store = false) {
        List.Add("alice", "a1");
        List.Add("bob", "b1");
        List.PassType = TPasswordsType::ptPlainText;
        First(List)->PassFile = Target;
        if (store) {
            First(List)->ExportToFile = false;
            First(List)->StoreUrl = "sqlite:" + Dir.File("auth.db");
            First(List)->StoreOwner = "site";
        }
        List.SaveToFile(Db);
        EXPECT_TRUE(Export());
    }
    // What the target holds: the file's bytes, or the store's users as lines.
    std::string Holds() const {
        if (First(List)->ExportToFile) return ReadWholeFile(Target);
        TStoreSettings settings = *ParseStoreUrl(First(List)->StoreUrl);
        settings.Owner = First(List)->StoreOwner;
        std::vector<std::string> lines;
        for (const TStoredUser& user : OpenUserStore(settings)->Read())
            lines.push_back(user.Login + ":" + user.Hash + "\n");
        std::sort(lines.begin(), lines.end());
        std::string text;
        for (const std::string& line : lines)
            text += line;
        return text;
    }
    // Runs an export through the dialog, answering its boxes with `answers`; whether the dialog
    // closed (the export went through).
    bool Export(std::deque<QMessageBox::StandardButton> answers = {}, bool* merged = nullptr,
                const std::function<int(QDialog&)>& other = {}) {
        TfrmExportUser dialog(List, {.DatabasePath = Db});
        dialog.show();
        Modals.Buttons = std::move(answers);
        Modals.OnDialog = other;
        QTest::mouseClick(Find<QPushButton>(dialog, other ? "btnPreview" : "btnExport"),
                          Qt::LeftButton);
        const bool closed = WaitUntil([&] { return !dialog.isVisible(); }, other ? 500 : 2000);
        WaitUntil([&] { return !dialog.IsBusy(); }, 2000);
        if (merged != nullptr) *merged = dialog.Outcome().Merged;
        return closed;
    }
    TTempDir Dir;
    std::string Db = Dir.File("site.udx"), Target = Dir.File("htpasswd");
    TUserList List;
    TScriptedModals Modals;
};

} // namespace

TEST(SiteFile, AChangeThereIsAskedOnceMergeOverwriteOrCancel) {
    const struct {
        QMessageBox::StandardButton Answer;
        bool Closes;
        std::string File; // afterwards; empty: as it was edited there
    } cases[] = {
        {QMessageBox::Cancel, false, ""},
        {QMessageBox::Discard, true, "alice:a1\r\nbob:b1\r\n"},
        {QMessageBox::Apply, true, "alice:a1\r\nbob:b1\r\nhandmade:hm\r\n"},
    };
    for (const auto& c : cases) {
        TSite site;
        WriteWholeFile(site.Target, ReadWholeFile(site.Target) + "handmade:hm\n");
        const std::string edited = ReadWholeFile(site.Target);
        bool merged = false;
        EXPECT_EQ(site.Export({c.Answer}, &merged), c.Closes) << c.Answer;
        ASSERT_EQ(site.Modals.Boxes.size(), 1u) << c.Answer;
        EXPECT_NE(Str(site.Modals.Boxes[0].Text).find("+ handmade (added there)\n"),
                  std::string::npos)
            << Str(site.Modals.Boxes[0].Text);
        EXPECT_EQ(ReadWholeFile(site.Target), c.File.empty() ? edited : c.File) << c.Answer;
        EXPECT_EQ(merged, c.Answer == QMessageBox::Apply);
        EXPECT_EQ(site.List.Count(), merged ? 3 : 2);
    }
}

TEST(SiteFile, PreviewShowsWhatAnExportChangesAndWritesNothing) {
    TSite site;
    const std::string before = ReadWholeFile(site.Target);
    site.List.Users(0).SetPassword("new");
    site.List.Remove(&site.List.Users(1));
    site.List.Add("carl", "c1");
    QString shown, counts;
    const bool closed = site.Export({}, nullptr, [&](QDialog& dialog) {
        shown = Find<QPlainTextEdit>(dialog, "edtChanges")->toPlainText();
        counts = Find<QLabel>(dialog, "lblCounts")->text();
        return QDialog::Rejected;
    });
    EXPECT_FALSE(closed);
    EXPECT_EQ(Str(shown), "~ alice\n- bob\n+ carl\n");
    EXPECT_EQ(Str(counts), "1 added, 1 removed, 1 with a new hash.");
    EXPECT_EQ(ReadWholeFile(site.Target), before);
}

// With several targets each one shows its own changes, as export --dry-run prints them.
TEST(SiteFile, PreviewOfSeveralTargetsShowsEachOnesChanges) {
    TSite site;
    TTargetSettings second;
    second.Name = "web2";
    second.PassFile = site.Dir.File("second");
    site.List.Targets.push_back(TargetOf(second));
    ASSERT_TRUE(site.Export());
    WriteWholeFile(second.PassFile, "alice:a1\r\n"); // bob is not there (yet)
    const std::string before[] = {ReadWholeFile(site.Target), ReadWholeFile(second.PassFile)};
    site.List.Users(0).SetPassword("new");
    site.List.Add("carl", "c1");
    QString shown;
    EXPECT_FALSE(site.Export({}, nullptr, [&](QDialog& dialog) {
        shown = Find<QPlainTextEdit>(dialog, "edtChanges")->toPlainText();
        return QDialog::Rejected;
    }));
    EXPECT_EQ(Str(shown), "== default (" + site.Target + ")\n~ alice\n+ carl\n" +
                              "1 added, 0 removed, 1 with a new hash.\n\n" + "== web2 (" +
                              second.PassFile + ")\n~ alice\n+ bob\n+ carl\n" +
                              "2 added, 0 removed, 1 with a new hash.\n" +
                              "The file there changed since this database last wrote it: an "
                              "export will ask before it replaces it.\n");
    EXPECT_EQ(ReadWholeFile(site.Target), before[0]) << "a preview writes nothing";
    EXPECT_EQ(ReadWholeFile(second.PassFile), before[1]);
}

// The dialog finds a target's kept versions as the command line does: a file's, a store's.
TEST(SiteFile, RestoreListsTheReplacedVersionsAndPutsOneBack) {
    for (const bool store : {false, true}) {
        SCOPED_TRACE(store ? "store" : "file");
        TSite site(store);
        const std::string first = site.Holds();
        ASSERT_NE(first.find("bob:b1"), std::string::npos) << first;
        site.List.Add("carl", "c1");
        ASSERT_TRUE(site.Export());
        ASSERT_NE(site.Holds(), first);

        TfrmRestore dialog(site.List, site.Db);
        auto* versions = Find<QTreeWidget>(dialog, "lvwVersions");
        ASSERT_EQ(versions->topLevelItemCount(), 1);
        EXPECT_EQ(Str(versions->topLevelItem(0)->text(2)), "2") << "the users of that version";
        dialog.show();
        QTest::mouseClick(Find<QPushButton>(dialog, "btnRestore"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(site.Holds(), first);
        // Recorded as written by the database: the next export asks nothing.
        EXPECT_TRUE(site.Export());
        EXPECT_TRUE(site.Modals.Boxes.empty());
    }
}

// A store that is not the database's first target: the dialog finds it by its id, lists what
// its exports replaced and puts a version back; the first target, which names nothing, has none.
TEST(SiteFile, RestoreFindsTheVersionsOfAStoreThatIsNotTheFirstTarget) {
    TTempDir dir;
    const std::string db = dir.File("site.udx");
    TUserList list;
    list.Add("alice", "a1");
    list.Add("bob", "b1");
    list.PassType = TPasswordsType::ptPlainText;
    TTargetSettings sql;
    sql.Name = "sql";
    sql.ExportToFile = false;
    sql.StoreUrl = "sqlite:" + dir.File("auth.db");
    sql.StoreOwner = "site";
    list.Targets.push_back(TargetOf(sql));
    list.SaveToFile(db);
    TStoreSettings store = *ParseStoreUrl(sql.StoreUrl);
    store.Owner = sql.StoreOwner;
    const auto holds = [&] {
        std::vector<std::string> logins;
        for (const TStoredUser& user : OpenUserStore(store)->Read())
            logins.push_back(user.Login);
        std::sort(logins.begin(), logins.end());
        return logins;
    };
    const auto exportToStore = [&] {
        TExportSettings settings;
        settings.PassType = list.PassType;
        settings.DatabasePath = db;
        settings.Targets = {{sql, {}}};
        settings.PerTarget = true;
        TExportJob job(list, settings);
        job.Start();
        job.Wait();
        return job.Result().Done;
    };
    ASSERT_TRUE(exportToStore());
    list.Add("carl", "c1");
    ASSERT_TRUE(exportToStore());
    ASSERT_EQ(holds(), (std::vector<std::string>{"alice", "bob", "carl"}));

    TfrmRestore dialog(list, db);
    auto* targets = Find<QComboBox>(dialog, "cbxTarget");
    auto* versions = Find<QTreeWidget>(dialog, "lvwVersions");
    auto* restore = Find<QPushButton>(dialog, "btnRestore");
    ASSERT_EQ(targets->count(), 2);
    EXPECT_EQ(targets->currentIndex(), 1) << "the target an export goes to";
    ASSERT_EQ(versions->topLevelItemCount(), 1);
    EXPECT_EQ(Str(versions->topLevelItem(0)->text(2)), "2") << "the users of that version";
    targets->setCurrentIndex(0);
    EXPECT_EQ(versions->topLevelItemCount(), 0);
    EXPECT_FALSE(restore->isEnabled());
    targets->setCurrentIndex(1);
    dialog.show();
    QTest::mouseClick(restore, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(holds(), (std::vector<std::string>{"alice", "bob"}));
}
