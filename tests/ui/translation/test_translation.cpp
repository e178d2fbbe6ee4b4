// The desktop program under a German locale (LANG=de_DE.UTF-8, set before the program starts),
// and the shipped translation files: every entry finished and faithful to its English text.

#include "AccessKeys.h"
#include "FitScreenCheck.h"
#include "FtpTestServer.h"
#include "ScriptedPrompts.h"
#include "TestUtil.h"
#include "export/ExportTexts.h"
#include "ftp/FtpTexts.h"
#include "persist/RegistryLib.h"
#include "ui/ExportDlg.h"
#include "ui/FindDlg.h"
#include "ui/MainForm.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"
#include "ui/OptionsDlg.h"
#include "ui/Translations.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

#include <cerrno>

#include <gtest/gtest.h>

#include <set>

using namespace quorvane;

namespace {

bool GermanLoaded = false;

struct TTsMessage {
    QString Context, Source, Translation, Type;
};

std::vector<TTsMessage> ReadTs(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    std::vector<TTsMessage> messages;
    QXmlStreamReader xml(&file);
    QString context;
    TTsMessage message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            message = TTsMessage{context, {}, {}, {}};
        } else if (xml.name() == QLatin1String("source")) {
            message.Source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            message.Type = xml.attributes().value(QLatin1String("type")).toString();
            message.Translation = xml.readElementText();
            messages.push_back(message);
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return messages;
}

std::multiset<QString> Placeholders(const QString& text) {
    static const QRegularExpression placeholder(QStringLiteral("%(\\d+|n)"));
    std::multiset<QString> found;
    for (const auto& match : placeholder.globalMatch(text))
        found.insert(match.captured());
    return found;
}

// Access keys: "&x" marks one, "&&" is a literal ampersand.
int AccessKeys(const QString& text) {
    int keys = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) ++keys;
        ++i;
    }
    return keys;
}

// Surrounding blanks and a closing ellipsis or ":" (a label) must survive the translation.
QString Edges(const QString& text) {
    static const QRegularExpression edges(QStringLiteral("^(\\s*).*?(\\s*|:|\\.\\.\\.|…)$"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const auto match = edges.match(text);
    return match.captured(1) + QLatin1Char('|') + match.captured(2);
}

} // namespace

TEST(Translation, EveryShippedEntryIsFinishedAndKeepsItsPlaceholders) {
    const QDir folder(QStringLiteral(QUORVANE_TRANSLATIONS_DIR));
    const QStringList files = folder.entryList({QStringLiteral("quorvane_*.ts")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        const std::vector<TTsMessage> messages = ReadTs(folder.filePath(name));
        EXPECT_GT(messages.size(), 40u) << name.toStdString();
        for (const TTsMessage& m : messages) {
            const std::string where = name.toStdString() + " " + m.Context.toStdString() + ": \"" +
                                      m.Source.toStdString() + "\"";
            EXPECT_TRUE(m.Type.isEmpty()) << where << " is " << m.Type.toStdString();
            EXPECT_FALSE(m.Translation.trimmed().isEmpty()) << where;
            EXPECT_EQ(Placeholders(m.Translation), Placeholders(m.Source)) << where;
            EXPECT_EQ(AccessKeys(m.Translation), AccessKeys(m.Source)) << where;
            EXPECT_EQ(Edges(m.Translation), Edges(m.Source)) << where;
        }
    }
}

TEST(Translation, GermanLocaleShowsGermanMenus) {
    ASSERT_TRUE(GermanLoaded);
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString(dir.File("settings.ini")));
    TfrmMain window;
    QStringList titles;
    for (QAction* top : window.menuBar()->actions())
        titles << top->text();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("&Datei"), QStringLiteral("&Bearbeiten"),
                                   QStringLiteral("&Ansicht"), QStringLiteral("E&xtras"),
                                   QStringLiteral("&Hilfe")}));
    EXPECT_EQ(window.findChild<QAction*>(QStringLiteral("miExport"))->text(),
              QStringLiteral("Kennwortdatei &exportieren..."));
    EXPECT_EQ(window.StatusPanelText(0), QStringLiteral("0 Benutzer"));
    TUserProp& user = window.UserList().AddBlank();
    user.Login = "ann";
    user.Disable = true;
    window.FillList();
    EXPECT_EQ(window.Model()
                  ->index(0, TUsersModel::Index(TUsersModel::TColumn::Status))
                  .data()
                  .toString(),
              QStringLiteral("Deaktiviert"));
}

