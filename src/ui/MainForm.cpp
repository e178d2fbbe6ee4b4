#include "ui/MainForm.h"

#include "base/Errors.h"
#include "job/KeyFileRule.h"
#include "job/SideFiles.h"
#include "ui/ByteText.h"
#include "ui/MasterPasswordDlg.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"
#include "ui/PaintedIcon.h"
#include "ui/UsersModel.h"
#include "userdb/Envelope.h"
#include "userdb/Groups.h"
#include "userdb/NewUser.h"
#include "userdb/UserCommands.h"
#include "userdb/UserDbTexts.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace quorvane {

namespace {

// The hourglass for the lifetime of the object.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

std::string FileNameBytes(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

void PaintPerson(QPainter& painter) {
    painter.setPen(QPen(QColor(40, 70, 120), 1.2));
    painter.setBrush(QColor(90, 140, 210));
    painter.drawEllipse(QRectF(4.5, 2.5, 8, 8));
    QPainterPath body;
    body.moveTo(1.5, 21.5);
    body.cubicTo(1.5, 13.0, 15.5, 13.0, 15.5, 21.5);
    body.closeSubpath();
    painter.drawPath(body);
    painter.setPen(Qt::NoPen);
}

void PaintAddUser(QPainter& painter) {
    PaintPerson(painter);
    painter.setBrush(QColor(30, 150, 50));
    painter.drawRect(QRectF(13.5, 14.5, 9.5, 3));
    painter.drawRect(QRectF(16.75, 11.25, 3, 9.5));
}

void PaintDeleteUser(QPainter& painter) {
    PaintPerson(painter);
    painter.setBrush(QColor(200, 40, 40));
    painter.drawRect(QRectF(13.5, 14.5, 9.5, 3));
}

void PaintEnableUser(QPainter& painter) {
    PaintPerson(painter);
    painter.setPen(QPen(QColor(30, 150, 50), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({QPointF(13.5, 16.5), QPointF(16.5, 19.5), QPointF(22, 12.5)}));
}

void PaintDisableUser(QPainter& painter) {
    PaintPerson(painter);
    painter.setPen(QPen(QColor(200, 40, 40), 2.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(13, 11.5, 9.5, 9.5));
    painter.drawLine(QPointF(14.6, 19.4), QPointF(20.9, 13.1));
}

void PaintCalendar(QPainter& painter) {
    painter.setPen(QPen(QColor(90, 90, 90), 1.2));
    painter.setBrush(QColor(250, 250, 250));
    painter.drawRect(QRectF(2.5, 4.5, 19, 17));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 60, 50));
    painter.drawRect(QRectF(3, 5, 18, 4.5));
    painter.setBrush(QColor(120, 120, 120));
    for (double y : {12.0, 15.5, 19.0})
        for (double x : {5.0, 9.0, 13.0, 17.0})
            painter.drawRect(QRectF(x, y, 2.2, 2));
    painter.setPen(QPen(QColor(60, 60, 60), 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(7, 2.5), QPointF(7, 6.5));
    painter.drawLine(QPointF(17, 2.5), QPointF(17, 6.5));
}

void PaintKey(QPainter& painter) {
    painter.setPen(QPen(QColor(130, 95, 10), 1.2));
    painter.setBrush(QColor(230, 180, 40));
    QPainterPath key;
    key.addEllipse(QRectF(2.5, 6.5, 10, 10));
    key.addRect(QRectF(11, 10, 11, 3));
    key.addRect(QRectF(17, 13, 2.5, 4));
    key.addRect(QRectF(20, 13, 2, 3));
    key.setFillRule(Qt::WindingFill);
    painter.drawPath(key.simplified());
    painter.setBrush(QColor(250, 250, 250));
    painter.drawEllipse(QRectF(5, 9.5, 4, 4));
}

QIcon UserIcon(bool add) {
    return PaintedIcon(add ? PaintAddUser : PaintDeleteUser);
}

// "Export (Ctrl+E)": a tool tip names the shortcut of its command.
QString HintWithShortcut(const QString& hint, const QAction* action) {
    const QKeySequence key = action != nullptr ? action->shortcut() : QKeySequence();
    if (key.isEmpty()) return hint;
    return TfrmMain::tr("%1 (%2)").arg(hint, key.toString(QKeySequence::NativeText));
}

QIcon ExportIcon() {
    return PaintedIcon([](QPainter& painter) {
        painter.setPen(QPen(QColor(90, 90, 90), 1.2));
        painter.setBrush(QColor(250, 250, 250)); // a sheet of paper, whatever the palette
        painter.drawRect(QRectF(3.5, 2.5, 12, 19));
        painter.setPen(QPen(QColor(150, 150, 150), 1));
        for (double y = 6.5; y < 19; y += 3)
            painter.drawLine(QPointF(6, y), QPointF(13, y));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(30, 120, 200));
        QPainterPath arrow;
        arrow.moveTo(11, 11);
        arrow.lineTo(17, 11);
        arrow.lineTo(17, 7.5);
        arrow.lineTo(23, 13.5);
        arrow.lineTo(17, 19.5);
        arrow.lineTo(17, 16);
        arrow.lineTo(11, 16);
        arrow.closeSubpath();
        painter.drawPath(arrow);
    });
}

// The rows found by a search, and their users' places in the list.
struct TFoundRows {
    std::vector<TUserProp*> Rows;
    std::vector<int> Places;
};

// The rows of users that pass, in the order given, with their places in the list. Rows in
// display order refer to users all over memory, and visiting each user's texts in that order
// waits on the memory again and again. A few rows are searched so, each user asked for some rows
// ahead of its turn; many are searched in the list's own order (where the users lie one after
// the other), and then only each row's place in the list is looked up in display order: from
// `places` (one a row, learnt while the list had its users where it has them now) where given,
// else from the user. Rows that are a filter's whole answer under the sort key (every user that
// passes is among them) need no look-up when few users pass: those few are sorted.
template <typename TPasses>
TFoundRows SearchRows(TUserList& list, const std::vector<TUserProp*>& rows,
                      const std::vector<int>& places, std::optional<int> wholeAnswerSortKey,
                      const TPasses& passes) {
    constexpr size_t kAhead = 24;
    const int count = list.Count();
    const bool placed = places.size() == rows.size();
    const auto placeOf = [&](size_t i) { return placed ? places[i] : list.IndexOf(rows[i]); };
    const auto prefetch = [&rows](size_t i) {
        if (i < rows.size() && rows[i] != nullptr) {
            const auto* bytes = reinterpret_cast<const char*>(rows[i]);
            for (size_t line = 0; line < sizeof(TUserProp); line += 64)
                __builtin_prefetch(bytes + line);
        }
    };
    TFoundRows found;
    if (rows.size() <= static_cast<size_t>(count) / 8) {
        for (size_t i = 0; i < rows.size(); ++i) {
            prefetch(i + kAhead);
            if (i + kAhead / 2 < rows.size() && rows[i + kAhead / 2] != nullptr) {
                const TUserProp& ahead = *rows[i + kAhead / 2];
                __builtin_prefetch(ahead.Login.data());
                __builtin_prefetch(ahead.Email.data());
                __builtin_prefetch(ahead.FullName.data());
            }
            if (rows[i] != nullptr && passes(*rows[i])) {
                found.Rows.push_back(rows[i]);
                found.Places.push_back(placeOf(i));
            }
        }
        return found;
    }
    std::vector<bool> passing(static_cast<size_t>(count));
    size_t passed = 0;
    for (int i = 0; i < count; ++i) {
        const bool in = passes(list.Users(i));
        passing[static_cast<size_t>(i)] = in;
        passed += in ? 1 : 0;
    }
    found.Rows.reserve(passed);
    found.Places.reserve(passed);
    if (wholeAnswerSortKey && passed <= rows.size() / 16) {
        std::vector<TUserProp*> users;
        std::vector<int> indexes;
        users.reserve(passed);
        indexes.reserve(passed);
        for (int i = 0; i < count; ++i) {
            if (!passing[static_cast<size_t>(i)]) continue;
            users.push_back(&list.Users(i));
            indexes.push_back(i);
        }
        for (int position : SortedOrder(users, *wholeAnswerSortKey)) {
            found.Rows.push_back(users[static_cast<size_t>(position)]);
            found.Places.push_back(indexes[static_cast<size_t>(position)]);
        }
        return found;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        // A user's place in the list is kept at the end of the user.
        if (!placed && i + kAhead < rows.size() && rows[i + kAhead] != nullptr) {
            const auto* end = reinterpret_cast<const char*>(rows[i + kAhead] + 1);
            __builtin_prefetch(end - 1);
            __builtin_prefetch(end - 16);
        }
        const int index = placeOf(i);
        if (index >= 0 && index < count && passing[static_cast<size_t>(index)]) {
            found.Rows.push_back(rows[i]);
            found.Places.push_back(index);
        }
    }
    return found;
}

// The widest of many texts in a font. Shaping every text is slow for 100,000 users, so each
// text is first estimated from a table of character advances, and only the texts whose
// estimate comes near the widest estimate are measured exactly.
class TWidthMeter {
public:
    explicit TWidthMeter(const QFontMetrics& metrics) : FMetrics(metrics) {
        for (int c = 0; c < 256; ++c)
            FLatin1[c] = metrics.horizontalAdvance(QChar(c));
    }
    // Bytes as the list shows them (UTF-8, else Latin-1).
    void AddBytes(const std::string& bytes) {
        if (bytes.empty()) return;
        int estimate = 0;
        bool ascii = true;
        for (char c : bytes) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0x80 || u < 0x20) {
                ascii = false;
                break;
            }
            estimate += FLatin1[u];
        }
        if (ascii)
            Keep(estimate, nullptr, &bytes);
        else
            AddText(BytesToText(bytes));
    }
    void AddText(const QString& text) {
        if (text.isEmpty()) return;
        int estimate = 0;
        for (QChar c : text)
            estimate += Advance(c);
        Keep(estimate, &text, nullptr);
    }
    int Widest() {
        if (FCandidates.empty()) return 0;
        std::sort(FCandidates.begin(), FCandidates.end(),
                  [](const TCandidate& a, const TCandidate& b) { return a.Estimate > b.Estimate; });
        const int threshold = Threshold(FCandidates.front().Estimate);
        int widest = 0;
        size_t measured = 0;
        for (const TCandidate& candidate : FCandidates) {
            if (candidate.Estimate < threshold || measured == kMaxMeasured) break;
            widest = std::max(widest, FMetrics.horizontalAdvance(candidate.Text));
            ++measured;
        }
        return widest;
    }

private:
    struct TCandidate {
        int Estimate;
        QString Text;
    };
    static constexpr size_t kMaxMeasured = 512;
    // Kerning and shaping move a text's width only a little away from the sum of advances.
    static int Threshold(int estimate) { return estimate - std::max(8, estimate / 10); }

