// Alt and a letter reach one control only, in every window of the program.

#include "AccessKeys.h"
#include "UiTestUtil.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace quorvane;

TEST(AccessKeys, NoTwoControlsOfAWindowShareOne) {
    TUserList list;
    for (const auto& window : quorvane::accesskeys::EveryWindow(list))
        for (const QString& clash : quorvane::accesskeys::AccessKeyClashes(*window))
            ADD_FAILURE() << clash.toStdString();
}

TEST(AccessKeys, EveryControlOfTheExportDialogHasAKeyOfItsOwnInEachState) {
    for (const QString& problem : quorvane::accesskeys::ExportDialogKeyProblems())
        ADD_FAILURE() << problem.toStdString();
}

TEST(AccessKeys, TheWalkFindsAClashAndLeavesSeparatePagesAlone) {
    // The walk itself, on a window made for it: two pages of one tab widget may share a key,
    // a key beside the tabs may not share one with a page, "&&" is no key.
    QDialog window;
    window.setObjectName(QStringLiteral("frmProbe"));
    auto* tabs = new QTabWidget(&window);
    auto* one = new QWidget;
    auto* two = new QWidget;
    tabs->addTab(one, QStringLiteral("&One"));
    tabs->addTab(two, QStringLiteral("&Two"));
    new QPushButton(QStringLiteral("&Groups"), one);
    new QPushButton(QStringLiteral("&Generate"), two);
    new QPushButton(QStringLiteral("Save && &Close"), &window);
    EXPECT_TRUE(quorvane::accesskeys::AccessKeyClashes(window).empty());
    new QCheckBox(QStringLiteral("&Copy"), two);
    const std::vector<QString> clashes = quorvane::accesskeys::AccessKeyClashes(window);
    ASSERT_EQ(clashes.size(), 1U);
    EXPECT_TRUE(clashes[0].startsWith(QStringLiteral("frmProbe: Alt+C is ")));
    EXPECT_TRUE(clashes[0].contains(QStringLiteral("\"&Copy\"")));
    EXPECT_TRUE(clashes[0].contains(QStringLiteral("\"Save && &Close\"")));
}

TEST(AccessKeys, TheWalkOfWhatAKeyReachesPassesHiddenAndDisabledControlsByAndFindsTheUnkeyed) {
    // Two buttons of one key, never usable together, and a field whose caption has no key.
    QDialog window;
    window.setObjectName(QStringLiteral("frmProbe"));
    auto* layout = new QVBoxLayout(&window);
    auto* browse = new QPushButton(QStringLiteral("&Browse"), &window);
    auto* other = new QPushButton(QStringLiteral("&Browse"), &window);
    auto* caption = new QLabel(QStringLiteral("File"), &window);
    auto* field = new QLineEdit(&window);
    field->setObjectName(QStringLiteral("edtFile"));
    caption->setBuddy(field);
    for (QWidget* w : {static_cast<QWidget*>(browse), static_cast<QWidget*>(other),
                       static_cast<QWidget*>(caption), static_cast<QWidget*>(field)})
        layout->addWidget(w);
    using quorvane::accesskeys::AccessKeyClashes;
    using quorvane::accesskeys::MissingAccessKeys;
    using quorvane::accesskeys::TKeyScope;
    EXPECT_EQ(AccessKeyClashes(window, TKeyScope::Reachable).size(), 1U);
    other->setEnabled(false);
    EXPECT_TRUE(AccessKeyClashes(window, TKeyScope::Reachable).empty());
    EXPECT_EQ(AccessKeyClashes(window, TKeyScope::Every).size(), 1U) << "every control counts";
    other->setEnabled(true);
    other->hide();
    EXPECT_TRUE(AccessKeyClashes(window, TKeyScope::Reachable).empty());
    const std::vector<QString> missing = MissingAccessKeys(window, {});
    ASSERT_EQ(missing.size(), 1U);
    EXPECT_EQ(missing[0], QStringLiteral("frmProbe: edtFile has no caption with an access key"));
    caption->setText(QStringLiteral("&File"));
    EXPECT_TRUE(MissingAccessKeys(window, {}).empty());
    browse->setText(QStringLiteral("Browse"));
    browse->setObjectName(QStringLiteral("btnBrowse"));
    EXPECT_EQ(MissingAccessKeys(window, {}),
              std::vector<QString>{QStringLiteral("frmProbe: \"Browse\" has no access key")});
    EXPECT_TRUE(MissingAccessKeys(window, {QStringLiteral("btnBrowse")}).empty());
}