TEST(Translation, NoTwoControlsOfAGermanWindowShareAnAccessKey) {
    ASSERT_TRUE(GermanLoaded);
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString(dir.File("settings.ini")));
    TUserList list;
    for (const auto& window : quorvane::accesskeys::EveryWindow(list))
        for (const QString& clash : quorvane::accesskeys::AccessKeyClashes(*window))
            ADD_FAILURE() << clash.toStdString();
    for (const QString& problem : quorvane::accesskeys::ExportDialogKeyProblems())
        ADD_FAILURE() << problem.toStdString();
}

// The German words are longer: the dialogs still fit the screen, nothing in them cut off.
TEST(Translation, GermanDialogsFitTheScreen) {
    ASSERT_TRUE(GermanLoaded);
    quorvane::fitscreen::CheckEveryDialogFitsTheScreen();
}

TEST(Translation, GermanLocaleShowsGermanDialogs) {
    ASSERT_TRUE(GermanLoaded);
    TFindDialog find;
    TfrmOptions options;
    const struct {
        QWidget* Window;
        const char* Child; // nullptr: the window's title
        QString Expected;
    } cases[] = {
        {&find, nullptr, QStringLiteral("Suchen")},
        {&find, "btnFindNext", QStringLiteral("&Weitersuchen")},
        {&find, "cbxMatchCase", QStringLiteral("Groß-/&Kleinschreibung beachten")},
        {&options, nullptr, QStringLiteral("Optionen")},
        {&options, "btnCancel", QStringLiteral("Abbrechen")},
        {&options, "lblDays", QStringLiteral("Tage")},
    };
    for (const auto& c : cases) {
        QString shown = c.Window->windowTitle();
        if (c.Child) {
            QObject* child = c.Window->findChild<QObject*>(QLatin1String(c.Child));
            ASSERT_NE(child, nullptr) << c.Child;
            shown = child->property("text").toString();
        }
        EXPECT_EQ(shown, c.Expected) << (c.Child ? c.Child : "title");
    }
}