    int Advance(QChar c) {
        if (c.unicode() < 256) return FLatin1[c.unicode()];
        auto found = FOther.find(c.unicode());
        if (found != FOther.end()) return found->second;
        const int width = FMetrics.horizontalAdvance(c);
        FOther.emplace(c.unicode(), width);
        return width;
    }
    void Keep(int estimate, const QString* text, const std::string* bytes) {
        if (estimate < Threshold(FBest)) return;
        FBest = std::max(FBest, estimate);
        FCandidates.push_back(
            {estimate,
             text ? *text
                  : QString::fromLatin1(bytes->data(), static_cast<qsizetype>(bytes->size()))});
        // Drop what the rising best has left behind, now and then.
        if (FCandidates.size() > 4 * kMaxMeasured) {
            const int threshold = Threshold(FBest);
            std::erase_if(FCandidates,
                          [threshold](const TCandidate& c) { return c.Estimate < threshold; });
            if (FCandidates.size() > 2 * kMaxMeasured) {
                std::nth_element(FCandidates.begin(), FCandidates.begin() + kMaxMeasured,
                                 FCandidates.end(), [](const TCandidate& a, const TCandidate& b) {
                                     return a.Estimate > b.Estimate;
                                 });
                FCandidates.resize(kMaxMeasured);
            }
        }
    }

    const QFontMetrics& FMetrics;
    int FLatin1[256] = {};
    std::unordered_map<char16_t, int> FOther;
    std::vector<TCandidate> FCandidates;
    int FBest = 0;
};

// The list, with a short hint painted in it while the database holds no users.
class TUsersView final : public QTreeView {
public:
    using QTreeView::QTreeView;
    void SetHint(const QString& hint) {
        if (hint == FHint) return;
        FHint = hint;
        viewport()->update();
    }
    const QString& Hint() const { return FHint; }

protected:
    void paintEvent(QPaintEvent* event) override {
        QTreeView::paintEvent(event);
        if (FHint.isEmpty() || (model() != nullptr && model()->rowCount() > 0)) return;
        QPainter painter(viewport());
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12),
                         Qt::AlignCenter | Qt::TextWordWrap, FHint);
    }

private:
    QString FHint;
};

} // namespace

// The "Reopen" submenu as the document manager fills it.
class TfrmMain::TReopenMenu final : public IReopenMenu {
public:
    TReopenMenu(TfrmMain* owner, QMenu* menu) : FOwner(owner), FMenu(menu) {}
    void ClearEntries() override {
        // An entry may be the one whose click is running: let it go once the click is over.
        for (QAction* action : FMenu->actions()) {
            FMenu->removeAction(action);
            action->deleteLater();
        }
    }
    void AddEntry(const QString& caption, const QString& name, int tag) override {
        QString text = caption;
        text.replace(QLatin1Char('&'), QStringLiteral("&&")); // a path shows every "&"
        // The number in front is the entry's access key ("&1", ..., "1&0").
        const qsizetype space = text.indexOf(QLatin1Char(' '));
        if (space > 0) text.insert(space - 1, QLatin1Char('&'));
        auto* action = new QAction(text, FMenu);
        action->setObjectName(name);
        action->setData(tag);
        TfrmMain* owner = FOwner;
        QObject::connect(action, &QAction::triggered, owner, [owner, tag] {
            Guarded(owner, [owner, tag] { owner->Project.ReopenItemClick(tag); });
        });
        FMenu->addAction(action);
    }
    void SetEnabled(bool enabled) override { FMenu->menuAction()->setEnabled(enabled); }

private:
    TfrmMain* FOwner;
    QMenu* FMenu;
};

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent), FormKeeper(this), FPrompts(this) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quorvane[*]"));
    setMinimumSize(440, 330);
    // A first start (nothing stored) shows the list well: about two thirds of the screen, at
    // least 800 x 500 where the screen has room, centred.
    QRect first(370, 115, 440, 330);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize size(std::min(std::max(area.width() * 2 / 3, 800), area.width()),
                         std::min(std::max(area.height() * 2 / 3, 500), area.height()));
        first = QRect(QPoint(0, 0), size.expandedTo(minimumSize()));
        first.moveCenter(area.center());
    }
    resize(first.size());
    move(first.topLeft());

    Project.SetPrompts(&FPrompts);
    Project.AppName = QStringLiteral("Quorvane");
    Project.RegistryAddress.Root = TRegistryRootKey::CurrentUser;
    Project.RegistryAddress.Path = QStringLiteral("\\Software\\Ostrick\\Quorvane");
    Project.DefaultExt = QStringLiteral("udx");
    Project.FileFilter = tr("Users Databases|*.udx|All Files|*.*");
    Project.SaveAlert = tr("The database has been modified. Do you want to save the changes?");
    Project.MaxListSize = 10;
    Project.UntitledName = tr("users.udx");
    Project.OnNew = [this](TProject*) { ProjectNew(); };
    Project.OnOpen = [this](TProject*) { ProjectOpen(); };
    // The stamp of the bytes the load parsed: the file is not read a second time for it.
    Project.LoadedStamp = [this]() -> std::optional<TDiskStamp> {
        if (!FLoaded) return std::nullopt;
        TDiskStamp stamp;
        stamp.Exists = true;
        stamp.Size = FLoaded->Size;
        stamp.ModifiedMs = FLoaded->ModifiedMs;
        stamp.Stamp = FLoaded->Stamp;
        return stamp;
    };
    Project.OnSave = [this](TProject*) { ProjectSave(); };
    Project.OnChanged = [this](TProject*) { ProjectChanged(); };
    Project.OnNameChanged = [this](TProject*) { ProjectNameChanged(); };
    Project.OnProjectListAdd = [this](TProject*) { ProjectProjectListAdd(); };

    FormKeeper.Project = &Project;
    FormKeeper.RegistryAddress.Root = TRegistryRootKey::CurrentUser;
    FormKeeper.FormName = QStringLiteral("frmMain");
    FormKeeper.ComponentsStore = false;
    // However it was left (a run at another scale, a tiny window), it opens no smaller than a
    // first start at its least.
    FormKeeper.RestoreFloor = QSize(800, 500);
    // The folder the file dialogs start in, from one run to the next.
    FormKeeper.OnSave = [](TFormKeeper*, TRegistry& reg) {
        if (!LastFolder().isEmpty()) reg.WriteString(QStringLiteral("LastFolder"), LastFolder());
    };
    FormKeeper.OnLoad = [](TFormKeeper*, TRegistry& reg) {
        if (!reg.ValueExists(QStringLiteral("LastFolder"))) return;
        const QString folder = reg.ReadString(QStringLiteral("LastFolder"));
        if (QFileInfo(folder).isDir()) LastFolder() = folder;
    };

    FUndoStack = new QUndoStack(this);
    FUndoStack->setObjectName(QStringLiteral("UndoStack"));
    connect(FUndoStack, &QUndoStack::cleanChanged, this, &TfrmMain::UndoCleanChanged);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateList();
    CreateStatusBar();
    CreateLockPanel();

    // Changes on disk are looked at once things have settled: an editor or a second program
    // may write in several steps.
    FWatcher = new QFileSystemWatcher(this);
    FDiskCheckTimer = new QTimer(this);
    FDiskCheckTimer->setSingleShot(true);
    FDiskCheckTimer->setInterval(300);
    connect(FDiskCheckTimer, &QTimer::timeout, this, &TfrmMain::CheckFileOnDisk);
    connect(FWatcher, &QFileSystemWatcher::fileChanged, FDiskCheckTimer,
            qOverload<>(&QTimer::start));
    connect(FWatcher, &QFileSystemWatcher::directoryChanged, FDiskCheckTimer,
            qOverload<>(&QTimer::start));

    setAcceptDrops(true); // a database, a text file or a password file dropped on the window

    FormCreate();
}

