// Alt and a letter reach one control only, in every window of the program.

#include "AccessKeys.h"
#include "UiTestUtil.h"

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QTabWidget>

using namespace quorvane;

TEST(AccessKeys, NoTwoControlsOfAWindowShareOne) {
    TUserList list;
    for (const auto& window : quorvane::accesskeys::EveryWindow(list))
        for (const QString& clash : quorvane::accesskeys::AccessKeyClashes(*window))
            ADD_FAILURE() << clash.toStdString();
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