// The core's messages through the desktop's one translation: nested reasons and lists of them
// translated in turn, counts the locale's way, names and a peer's words as they are.
TEST(Translation, CoreMessagesKeepTheirVariablePartsAndAPeersWords) {
    ASSERT_TRUE(GermanLoaded);
    const auto user = [](int n, const char* login, const TMessageText& why) {
        return Msg(texts::UnsafeUser, n, std::string(login), Msg(why));
    };
    const struct {
        TMessage Core;
        QString Shown;
    } cases[] = {
        // A reason after "failed:" is a message of its own; a "%2" in a name stays a name.
        {Msg(texts::UploadFailed, std::string("/www/a%2b"),
             Msg(texts::SystemFailure, SystemError(ECONNREFUSED))),
         QStringLiteral("Das Hochladen von /www/a%2b ist fehlgeschlagen: Verbindung abgelehnt")},
        {Msg(texts::FormPlainText), QStringLiteral("Klartext")},
        {Msg(texts::EstimateUsers, Msg(texts::DurationS, 3), Count(1500)),
         QStringLiteral("etwa 3 s für 1.500 Benutzer; spätere Exporte verwenden unveränderte "
                        "Hashes wieder")},
        // Each user of a list with its reason, the rest counted.
        {Msg(texts::UnsafeUsers, Messages({user(2, "a, b", texts::UnsafeLoginEmpty),
                                           user(5, "c:d", texts::UnsafeLoginColon), Verbatim("x"),
                                           Verbatim("y"), Verbatim("z")},
                                          2)),
         QStringLiteral("Diese Benutzer können nicht sicher in die Kennwortdatei geschrieben "
                        "werden: Benutzer 2 „a, b“ (der Anmeldename ist leer), Benutzer 5 „c:d“ "
                        "(der Anmeldename enthält einen Doppelpunkt) und 3 weitere. Korrigieren "
                        "oder deaktivieren Sie sie und exportieren Sie dann erneut.")},
        {Msg(texts::EmptyPasswords, Names({"a", "b", "c", "d"}, 2)),
         QStringLiteral("Wer diese Anmeldenamen kennt, kommt ohne Kennwort hinein: a, b und 2 "
                        "weitere")},
        {Msg(texts::HashOnly, Msg(texts::SchemePlainText)), QStringLiteral("nur Hash (Klartext)")},
        // What a server said is shown as it said it.
        {Verbatim("550 No such file or directory"),
         QStringLiteral("550 No such file or directory")},
        {Msg(texts::Connecting, std::string("ftp.example.org")),
         QStringLiteral("Verbindung zu ftp.example.org wird hergestellt...")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageText(c.Core), c.Shown) << EnglishText(c.Core);
}

// A failure the core reports and the export's progress, as a German user sees them: file names
// and hosts as they were.
TEST(Translation, CoreFailuresAndExportProgressShowInGerman) {
    ASSERT_TRUE(GermanLoaded);
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString(dir.File("settings.ini")));
    std::vector<QString> boxes;
    TModalHandlerScope modals([&](QDialog& dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) boxes.push_back(box->text());
        return int(QMessageBox::Ok);
    });

    WriteWholeFile(dir.File("refused.udx"), "object TUserList\n  Count = x\nend\n");
    const QString missing = QString::fromStdString(dir.File("no such file.udx"));
    const struct {
        QString File;
        QString Shown;
    } opens[] = {
        {QString::fromStdString(dir.File("refused.udx")),
         QStringLiteral("Die Datei ist ungültig.")},
        {missing, QStringLiteral("Die Datei %1 kann nicht geöffnet werden.").arg(missing)},
    };
    TScriptedPrompts prompts;
    TfrmMain window;
    window.Project.SetPrompts(&prompts);
    for (const auto& c : opens) {
        boxes.clear();
        prompts.OpenChoices.push_back(c.File);
        window.miOpenClick();
        EXPECT_EQ(boxes, std::vector<QString>{c.Shown}) << c.File.toStdString();
    }

    // An upload the server refuses: the login failed, while the dialog was connecting.
    ftptest::TFtpServer server;
    TUserList list;
    list.Add("ann", "a");
    First(list)->ExportToFile = false;
    First(list)->FtpHost = server.Host();
    First(list)->FtpUser = ftptest::kUser;
    First(list)->FtpPass = "wrong";
    First(list)->FtpPasswdFile = "htpasswd";
    First(list)->FtpPassiveMode = true;
    boxes.clear();
    TfrmExportUser dialog(list, {}, &window);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnExport")), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 20000));
    const QString host = QString::fromStdString(server.Host());
    EXPECT_TRUE(boxes.front().startsWith(
        QStringLiteral("Die Anmeldung bei %1 als webmaster ist fehlgeschlagen: ").arg(host)))
        << boxes.front().toStdString();
    // The progress while it connected, in German too.
    quorvane::TExportEvent connecting;
    connecting.Stage = quorvane::TExportStage::Connecting;
    connecting.Server = server.Host();
    EXPECT_EQ(MessageText(ExportProgressMessage(connecting)),
              QStringLiteral("Verbindung zu %1 wird hergestellt...").arg(host));
    // The dialog stays open for another try once the upload has ended.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return dialog.findChild<QWidget*>(QStringLiteral("pbrProgress"))->isHidden(); },
        20000));
}

// A long result in the status line, as an export leaves it, is cut at the window's edge; the
// longer German "Modified" before it stays whole.
TEST(Translation, ALongResultLeavesTheModifiedPanelWhole) {
    ASSERT_TRUE(GermanLoaded);
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString(dir.File("settings.ini")));
    TfrmMain window;
    window.resize(640, 400);
    window.show();
    window.Project.SetModified(true);
    window.ShowResult(QStringLiteral("1 Benutzer in /srv/www/%1/.htpasswd geschrieben")
                          .arg(QString(200, QLatin1Char('x'))));
    auto* modified = window.findChild<QLabel*>(QStringLiteral("StatusBarPanel1"));
    ASSERT_NE(modified, nullptr);
    EXPECT_EQ(modified->text(), QStringLiteral("Geändert"));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return modified->contentsRect().width() >=
               modified->fontMetrics().horizontalAdvance(modified->text());
    })) << modified->contentsRect().width();
}

TEST(Translation, QtStandardButtonsFollowTheLocale) {
    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    const QString yes = box.button(QMessageBox::Yes)->text();
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                       QStringLiteral("/qtbase_de.qm")))
        GTEST_SKIP() << "Qt's German translation is not installed";
    EXPECT_EQ(yes, QStringLiteral("&Ja"));
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The locale as a German desktop session sets it; nothing more specific may override it.
    qputenv("LANG", "de_DE.UTF-8");
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        qunsetenv(name);
    QApplication app(argc, argv);
    GermanLoaded = InstallTranslations(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