TfrmMain::~TfrmMain() {
    ClearCopiedPassword(); // a password does not outlive the program on the clipboard
    FormDestroy();
    // The stack empties itself when it goes, after this window has stopped being one.
    FUndoStack->disconnect(this);
    delete FUndoStack;
}

QAction* TfrmMain::NewAction(const char* name, const char* caption, void (TfrmMain::*handler)()) {
    auto* action = new QAction(tr(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void TfrmMain::CreateActions() {
    // Every item has an access key; an item that opens a dialog ends in "...". Shortcuts added
    // to the original ones (Ctrl+S, Ctrl+N Add User, Ctrl+Del, Ctrl+F, Ctrl+A) take no key of
    // theirs.
    miNew = NewAction("miNew", QT_TR_NOOP("&New"), &TfrmMain::miNewClick);
    miOpen = NewAction("miOpen", QT_TR_NOOP("&Open..."), &TfrmMain::miOpenClick);
    miOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    miSave = NewAction("miSave", QT_TR_NOOP("&Save"), &TfrmMain::miSaveClick);
    miSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    miSaveAs = NewAction("miSaveAs", QT_TR_NOOP("Save &As..."), &TfrmMain::miSaveAsClick);
    miEncryptDatabase = NewAction("miEncryptDatabase", QT_TR_NOOP("&Encrypt Database..."),
                                  &TfrmMain::miEncryptDatabaseClick);
    miChangeMasterPassword =
        NewAction("miChangeMasterPassword", QT_TR_NOOP("Change &Master Password..."),
                  &TfrmMain::miChangeMasterPasswordClick);
    miRemoveEncryption = NewAction("miRemoveEncryption", QT_TR_NOOP("Remove Encr&yption..."),
                                   &TfrmMain::miRemoveEncryptionClick);
    miKeepClearPasswords = NewAction("miKeepClearPasswords", QT_TR_NOOP("&Keep Clear Passwords"),
                                     &TfrmMain::miKeepClearPasswordsClick);
    miKeepClearPasswords->setCheckable(true);
    miKeepClearPasswords->setChecked(true);
    miImport = NewAction("miImport", QT_TR_NOOP("&Import Users..."), &TfrmMain::miImportClick);
    miRestore = NewAction("miRestore", QT_TR_NOOP("Res&tore Previous Password File..."),
                          &TfrmMain::miRestoreClick);
    miExit = NewAction("miExit", QT_TR_NOOP("E&xit"), &TfrmMain::miExitClick);
    miExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    miUndo = FUndoStack->createUndoAction(this, tr("&Undo"));
    miUndo->setObjectName(QStringLiteral("miUndo"));
    miUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    miRedo = FUndoStack->createRedoAction(this, tr("&Redo"));
    miRedo->setObjectName(QStringLiteral("miRedo"));
    miRedo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    miAddUser = NewAction("miAddUser", QT_TR_NOOP("&Add User..."), &TfrmMain::miAddUserClick);
    miAddUser->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    miEditUser = NewAction("miEditUser", QT_TR_NOOP("&Edit User..."), &TfrmMain::miEditUserClick);
    miEditUser->setShortcut(QKeySequence(Qt::Key_F2));
    miDeleteUser =
        NewAction("miDeleteUser", QT_TR_NOOP("&Delete User"), &TfrmMain::miDeleteUserClick);
    // Ctrl+Del anywhere; Delete in the list, where it cannot mean deleting text.
    miDeleteUser->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    miSearch = NewAction("miSearch", QT_TR_NOOP("&Search..."), &TfrmMain::miSearchClick);
    miSearch->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    miSelectAll = NewAction("miSelectAll", QT_TR_NOOP("Select A&ll"), &TfrmMain::miSelectAllClick);
    miSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));

    miAllUsers = NewAction("miAllUsers", QT_TR_NOOP("&All Users"), &TfrmMain::miAllUsersClick);
    miEnabledUsers =
        NewAction("miEnabledUsers", QT_TR_NOOP("&Enabled Users"), &TfrmMain::miEnabledUsersClick);
    miDisabledUsers = NewAction("miDisabledUsers", QT_TR_NOOP("&Disabled Users"),
                                &TfrmMain::miDisabledUsersClick);
    miExpiringUsers = NewAction("miExpiringUsers", QT_TR_NOOP("Expiring &within..."),
                                &TfrmMain::miExpiringUsersClick);
    FViewGroup = new QActionGroup(this);
    FViewGroup->setExclusive(true);
    for (QAction* action : {miAllUsers, miEnabledUsers, miDisabledUsers, miExpiringUsers}) {
        action->setCheckable(true);
        FViewGroup->addAction(action);
    }
    miAllUsers->setChecked(true);

    miCreateUsersSeries = NewAction("miCreateUsersSeries", QT_TR_NOOP("Create Users &Series..."),
                                    &TfrmMain::miCreateUsersSeriesClick);
    miExport =
        NewAction("miExport", QT_TR_NOOP("&Export Password File..."), &TfrmMain::miExportClick);
    miExport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    miOptions = NewAction("miOptions", QT_TR_NOOP("&Options..."), &TfrmMain::miOptionsClick);
    miHelpTopics =
        NewAction("miHelpTopics", QT_TR_NOOP("&Help Topics"), &TfrmMain::miHelpTopicsClick);
    miHelpTopics->setShortcut(QKeySequence(Qt::Key_F1));
    miAbout = NewAction("miAbout", QT_TR_NOOP("&About..."), &TfrmMain::miAboutClick);

    miEnable = NewAction("miEnable", QT_TR_NOOP("Ena&ble"), &TfrmMain::miEnableClick);
    miDisable = NewAction("miDisable", QT_TR_NOOP("D&isable"), &TfrmMain::miEnableClick);
    miNeverExpire =
        NewAction("miNeverExpire", QT_TR_NOOP("&Never Expire"), &TfrmMain::miEnableClick);
    miSetExpirationDate = NewAction("miSetExpirationDate", QT_TR_NOOP("Set E&xpiration Date..."),
                                    &TfrmMain::miEnableClick);
    miEnable->setData(static_cast<int>(TStateCommand::Enable));
    miDisable->setData(static_cast<int>(TStateCommand::Disable));
    miNeverExpire->setData(static_cast<int>(TStateCommand::NeverExpire));
    miSetExpirationDate->setData(static_cast<int>(TStateCommand::SetExpireDate));
    miEnable->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    miDisable->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    miSetExpirationDate->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    miChangePassword = NewAction("miChangePassword", QT_TR_NOOP("Change &Password..."),
                                 &TfrmMain::miChangePasswordClick);
    miChangePassword->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    miCopyPassword =
        NewAction("miCopyPassword", QT_TR_NOOP("Cop&y Password"), &TfrmMain::miCopyPasswordClick);
    miCopyPassword->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    // The filter box, as a browser's address bar is reached (Ctrl+F stays with Search).
    miFocusFilter =
        NewAction("miFocusFilter", QT_TR_NOOP("&Filter Users"), &TfrmMain::miFocusFilterClick);
    miFocusFilter->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    miSendMail = NewAction("miSendMail", QT_TR_NOOP("Send &Mail"), &TfrmMain::miSendMailClick);
    miSendCredentials = NewAction("miSendCredentials", QT_TR_NOOP("Send C&redentials..."),
                                  &TfrmMain::miSendCredentialsClick);
    miImportHtpasswd = NewAction("miImportHtpasswd", QT_TR_NOOP("&Import Password File..."),
                                 &TfrmMain::miImportHtpasswdClick);
    miCheckPassword = NewAction("miCheckPassword", QT_TR_NOOP("&Check Password..."),
                                &TfrmMain::miCheckPasswordClick);
}

void TfrmMain::CreateMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("miFile"));
    file->addAction(miNew);
    file->addAction(miOpen);
    file->addSeparator();
    miReopen = file->addMenu(tr("&Reopen"));
    miReopen->setObjectName(QStringLiteral("miReopen"));
    miReopen->menuAction()->setObjectName(QStringLiteral("miReopen"));
    FReopenMenu = std::make_unique<TReopenMenu>(this, miReopen);
    file->addSeparator();
    file->addAction(miSave);
    file->addAction(miSaveAs);
    file->addSeparator();
    file->addAction(miEncryptDatabase);
    file->addAction(miChangeMasterPassword);
    file->addAction(miRemoveEncryption);
    file->addAction(miKeepClearPasswords);
    file->addSeparator();
    file->addAction(miImport);
    file->addAction(miRestore);
    file->addSeparator();
    file->addAction(miExit);

    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("miEdit"));
    edit->addAction(miUndo);
    edit->addAction(miRedo);
    edit->addSeparator();
    edit->addAction(miAddUser);
    edit->addAction(miEditUser);
    edit->addSeparator();
    edit->addAction(miDeleteUser);
    edit->addSeparator();
    edit->addAction(miEnable);
    edit->addAction(miDisable);
    edit->addAction(miNeverExpire);
    edit->addAction(miSetExpirationDate);
    edit->addAction(miChangePassword);
    edit->addAction(miCopyPassword);
    edit->addSeparator();
    edit->addAction(miSearch);
    edit->addAction(miFocusFilter);
    edit->addSeparator();
    edit->addAction(miSelectAll);

    QMenu* view = bar->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("miView"));
    view->addAction(miAllUsers);
    view->addAction(miEnabledUsers);
    view->addAction(miDisabledUsers);
    view->addAction(miExpiringUsers);
    view->addSeparator();
    miGroupFilter = view->addMenu(tr("&Group"));
    miGroupFilter->setObjectName(QStringLiteral("miGroupFilter"));
    connect(miGroupFilter, &QMenu::aboutToShow, this, &TfrmMain::FillGroupMenu);
    FillGroupMenu();

    QMenu* tools = bar->addMenu(tr("&Tools"));
    tools->setObjectName(QStringLiteral("miTools"));
    tools->addAction(miCreateUsersSeries);
    tools->addSeparator();
    tools->addAction(miExport);
    tools->addAction(miImportHtpasswd);
    tools->addSeparator();
    tools->addAction(miSendCredentials);
    tools->addSeparator();
    tools->addAction(miOptions);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("miHelp"));
    help->addAction(miHelpTopics);
    help->addSeparator();
    help->addAction(miAbout);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->addAction(miEnable);
    PopupMenu->addAction(miDisable);
    PopupMenu->addSeparator();
    PopupMenu->addAction(miNeverExpire);
    PopupMenu->addAction(miSetExpirationDate);
    PopupMenu->addSeparator();
    PopupMenu->addAction(miChangePassword);
    PopupMenu->addAction(miCopyPassword);
    PopupMenu->addSeparator();
    PopupMenu->addAction(miSendMail);
    PopupMenu->addAction(miSendCredentials);
    PopupMenu->addAction(miCheckPassword);
}

void TfrmMain::CreateToolBar() {
    ToolBar1 = addToolBar(tr("Tool bar"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu); // no tool bar hiding menu on the window

    auto button = [this](const char* name, const char* hint, const QIcon& icon, QAction* action,
                         void (TfrmMain::*handler)()) {
        auto* tool = new QToolButton(ToolBar1);
        tool->setObjectName(QString::fromLatin1(name));
        tool->setToolTip(HintWithShortcut(tr(hint), action));
        tool->setIcon(icon);
        tool->setIconSize(QSize(24, 24));
        tool->setAutoRaise(true);
        tool->setFocusPolicy(Qt::NoFocus);
        if (handler != nullptr)
            connect(tool, &QToolButton::clicked, this, handler);
        else // a command told apart by its action (the state commands)
            connect(tool, &QToolButton::clicked, action, &QAction::trigger);
        ToolBar1->addWidget(tool);
        return tool;
    };
    QStyle* st = style();
    tbnNew = button("tbnNew", QT_TR_NOOP("New"), st->standardIcon(QStyle::SP_FileIcon), miNew,
                    &TfrmMain::miNewClick);
    tbnOpen = button("tbnOpen", QT_TR_NOOP("Open"), st->standardIcon(QStyle::SP_DialogOpenButton),
                     miOpen, &TfrmMain::miOpenClick);
    tbnOpen->setMenu(miReopen);
    tbnOpen->setPopupMode(QToolButton::MenuButtonPopup);
    tbnSave = button("tbnSave", QT_TR_NOOP("Save"), st->standardIcon(QStyle::SP_DialogSaveButton),
                     miSave, &TfrmMain::miSaveClick);
    ToolBar1->addSeparator();
    tbnAddUser = button("tbnAddUser", QT_TR_NOOP("Add user"), UserIcon(true), miAddUser,
                        &TfrmMain::miAddUserClick);
    tbnDeleteUser = button("tbnDeleteUser", QT_TR_NOOP("Delete user"), UserIcon(false),
                           miDeleteUser, &TfrmMain::miDeleteUserClick);
    ToolBar1->addSeparator();
    tbnEnable =
        button("tbnEnable", QT_TR_NOOP("Enable"), PaintedIcon(PaintEnableUser), miEnable, nullptr);
    tbnDisable = button("tbnDisable", QT_TR_NOOP("Disable"), PaintedIcon(PaintDisableUser),
                        miDisable, nullptr);
    tbnSetExpirationDate = button("tbnSetExpirationDate", QT_TR_NOOP("Set expiration date"),
                                  PaintedIcon(PaintCalendar), miSetExpirationDate, nullptr);
    tbnChangePassword = button("tbnChangePassword", QT_TR_NOOP("Change password"),
                               PaintedIcon(PaintKey), miChangePassword, nullptr);
    ToolBar1->addSeparator();
    tbnExport =
        button("tbnExport", QT_TR_NOOP("Export"), ExportIcon(), miExport, &TfrmMain::miExportClick);
}

void TfrmMain::CreateList() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 2, 0, 0); // the 2-pixel spacer below the tool bar
    layout->setSpacing(2);

    // The quick filter: typing narrows the rows at once; Escape empties it.
    auto* filterRow = new QHBoxLayout();
    filterRow->setContentsMargins(4, 0, 4, 0);
    edtFilter = new QLineEdit(central);
    edtFilter->setObjectName(QStringLiteral("edtFilter"));
    edtFilter->setPlaceholderText(tr("Filter by login, e-mail or full name"));
    edtFilter->setClearButtonEnabled(true);
    edtFilter->installEventFilter(this);
    lblFilterCount = new QLabel(central);
    lblFilterCount->setObjectName(QStringLiteral("lblFilterCount"));
    filterRow->addWidget(edtFilter, 1);
    filterRow->addWidget(lblFilterCount);
    layout->addLayout(filterRow);
    connect(edtFilter, &QLineEdit::textChanged, this, &TfrmMain::FilterTextChanged);

    FModel = new TUsersModel(this);
    lvwUsers = new TUsersView(central);
    lvwUsers->setObjectName(QStringLiteral("lvwUsers"));
    lvwUsers->setModel(FModel);
    lvwUsers->setRootIsDecorated(false);
    lvwUsers->setItemsExpandable(false);
    lvwUsers->setUniformRowHeights(true); // what makes many rows cheap
    lvwUsers->setAllColumnsShowFocus(true);
    lvwUsers->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwUsers->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwUsers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwUsers->setSortingEnabled(false); // the window sorts by its own rules
    lvwUsers->setTextElideMode(Qt::ElideRight);
    lvwUsers->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* header = lvwUsers->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(true); // the last column reaches the window's edge
    header->setSortIndicatorShown(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(lvwUsers);
    lvwUsers->setFocus(); // the list has the keys at start, not the filter box above it
    setCentralWidget(central);

    connect(header, &QHeaderView::sectionClicked, this, &TfrmMain::lvwUsersColumnClick);
    connect(lvwUsers->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::lvwUsersSelectItem);
    connect(lvwUsers, &QAbstractItemView::doubleClicked, this, &TfrmMain::lvwUsersDblClick);
    connect(lvwUsers, &QWidget::customContextMenuRequested, this, &TfrmMain::lvwUsersContextMenu);

    // Enter anywhere in the window edits the selected user; the key goes no further.
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &TfrmMain::miEditUserClick);
    }
    // Delete in the list deletes the selection (after the question); Shift+F10 opens the
    // popup, as the Menu key does.
    auto* del = new QShortcut(QKeySequence(Qt::Key_Delete), lvwUsers);
    del->setObjectName(QStringLiteral("scDelete"));
    del->setContext(Qt::WidgetWithChildrenShortcut);
    connect(del, &QShortcut::activated, this, &TfrmMain::miDeleteUserClick);
    auto* menu = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), lvwUsers);
    menu->setObjectName(QStringLiteral("scPopup"));
    menu->setContext(Qt::WidgetWithChildrenShortcut);
    connect(menu, &QShortcut::activated, this, [this] {
        const QModelIndex current = lvwUsers->currentIndex();
        const QRect rect = current.isValid() ? lvwUsers->visualRect(current) : QRect();
        lvwUsersContextMenu(rect.isValid() ? rect.center() : QPoint(0, 0));
    });
}

void TfrmMain::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    const int widths[2] = {300, 50};
    for (int i = 0; i < 2; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusBarPanel%1").arg(i));
        panel->setMinimumWidth(widths[i]);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
        bar->addWidget(panel);
        FStatusPanels[i] = panel;
    }
    FResultPanel = new QLabel(bar);
    FResultPanel->setObjectName(QStringLiteral("StatusBarResult"));
    FResultPanel->setContentsMargins(4, 0, 4, 0);
    // A long result is cut at the window's edge rather than squeezing the panels before it
    // (a translated "Modified" is longer); the whole of it shows as a tool tip.
    FResultPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(FResultPanel, 1);
}

void TfrmMain::ShowResult(const QString& text) {
    FResultPanel->setText(text);
    FResultPanel->setToolTip(text);
}

QString TfrmMain::ResultText() const {
    return FResultPanel->text();
}

QString UsersText(int count) {
    return count == 1 ? TfrmMain::tr("1 user")
                      : TfrmMain::tr("%1 users").arg(QLocale().toString(count));
}

QString TfrmMain::StatusPanelText(int panel) const {
    if (panel < 0 || panel > 1) return QString();
    return FStatusPanels[panel]->text();
}

void TfrmMain::FormCreate() {
    FHelpFile =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Quorvane.html"));
    FUserList.reset();
    CreateUserList();
    FSortColumn = 1;
    UpdateSortIndicator();
    Guarded(this, [this] { ProjectProjectListAdd(); });
    UpdateCommands();
    RefreshList();
    Guarded(this, [this] { FormKeeper.Restore(); });
}

void TfrmMain::FormDestroy() {
    if (FDestroyed) return;
    FDestroyed = true;
    Guarded(this, [this] { FormKeeper.Store(); });
    Guarded(this, [this] { Project.Close(); });
    ClearItems();
    FUserList.reset();
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FFrameChecked) return;
    FFrameChecked = true;
    // The window manager's frame is known only once the window is on screen, and sometimes a
    // little later.
    for (int delay : {0, 300, 1000})
        QTimer::singleShot(delay, this, &TfrmMain::KeepFrameOnScreen);
}

void TfrmMain::KeepFrameOnScreen() {
    if (isMaximized() || isFullScreen() || isMinimized() || !isVisible()) return;
    const QScreen* where = screen();
    if (where == nullptr) return;
    const QRect area = where->availableGeometry();
    const QRect frame = frameGeometry();
    if (area.contains(frame)) return;
    // The frame (title bar and borders) counts: the whole window, status bar included, fits.
    const QSize extra = frame.size() - geometry().size();
    const QSize inner = geometry().size().boundedTo(area.size() - extra).expandedTo(minimumSize());
    QRect placed(frame.topLeft(), inner + extra);
    if (placed.right() > area.right()) placed.moveRight(area.right());
    if (placed.bottom() > area.bottom()) placed.moveBottom(area.bottom());
    if (placed.left() < area.left()) placed.moveLeft(area.left());
    if (placed.top() < area.top()) placed.moveTop(area.top());
    resize(inner);
    move(placed.topLeft());
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Unsaved changes of a locked database can only be saved (or dropped) once it is open again.
    if (FLocked && FLockedModified && !UnlockDatabase()) {
        event->ignore();
        return;
    }
    bool mayClose = false;
    if (!Guarded(this, [this, &mayClose] { mayClose = Project.CloseQuery(); })) mayClose = false;
    if (mayClose)
        event->accept();
    else
        event->ignore();
}

// Operations on the list.

TUserProp* TfrmMain::ItemUser(int row) const {
    return FModel->UserAt(row);
}

void TfrmMain::ShowUserInItem(int row, TUserProp* user) {
    FModel->SetUserAt(row, user);
}

int TfrmMain::AddUserRow(TUserProp* user) {
    return FModel->AppendRow(user);
}

void TfrmMain::CreateUserList() {
    if (FModel->rowCount() > 0) FModel->Clear(); // no row may outlive its user
    // The steps refer to the users by position: they go with the list.
    if (FUndoStack != nullptr) FUndoStack->clear();
    FUserList.reset();
    FUserList = std::make_unique<TUserList>();
}

void TfrmMain::InListUpdate(const std::function<void()>& work) {
    const auto end = [this] {
        if (--FUpdateDepth > 0) return;
        lvwUsers->setUpdatesEnabled(true);
        RefreshList();
    };
    if (FUpdateDepth++ == 0) lvwUsers->setUpdatesEnabled(false);
    try {
        work();
    } catch (...) {
        end();
        throw;
    }
    end();
}

void TfrmMain::ClearItems() {
    InListUpdate([this] { FModel->Clear(); });
}

void TfrmMain::FillList() {
    TBusyCursor busy;
    ClearItems();
    InListUpdate([this] {
        std::vector<TUserProp*> rows;
        std::vector<int> places;
        rows.reserve(static_cast<size_t>(FUserList->Count()));
        places.reserve(static_cast<size_t>(FUserList->Count()));
        for (int i = 0; i < FUserList->Count(); ++i) {
            TUserProp& user = FUserList->Users(i);
            if (!RowPasses(user)) continue;
            rows.push_back(&user);
            places.push_back(i);
        }
        FModel->SetRows(std::move(rows));
        FListOrderAt = FModel->Changes();
        FRowPlaces = std::move(places);
        FRowPlacesAt = FModel->Changes();
        FRowPlacesListAt = FUserList->PlaceChanges();
    });
}

void TfrmMain::RefreshList() {
    const bool listOrder = FModel->Changes() == FListOrderAt;
    const bool placed = RowPlacesHold();
    FModel->SortRows(FSortColumn, placed ? &FRowPlaces : nullptr);
    if (placed) FRowPlacesAt = FModel->Changes();
    AutoSizeColumns(); // after the sort: the first rows shown are among those measured
    // Rows FillList took in list order, now sorted, are the filter's whole answer; the steps
    // kept for other rows are gone with them.
    if (listOrder) {
        FFilterSteps.clear();
        FFilterRowsAt = FModel->Changes();
    }
    UpdateStatus();
}

namespace {

// A list of ordinary size is measured whole. A larger one is measured on an even sample of this
// many users, with the users added last and the first rows shown: the widths come out the same
// but for a rare outlier, and a million users open without each one being measured.
constexpr int kMeasuredUsers = 20000;
constexpr int kMeasuredLast = 1000;
constexpr int kMeasuredRows = 256;

// The users the column widths are taken from; rows: the rows in display order.
std::vector<const TUserProp*> MeasuredUsers(const TUserList& list,
                                            const std::vector<TUserProp*>& rows) {
    const int count = list.Count();
    std::vector<const TUserProp*> users;
    if (count <= kMeasuredUsers) {
        users.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            users.push_back(&list.Users(i));
        return users;
    }
    const int step = (count + kMeasuredUsers - 1) / kMeasuredUsers;
    for (int i = 0; i < count - kMeasuredLast; i += step)
        users.push_back(&list.Users(i));
    for (int i = count - kMeasuredLast; i < count; ++i)
        users.push_back(&list.Users(i));
    for (size_t row = 0; row < rows.size() && row < kMeasuredRows; ++row)
        if (rows[row] != nullptr) users.push_back(rows[row]);
    return users;
}

} // namespace

void TfrmMain::AutoSizeColumns() {
    if (Updating()) return;
    const QFontMetrics cells = lvwUsers->fontMetrics();
    const QFontMetrics captions = lvwUsers->header()->fontMetrics();
    // Whether a column is shown at all depends on every user.
    bool anyHashOnly = false, anyGroups = false;
    for (int i = 0, count = FUserList->Count(); i < count && !(anyHashOnly && anyGroups); ++i) {
        const TUserProp& user = FUserList->Users(i);
        anyHashOnly = anyHashOnly || user.HashOnly();
        anyGroups = anyGroups || !user.Groups().empty();
    }
    using TColumn = TUsersModel::TColumn;
    lvwUsers->setColumnHidden(TUsersModel::Index(TColumn::Password), !anyHashOnly);
    lvwUsers->setColumnHidden(TUsersModel::Index(TColumn::Groups), !anyGroups);
    const std::vector<const TUserProp*> users = MeasuredUsers(*FUserList, FModel->Rows());
    for (int index = 0; index < TUsersModel::KColumnCount; ++index) {
        const TColumn column = *TUsersModel::ColumnAt(index);
        TWidthMeter meter(cells);
        switch (column) {
        case TColumn::Status:
            // Measured as "Disabled" for every user, whatever the state.
            if (!users.empty()) meter.AddText(TUsersModel::tr("Disabled"));
            break;
        case TColumn::ExpireDate:
        case TColumn::Created: {
            // Many users share a day: each day's text is measured once.
            std::unordered_set<long long> days;
            bool never = false;
            for (const TUserProp* user : users) {
                if (column == TColumn::ExpireDate && !user->Expire) {
                    never = true;
                    continue;
                }
                const double value =
                    column == TColumn::Created ? user->CreatedDate : user->ExpireDate;
                if (days.insert(static_cast<long long>(std::floor(value))).second)
                    meter.AddText(FModel->DateText(value));
            }
            if (never) meter.AddText(TUsersModel::tr("Never"));
            break;
        }
        case TColumn::Password:
            for (const TUserProp* user : users)
                if (user->HashOnly()) meter.AddText(FModel->CellText(*user, column));
            break;
        case TColumn::Groups:
            for (const TUserProp* user : users)
                if (anyGroups && !user->Groups().empty()) meter.AddText(GroupsText(*user));
            break;
        case TColumn::Login:
        case TColumn::Email:
        case TColumn::FullName:
            for (const TUserProp* user : users)
                meter.AddBytes(column == TColumn::Login   ? user->Login
                               : column == TColumn::Email ? user->Email
                                                          : user->FullName);
            break;
        }
        int width = std::max(meter.Widest(),
                             captions.horizontalAdvance(TUsersModel::ColumnCaption(column))) +
                    20;
        if (column == TColumn::Login) {
            // Room for the mark in front of each login.
            width += lvwUsers->iconSize().isValid() ? lvwUsers->iconSize().width() + 4 : 16 + 4;
            width = std::max(width, 150);
        }
        lvwUsers->header()->resizeSection(index, width);
    }
}

void TfrmMain::UpdateStatus() {
    const int total = FUserList ? FUserList->Count() : 0;
    const int shown = FModel->rowCount();
    // A filtered list says so, and by what: "Filter: smith — 12 of 1,004".
    FStatusPanels[0]->setText(
        !edtFilter->text().isEmpty()
            ? tr("Filter: %1 — %2 of %3")
                  .arg(edtFilter->text(), QLocale().toString(shown), QLocale().toString(total))
        : total > shown
            ? tr("%1 (plus %2 hidden)").arg(UsersText(shown), QLocale().toString(total - shown))
            : UsersText(shown));
    lblFilterCount->setText(shown == total
                                ? UsersText(total)
                                : tr("%1 of %2").arg(QLocale().toString(shown), UsersText(total)));
    static_cast<TUsersView*>(lvwUsers)->SetHint(
        total == 0 ? tr("No users yet — add one, create a series, or import a file") : QString());
}

QString TfrmMain::ListHint() const {
    return static_cast<const TUsersView*>(lvwUsers)->Hint();
}

void TfrmMain::UpdateCommands() {
    if (FLocked) return; // every command waits for the unlock
    const bool selected = lvwUsers->selectionModel()->hasSelection();
    tbnSave->setEnabled(Project.Modified());
    miSave->setEnabled(true);
    tbnDeleteUser->setEnabled(selected);
    miEditUser->setEnabled(selected);
    miDeleteUser->setEnabled(selected);
    miSendCredentials->setEnabled(selected);
    for (QAction* action : {miEnable, miDisable, miNeverExpire, miSetExpirationDate})
        action->setEnabled(selected);
    tbnEnable->setEnabled(selected);
    tbnDisable->setEnabled(selected);
    tbnSetExpirationDate->setEnabled(selected);
    const TUserProp* single = SingleSelection();
    miChangePassword->setEnabled(single != nullptr);
    tbnChangePassword->setEnabled(single != nullptr);
    // Only a password the database knows can be copied.
    miCopyPassword->setEnabled(single != nullptr && !single->HashOnly() &&
                               !single->Password.empty());
    // Only a user known by the stored hash has a password to check against.
    const bool hashOnly = HashOnlySelection() != nullptr;
    miCheckPassword->setVisible(hashOnly);
    miCheckPassword->setEnabled(hashOnly);
    const bool encrypted = FUserList != nullptr && FUserList->Encryption() != nullptr;
    miEncryptDatabase->setEnabled(!encrypted);
    miChangeMasterPassword->setEnabled(encrypted);
    miRemoveEncryption->setEnabled(encrypted);
    miKeepClearPasswords->setChecked(FUserList == nullptr || FUserList->KeepClearPasswords);
}

TUserProp* TfrmMain::SingleSelection() const {
    const QModelIndexList rows = lvwUsers->selectionModel()->selectedRows();
    return rows.size() == 1 ? ItemUser(rows.front().row()) : nullptr;
}

void TfrmMain::UnselectAll() {
    lvwUsers->selectionModel()->clearSelection();
}

std::vector<const TUserProp*> TfrmMain::SelectedUsers() const {
    std::vector<const TUserProp*> users;
    for (int row : SelectedRows())
        users.push_back(ItemUser(row));
    return users;
}

std::vector<int> TfrmMain::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : lvwUsers->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmMain::SelectRow(int row) {
    const QModelIndex index = FModel->index(row, 0);
    if (!index.isValid()) return;
    lvwUsers->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select |
                                                           QItemSelectionModel::Rows);
    lvwUsers->scrollTo(index, QAbstractItemView::EnsureVisible);
}

void TfrmMain::DeleteRows(const std::vector<int>& rows) {
    std::vector<TUserProp*> users = FModel->RemoveRows(rows);
    if (Updating()) return; // rows go, users stay
    // The users leave the list but are kept by the undo step.
    std::vector<int> indices;
    for (const TUserProp* user : users) {
        const int index = FUserList->IndexOf(user);
        if (index >= 0) indices.push_back(index);
    }
    if (indices.empty()) return;
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    TUsersDelta delta;
    delta.AddRemoved(indices, FUserList->Detach(indices));
    const int count = static_cast<int>(indices.size());
    PushUsersChange(count == 1 ? tr("Delete User")
                               : tr("Delete %1 Users").arg(QLocale().toString(count)),
                    std::move(delta));
}

void TfrmMain::PushUsersChange(const QString& name, TUsersDelta delta) {
    if (delta.Empty()) return;
    FUndoStack->push(new TUsersUndoCommand(
        name, std::move(delta), [this]() -> TUserList& { return *FUserList; },
        [this, name](const std::vector<int>& touched, bool undone) {
            UsersChangeApplied(touched);
            ShowResult((undone ? tr("Undone: %1") : tr("Redone: %1")).arg(name));
        }));
    Project.SetModified(true);
}

bool TfrmMain::RunUsersChange(TChangeScope scope, const std::function<void()>& change,
                              const std::function<QString(const TUsersDelta&)>& name) {
    const TListChangeCheck check(*FUserList);
    const TUsersRecorder recorder = scope == TChangeScope::AnyUser ? TUsersRecorder(*FUserList)
                                                                   : TUsersRecorder(*FUserList, {});
    std::exception_ptr failure;
    try {
        change();
    } catch (...) {
        failure = std::current_exception();
    }
    TUsersDelta delta = recorder.Finish();
    const bool changed = !delta.Empty();
    if (changed || check.Changed()) FillList();
    if (changed) {
        const QString text = name(delta);
        PushUsersChange(text, std::move(delta));
    } else if (check.Changed())
        Project.SetModified(true);
    if (failure) std::rethrow_exception(failure);
    return changed;
}

void TfrmMain::UsersChangeApplied(const std::vector<int>& touched) {
    std::unordered_set<const TUserProp*> users;
    for (int index : touched)
        if (index >= 0 && index < FUserList->Count()) users.insert(&FUserList->Users(index));
    FillList();
    SelectUsers(users);
}

void TfrmMain::SelectUsers(const std::unordered_set<const TUserProp*>& users) {
    QItemSelection selection;
    int first = -1;
    const auto& rows = FModel->Rows();
    const int last = FModel->columnCount() - 1;
    for (int row = 0; row <= static_cast<int>(rows.size()); ++row) {
        const bool in = row < static_cast<int>(rows.size()) && users.count(rows[row]) != 0;
        if (in && first < 0) first = row;
        if (!in && first >= 0) {
            selection.select(FModel->index(first, 0), FModel->index(row - 1, last));
            first = -1;
        }
    }
    lvwUsers->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty()) {
        const QModelIndex top = selection.front().topLeft();
        lvwUsers->selectionModel()->setCurrentIndex(top, QItemSelectionModel::NoUpdate);
        lvwUsers->scrollTo(top, QAbstractItemView::EnsureVisible);
    }
}

void TfrmMain::UndoCleanChanged(bool clean) {
    if (FLocked) return; // the steps went with the users; the changes are kept sealed
    // Back at the saved state the document is clean again; away from it, modified.
    if (clean == !Project.Modified()) return;
    Project.SetModified(!clean);
}

void TfrmMain::FilterTextChanged(const QString& text) {
    TUserTextFilter next(TextToBytes(text));
    // The rows shown are the filter's whole answer, in order, as long as nothing else has
    // changed them since; only then may they, and the steps kept on the way to them, stand in
    // for a search of the whole list. A view that depends on the time never keeps steps.
    const bool answered = FModel->Changes() == FFilterRowsAt && !FExpiringWithin;
    if (!answered) FFilterSteps.clear();
    const bool narrower = next.Narrows(FTextFilter);
    std::unordered_set<const TUserProp*> selected;
    for (int row : SelectedRows())
        selected.insert(ItemUser(row));
    // Typing on: the rows shown are searched. Erasing: the rows of the nearest wider filter on
    // the way here are, or are shown again as they were when it is the same filter.
    const std::vector<TUserProp*>* searched = nullptr;
    const std::vector<int> unknown;
    const std::vector<int>* searchedPlaces = &unknown;
    TFoundRows rows;
    bool same = false;
    // Places learnt before users moved in the list are forgotten.
    if (FUserList->PlaceChanges() != FRowPlacesListAt)
        for (TFilterStep& step : FFilterSteps)
            step.Places.clear();
    if (narrower) {
        searched = &FModel->Rows();
        if (RowPlacesHold()) searchedPlaces = &FRowPlaces;
    } else if (answered) {
        while (!FFilterSteps.empty() && !next.Narrows(FFilterSteps.back().Filter))
            FFilterSteps.pop_back();
        if (!FFilterSteps.empty()) {
            same = FFilterSteps.back().Filter.Narrows(next);
            if (same) {
                rows.Rows = std::move(FFilterSteps.back().Rows);
                rows.Places = std::move(FFilterSteps.back().Places);
                FFilterSteps.pop_back();
            } else {
                searched = &FFilterSteps.back().Rows;
                searchedPlaces = &FFilterSteps.back().Places;
            }
        }
    }
    const TUserTextFilter wider = std::exchange(FTextFilter, std::move(next));
    if (searched != nullptr) {
        // The rows left are a part of those searched, already in order: no new sort.
        rows = SearchRows(*FUserList, *searched, *searchedPlaces,
                          answered ? std::optional<int>(FSortColumn) : std::nullopt,
                          [this](const TUserProp& user) { return RowPasses(user); });
    } else if (!same) {
        rows.Rows.reserve(static_cast<size_t>(FUserList->Count()));
        rows.Places.reserve(static_cast<size_t>(FUserList->Count()));
        for (int i = 0; i < FUserList->Count(); ++i) {
            TUserProp& user = FUserList->Users(i);
            if (!RowPasses(user)) continue;
            rows.Rows.push_back(&user);
            rows.Places.push_back(i);
        }
    }
    std::vector<int> placesBefore;
    if (RowPlacesHold()) placesBefore = std::move(FRowPlaces);
    std::vector<TUserProp*> before = FModel->SetRows(std::move(rows.Rows));
    FRowPlaces = std::move(rows.Places);
    if (searched == nullptr && !same) FModel->SortRows(FSortColumn, &FRowPlaces);
    FRowPlacesAt = FModel->Changes();
    FRowPlacesListAt = FUserList->PlaceChanges();
    if (narrower && answered) KeepFilterStep(wider, std::move(before), std::move(placesBefore));
    // Rows from a whole answer are one again; rows searched out of others are only as good as
    // those were.
    if (answered || (searched == nullptr && !same)) FFilterRowsAt = FModel->Changes();
    UpdateStatus();
    // The first match shows at the top; a selected user still among them stays in view.
    lvwUsers->scrollToTop();
    if (!selected.empty()) SelectUsers(selected);
}

bool TfrmMain::RowPlacesHold() const {
    return FRowPlacesAt == FModel->Changes() && FRowPlacesListAt == FUserList->PlaceChanges();
}

void TfrmMain::KeepFilterStep(const TUserTextFilter& filter, std::vector<TUserProp*> rows,
                              std::vector<int> places) {
    FFilterSteps.push_back({filter, std::move(rows), std::move(places)});
    // The steps hold at most a few lists' worth of rows: the widest ones go first, as the
    // narrower ones are what erasing meets first.
    const size_t limit = 4 * static_cast<size_t>(std::max(FUserList->Count(), 1024));
    size_t held = 0;
    for (const TFilterStep& step : FFilterSteps)
        held += step.Rows.size();
    size_t first = 0;
    while (held > limit && first + 1 < FFilterSteps.size())
        held -= FFilterSteps[first++].Rows.size();
    FFilterSteps.erase(FFilterSteps.begin(), FFilterSteps.begin() + static_cast<ptrdiff_t>(first));
}

QString TfrmMain::FilterCountText() const {
    return lblFilterCount->text();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) { // any input restarts the idle time
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        if (FIdleTimer != nullptr && FIdleTimer->isActive()) FIdleTimer->start();
        break;
    default:
        break;
    }
    // Ctrl+Z and Ctrl+E in the filter box are the window's Undo and Export, not the box's own
    // undo and end-of-line: left unaccepted, the override lets the window's shortcut run.
    if (watched == edtFilter && event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeyCombination combination = key->keyCombination();
        if (combination == QKeyCombination(Qt::ControlModifier, Qt::Key_Z) ||
            combination == QKeyCombination(Qt::ControlModifier, Qt::Key_E)) {
            event->ignore();
            return true;
        }
    }
    if (watched == edtFilter && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !edtFilter->text().isEmpty()) {
        edtFilter->clear();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::SortBy(int sortKey) {
    if (sortKey == 0) return;
    FSortColumn = sortKey;
    UpdateSortIndicator();
    const bool placed = RowPlacesHold();
    FModel->SortRows(FSortColumn, placed ? &FRowPlaces : nullptr);
    if (placed) FRowPlacesAt = FModel->Changes();
}

void TfrmMain::UpdateSortIndicator() {
    lvwUsers->header()->setSortIndicator(
        std::abs(FSortColumn) - 1, FSortColumn > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TfrmMain::lvwUsersColumnClick(int column) {
    if (!TUsersModel::ColumnAt(column)) return;
    SortBy(column + 1 == FSortColumn ? -FSortColumn : column + 1);
}

bool TfrmMain::RowPasses(const TUserProp& user) const {
    if (!UserPassesFilter(user, FFilter) || !FTextFilter.Matches(user)) return false;
    if (!FExpiringWithin && FGroupFilter.empty()) return true;
    TUserReportFilter report;
    if (FExpiringWithin) report.ExpiringWithinDays = *FExpiringWithin;
    report.Group = FGroupFilter;
    return report.Matches(user, Now());
}

void TfrmMain::SetExpiringWithin(std::optional<int> days) {
    if (days == FExpiringWithin) return;
    FExpiringWithin = days;
    if (days) {
        FExpiringDays = *days;
        FFilter = TUserFilter::All; // the expiring users are the enabled ones anyway
    }
    CheckViewItem();
    Guarded(this, [this] { FillList(); });
}

void TfrmMain::CheckViewItem() {
    (FExpiringWithin                   ? miExpiringUsers
     : FFilter == TUserFilter::All     ? miAllUsers
     : FFilter == TUserFilter::Enabled ? miEnabledUsers
                                       : miDisabledUsers)
        ->setChecked(true);
}

void TfrmMain::SetGroupFilter(const std::string& group) {
    if (group == FGroupFilter) return;
    FGroupFilter = group;
    Guarded(this, [this] { FillList(); });
}

void TfrmMain::FillGroupMenu() {
    miGroupFilter->clear();
    auto* group = new QActionGroup(miGroupFilter);
    const auto item = [this, group](const QString& caption, const std::string& name) {
        QAction* action = miGroupFilter->addAction(caption);
        action->setCheckable(true);
        action->setChecked(name == FGroupFilter);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, name] { SetGroupFilter(name); });
        return action;
    };
    item(tr("&All Groups"), std::string())->setObjectName(QStringLiteral("miAllGroups"));
    const std::vector<std::string> names =
        FUserList ? AllGroups(*FUserList) : std::vector<std::string>();
    if (!names.empty()) miGroupFilter->addSeparator();
    for (const std::string& name : names) {
        // Menus read "&" as the access key: a group's own is doubled.
        QString caption = BytesToText(name);
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        item(caption, name);
    }
}

void TfrmMain::miExpiringUsersClick() {
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgExpiringWithin"));
    dialog.setWindowTitle(tr("Expiring Users"));
    dialog.setLabelText(tr("Show the enabled users whose access ends within this many days:"));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(0, 36500);
    dialog.setIntValue(FExpiringWithin.value_or(FExpiringDays));
    if (RunModal(dialog) != QDialog::Accepted) {
        CheckViewItem(); // the view stays as it was
        return;
    }
    SetExpiringWithin(dialog.intValue());
}

void TfrmMain::SetFilter(TUserFilter filter) {
    if (filter == FFilter && !FExpiringWithin) return;
    FFilter = filter;
    FExpiringWithin.reset();
    CheckViewItem();
    Guarded(this, [this] { FillList(); });
}

// Document manager events.

void TfrmMain::ProjectNew() {
    ShowResult(QString()); // what the status line said was about another database
    // The rows go inside the update, so the old users are not measured on the way.
    InListUpdate([this] {
        ClearFilterText();
        FGroupFilter.clear(); // another database's groups
        ClearItems();
        CreateUserList();
        FUserList->Reset();
    });
    UpdateCaption();
    UpdateCommands();
}

void TfrmMain::ProjectOpen() {
    try {
        InListUpdate([this] {
            ClearFilterText();
            FGroupFilter.clear(); // another database's groups
            ClearItems();
            CreateUserList();
            ShowResult(QString());
            FLoaded.reset();
            FDiskPath.clear();
            FDiskKey.reset();
            TLoadedFile loaded;
            OpenWithMasterPassword(loaded);
            FLoaded = loaded;
            FDiskPath = FileNameBytes(Project.FileName());
            FDiskKey = FUserList->Encryption();
            FillList();
        });
        UpdateCaption();
    } catch (const std::bad_alloc&) {
        FUserList->Reset(); // give back what the load took before saying so
        // Already in the user's language.
        throw EQuorvaneError(
            Verbatim(OutOfMemoryText(tr("open %1").arg(Project.FileName())).toStdString()));
    }
    // A database opens at its first row, whatever the list showed before.
    lvwUsers->scrollToTop();
    if (FModel->rowCount() > 0)
        lvwUsers->selectionModel()->setCurrentIndex(FModel->index(0, 0),
                                                    QItemSelectionModel::NoUpdate);
    ShowResult(tr("Opened %1: %2")
                   .arg(QFileInfo(Project.FileName()).fileName(), UsersText(FUserList->Count())));
}

void TfrmMain::ProjectSave() {
    try {
        const std::string path = FileNameBytes(Project.FileName());
        // Encrypted, decrypted or given a new master password since the file was written: its
        // state store and kept versions follow the key with this save, or stay as they were.
        std::optional<TSideFilesRekey> sideFiles;
        if (path == FDiskPath && FDiskKey != FUserList->Encryption())
            sideFiles.emplace(path, *FUserList, FDiskKey, FUserList->Encryption());
        FUserList->SaveToFile(path);
        if (sideFiles) sideFiles->Commit();
        FDiskPath = path;
        FDiskKey = FUserList->Encryption();
    } catch (const std::bad_alloc&) {
        throw EQuorvaneError(
            Verbatim(OutOfMemoryText(tr("save %1").arg(Project.FileName())).toStdString()));
    }
    FUndoStack->setClean(); // the history stays; undoing back here is clean again
    UpdateCaption();        // the file may be encrypted, or plain, from now on
    ShowResult(tr("Saved"));
    ShowWriteWarnings(this, FUserList->SaveWarnings());
}

void TfrmMain::ClearFilterText() {
    if (edtFilter->text().isEmpty()) return;
    const QSignalBlocker block(edtFilter);
    edtFilter->clear();
    FTextFilter = TUserTextFilter();
    FFilterSteps.clear();
}

void TfrmMain::ProjectChanged() {
    UpdateCommands();
    FStatusPanels[1]->setText(Project.Modified() ? tr("Modified") : QString());
    // "Saved" is about the file as it was; a change after it makes it untrue.
    if (Project.Modified() && FResultPanel->text() == tr("Saved")) ShowResult(QString());
    setWindowModified(Project.Modified());
    // A change that no step can take back (the export's settings, say): no undo makes the
    // document clean any more.
    if (Project.Modified() && FUndoStack->isClean()) FUndoStack->resetClean();
}

void TfrmMain::ProjectNameChanged() {
    UpdateCaption();
    WatchFile();
}

void TfrmMain::UpdateCaption() {
    QString caption = Project.AppName;
    if (!Project.FileName().isEmpty()) caption += QStringLiteral(" - ") + Project.FileName();
    // A database whose file is encrypted says so after its name, in words (no font lacks
    // them): only once the file is, not when encryption is merely chosen for the next save.
    if (FDiskKey != nullptr && !FDiskPath.empty() && FDiskPath == FileNameBytes(Project.FileName()))
        caption += tr(" (encrypted)");
    // "[*]" is where the window manager's title shows the unsaved-changes mark; it is not
    // part of the caption itself.
    setWindowTitle(caption + QStringLiteral("[*]"));
}

void TfrmMain::OpenWithMasterPassword(TLoadedFile& loaded) {
    // An encrypted database asks for its master password, again after a wrong one; Cancel
    // leaves it unopened and says nothing.
    const QString fileName = Project.FileName();
    QString message;
    bool asked = false;
    // Nothing of the list shows behind the question: it is not repainted while a database is
    // read, so it would show whatever was there before.
    const bool listShown = !lvwUsers->isHidden();
    const auto showList = qScopeGuard([&] { lvwUsers->setVisible(listShown); });
    FUserList->SetCredentialSource([&](bool needsKeyFile) {
        lvwUsers->hide();
        TMasterCredentials credentials;
        if (!AskMasterPassword(this, fileName, needsKeyFile, message, credentials))
            throw ECancelled();
        asked = true;
        QApplication::setOverrideCursor(Qt::WaitCursor); // one try takes about a second
        return credentials;
    });
    for (;;) {
        try {
            OpenDatabase(*FUserList, FileNameBytes(fileName), &loaded);
            if (asked) QApplication::restoreOverrideCursor();
            break;
        } catch (const EWrongMasterPassword& error) {
            if (asked) QApplication::restoreOverrideCursor();
            message = MessageText(error.Message());
            asked = false;
        } catch (...) {
            if (asked) QApplication::restoreOverrideCursor();
            throw;
        }
    }
    FUserList->SetCredentialSource({});
    UpdateCaption();
}

namespace {

// Runs a key derivation (about a second) under the wait cursor.
template <typename TWork> auto Slowly(TWork&& work) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct TRestore {
        ~TRestore() { QApplication::restoreOverrideCursor(); }
    } restore;
    return work();
}

} // namespace

bool TfrmMain::ConfirmMasterPassword() {
    QString message;
    for (;;) {
        TMasterCredentials credentials;
        if (!AskMasterPassword(this, Project.FileName(), FUserList->Encryption()->UsesKeyFile(),
                               message, credentials))
            return false;
        if (Slowly([&] { return FUserList->Encryption()->Matches(credentials); })) return true;
        message = MessageText(Msg(texts::WrongMasterPassword));
    }
}

void TfrmMain::SetEncryption(std::shared_ptr<const TDatabaseKey> key, const QString& result) {
    FUserList->SetEncryption(std::move(key));
    Project.SetModified(true); // the file changes form with the next save
    UpdateCaption();
    UpdateCommands();
    ShowResult(result);
}

void TfrmMain::miEncryptDatabaseClick() {
    Guarded(this, [this] {
        TMasterCredentials credentials;
        if (!AskNewMasterPassword(this, tr("Encrypt Database"), credentials)) return;
        if (!credentials.KeyFile.empty())
            RequireUsableKeyFile(credentials.KeyFile, FileNameBytes(Project.FileName()),
                                 *FUserList);
        SetEncryption(Slowly([&] { return TDatabaseKey::Create(credentials); }),
                      tr("Encrypted: the database is saved encrypted from now on"));
    });
}

void TfrmMain::miChangeMasterPasswordClick() {
    Guarded(this, [this] {
        if (FUserList->Encryption() == nullptr || !ConfirmMasterPassword()) return;
        TMasterCredentials credentials;
        if (!AskNewMasterPassword(this, tr("Change Master Password"), credentials)) return;
        if (!credentials.KeyFile.empty())
            RequireUsableKeyFile(credentials.KeyFile, FileNameBytes(Project.FileName()),
                                 *FUserList);
        SetEncryption(Slowly([&] { return TDatabaseKey::Create(credentials); }),
                      tr("The master password is changed with the next save"));
    });
}

void TfrmMain::miRemoveEncryptionClick() {
    Guarded(this, [this] {
        if (FUserList->Encryption() == nullptr || !ConfirmMasterPassword()) return;
        SetEncryption(nullptr, tr("Encryption removed: the database is saved as plain text "
                                  "from now on"));
    });
}

void TfrmMain::WatchFile() {
    if (FWatcher == nullptr) return;
    if (!FWatcher->files().isEmpty()) FWatcher->removePaths(FWatcher->files());
    if (!FWatcher->directories().isEmpty()) FWatcher->removePaths(FWatcher->directories());
    FDiskCheckTimer->stop();
    const QString fileName = Project.FileName();
    if (fileName.isEmpty()) return;
    if (QFile::exists(fileName)) FWatcher->addPath(fileName);
    const QString folder = QFileInfo(fileName).absolutePath();
    if (QFileInfo(folder).isDir()) FWatcher->addPath(folder);
}

void TfrmMain::CheckFileOnDisk() {
    if (FLocked) return; // looked at again after the unlock
    // A question never comes up in the middle of another dialog or a command.
    if (QApplication::activeModalWidget() != nullptr ||
        QApplication::activePopupWidget() != nullptr) {
        FDiskCheckTimer->start();
        return;
    }
    // A file replaced by a rename is a new file to the watcher.
    const QString fileName = Project.FileName();
    if (!fileName.isEmpty() && QFile::exists(fileName) && !FWatcher->files().contains(fileName))
        FWatcher->addPath(fileName);
    Guarded(this, [this] { Project.CheckDiskChange(); });
}

void TfrmMain::ProjectProjectListAdd() {
    Project.BuildReopenMenu(*FReopenMenu);
}

// List events.

void TfrmMain::lvwUsersSelectItem() {
    UpdateCommands();
}

void TfrmMain::lvwUsersDblClick() {
    miEditUserClick();
}

void TfrmMain::lvwUsersContextMenu(const QPoint& pos) {
    if (!lvwUsers->selectionModel()->hasSelection()) return;
    PopupMenu->popup(lvwUsers->viewport()->mapToGlobal(pos));
}

// Commands.

void TfrmMain::miNewClick() {
    Guarded(this, [this] { Project.New(); });
}

void TfrmMain::miOpenClick() {
    Guarded(this, [this] { Project.Open(); });
}

void TfrmMain::miSaveClick() {
    Guarded(this, [this] { Project.Save(); });
}

void TfrmMain::miSaveAsClick() {
    Guarded(this, [this] { Project.SaveAs(); });
}

void TfrmMain::miExitClick() {
    close();
}

void TfrmMain::miAllUsersClick() {
    SetFilter(TUserFilter::All);
}

void TfrmMain::miEnabledUsersClick() {
    SetFilter(TUserFilter::Enabled);
}

void TfrmMain::miDisabledUsersClick() {
    SetFilter(TUserFilter::Disabled);
}

// Add, Edit, Delete, Search, Select All, the popup commands, Options and Help Topics are in
// MainCommands.cpp.

} // namespace quorvane
