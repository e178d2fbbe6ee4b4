#pragma once
// The program's main window: the open users database in a sortable, filterable list, the
// status line, the menus, tool bar and popup menu, and the wiring of the document manager to
// loading and saving the database.

#include "persist/PrjLib.h"
#include "ui/FormKeeper.h"
#include "ui/UiPrompts.h"
#include "ui/UsersUndo.h"
#include "userdb/UserCommands.h"
#include "userdb/UserView.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

class QAction;
class QActionGroup;
class QDragEnterEvent;
class QDropEvent;
class QFileSystemWatcher;
class QTimer;
class QLabel;
class QLineEdit;
class QUndoStack;
class QMenu;
class QToolBar;
class QToolButton;
class QTreeView;

namespace quorvane {

class TDatabaseKey;
class TUserList;
class TUserProp;
class TUsersModel;
class TFindDialog;
class THelpWindow;

// "1 user", "1,004 users" (the locale's digit grouping).
QString UsersText(int count);

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Components owned by the window for its whole life.
    TProject Project;
    TFormKeeper FormKeeper;

    // The open database; exactly one exists while the window exists.
    TUserList& UserList() const { return *FUserList; }
    // Sort key: 1-based column, negative for descending. Never 0.
    int SortColumn() const { return FSortColumn; }
    bool Updating() const { return FUpdateDepth > 0; }
    TUserFilter Filter() const { return FFilter; }
    // The view's further conditions: users whose expiry falls within so many days (the
    // "Expiring within" item of the view), members of one group (empty: any user).
    std::optional<int> ExpiringWithinDays() const { return FExpiringWithin; }
    const std::string& GroupFilter() const { return FGroupFilter; }
    void SetExpiringWithin(std::optional<int> days);
    void SetGroupFilter(const std::string& group);
    int FSearchIndex = 0; // the row at which the next find continues

    QTreeView* List() const { return lvwUsers; }
    TUsersModel* Model() const { return FModel; }
    QMenu* Popup() const { return PopupMenu; }
    QString StatusPanelText(int panel) const;
    // A short result of the last command in the status line ("57 users imported from x.csv").
    void ShowResult(const QString& text);
    QString ResultText() const;
    // The hint the empty list shows ("" while there are users).
    QString ListHint() const;
    // The HTML help page beside the executable, and the window that shows it (once opened).
    const QString& HelpFile() const { return FHelpFile; }
    THelpWindow* HelpWindow() const { return FHelpWindow; }

    // The user a row refers to (nullptr outside the rows).
    TUserProp* ItemUser(int row) const;
    // Makes the row refer to the user and shows the user's texts in it.
    void ShowUserInItem(int row, TUserProp* user);
    // Appends a row for the user (whatever the filter); returns its position.
    int AddUserRow(TUserProp* user);
    // Destroys the database with all its users and creates an empty one. Any rows are dropped.
    void CreateUserList();
    // Runs `work` with the list's painting held back; nested calls are allowed, and the
    // outermost one refreshes the list when it ends, also when `work` fails.
    void InListUpdate(const std::function<void()>& work);
    void ClearItems();
    // Rebuilds all rows from the database under the view filter.
    void FillList();
    // Column widths, sort, status line.
    void RefreshList();
    void AutoSizeColumns();
    void UpdateStatus();
    void UpdateCommands();
    void UnselectAll();
    // Positions of the selected rows, in display order.
    std::vector<int> SelectedRows() const;
    // The user of the one selected row when it is known only by the stored hash, else nullptr.
    TUserProp* HashOnlySelection() const;
    // Selects one row, gives it the focus and scrolls it into view.
    void SelectRow(int row);
    // Removes rows. Outside an update each removed row's user is destroyed with it.
    void DeleteRows(const std::vector<int>& rows);
    // Sorts the rows by a new key (the header's click rule is in lvwUsersColumnClick).
    void SortBy(int sortKey);

    // Undo and Redo. Every change to the users is one step; the document is clean again when
    // the steps are taken back to where it was last saved or opened.
    QUndoStack* UndoStack() const { return FUndoStack; }
    // Which users a change may touch: AppendsOnly when it only appends users (cheap); AnyUser
    // when it may also change or remove existing users (every user is copied first).
    enum class TChangeScope { AppendsOnly, AnyUser };
    // Runs a bulk change of the users (an import, a generated series, a password-file import)
    // as one undoable step: when the change did anything the rows are rebuilt, the step is
    // pushed under the name `name` gives for it ("Import 57 Users") and the document is marked
    // modified. A failure inside the change still leaves its partial effect undoable, then
    // passes on. Returns true when users changed.
    bool RunUsersChange(TChangeScope scope, const std::function<void()>& change,
                        const std::function<QString(const TUsersDelta&)>& name);
    // Pushes a change already made and recorded (see TUsersRecorder) as one step.
    void PushUsersChange(const QString& name, TUsersDelta delta);

    // The quick filter above the list and its count ("12 of 1,004 users").
    QLineEdit* FilterBox() const { return edtFilter; }
    QString FilterCountText() const;

public slots:
    // Commands of the main menu, tool bar and popup menu.
    void miNewClick();
    void miOpenClick();
    void miSaveClick();
    void miSaveAsClick();
    void miEncryptDatabaseClick();
    void miChangeMasterPasswordClick();
    void miRemoveEncryptionClick();
    // Switches keeping the users' clear passwords on or off (off asks first: it cannot be undone).
    void miKeepClearPasswordsClick();
    void miImportClick();
    void miExitClick();
    void miAddUserClick();
    void miEditUserClick();
    // The groups and expiry of the users of several selected rows, at once (Undo takes it back).
    void EditSeveralUsers(const std::vector<int>& rows);
    void miDeleteUserClick();
    void miSearchClick();
    void miSelectAllClick();
    void miAllUsersClick();
    void miEnabledUsersClick();
    void miDisabledUsersClick();
    void miExpiringUsersClick();
    void miSendCredentialsClick();
    void miCreateUsersSeriesClick();
    void miExportClick();
    void miRestoreClick();
    void miOptionsClick();
    void miHelpTopicsClick();
    void miAboutClick();
    void miEnableClick(); // Enable, Disable, Never Expire, Set Expiration Date by the item's tag
    void miSendMailClick();
    void miImportHtpasswdClick(); // Tools -> Import Password File
    void miCheckPasswordClick();  // popup, for a user known only by the stored hash
    void miChangePasswordClick(); // a new password for the one selected user
    void miCopyPasswordClick();   // the selected user's password to the clipboard, for a while
    void miFocusFilterClick();    // the keyboard focus into the filter box
    // A click on the header of a 0-based column: the same column flips the direction, another
    // column sorts ascending.
    void lvwUsersColumnClick(int column);
    // A find request of the find dialog: the next matching row from FSearchIndex on.
    void fdgUserFind();

public:
    // Opens a database, or imports a text or password file, as a file dropped on the window.
    void OpenDroppedFile(const QString& fileName);
    // The import commands without their file dialogs.
    void ImportTextFile(const QString& fileName);
    void ImportPasswordFile(const QString& fileName);
    // How long a copied password stays on the clipboard (ms).
    int ClipboardClearMs = 30000;

    // The idle lock of an encrypted database (Options: "Lock after idle time"). Locked, the list
    // is hidden, the users and settings are cleared from memory and the commands are disabled;
    // what was open, unsaved changes included, is kept sealed with the database's key until its
    // master password is given again ("btnUnlock"). A lock that comes due while a dialog is open
    // waits until it is closed.
    bool Locked() const { return FLocked; }
    void LockDatabase();
    // Asks for the master password (again after a wrong one); false when cancelled.
    bool UnlockDatabase();
    // Reads the stored idle time again and restarts the count.
    void ApplyIdleLockOption();
    // How long a minute of the idle time is (ms); tests make it short.
    int IdleMinuteMs = 60000;

    // The find dialog (not modal), created on first use; it lives with the window.
    TFindDialog* FindDialog();
    // Looks at the open file on disk now (the watcher does so shortly after a change): when
    // another program changed it, offers to reload it. Waits while a modal dialog is open.
    void CheckFileOnDisk();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class TReopenMenu;

    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateList();
    void CreateStatusBar();
    void CreateLockPanel();
    void IdleTimeout();
    QAction* NewAction(const char* name, const char* caption, void (TfrmMain::*handler)());
    void FormCreate();
    void FormDestroy();
    void SetFilter(TUserFilter filter);
    void UpdateSortIndicator();
    // Enable, Disable, Never Expire or Set Expiration Date on the selected rows.
    void RunStateCommand(TStateCommand command);
    // After an undo or redo: the rows again, with the touched users selected.
    void UsersChangeApplied(const std::vector<int>& touched);
    void UndoCleanChanged(bool clean);
    void FilterTextChanged(const QString& text);
    // Whether FRowPlaces are the places of the rows shown.
    bool RowPlacesHold() const;
    // Keeps the rows a wider filter showed, for erasing back to it.
    void KeepFilterStep(const TUserTextFilter& filter, std::vector<TUserProp*> rows,
                        std::vector<int> places);
    void ClearFilterText();
    // Shrinks and moves the window so that its frame lies on the screen's free area.
    void KeepFrameOnScreen();
    // Selects the rows of these users (others are unselected).
    void SelectUsers(const std::unordered_set<const TUserProp*>& users);
    bool RowPasses(const TUserProp& user) const;
    // Checks the view item of the filter in force.
    void CheckViewItem();
    // Fills the view's group menu with the groups of the database.
    void FillGroupMenu();
    // The users of the selected rows, in display order.
    std::vector<const TUserProp*> SelectedUsers() const;

    void ProjectNew();
    void ProjectOpen();
    void ProjectSave();
    void ProjectChanged();
    void ProjectNameChanged();
    // The window's title: the program, the file, a lock when it is encrypted, the change mark.
    void UpdateCaption();
    // Loads the document's file, asking for the master password of an encrypted one (again
    // after a wrong one). Raises ECancelled when the user gives up.
    void OpenWithMasterPassword(TLoadedFile& loaded);
    // Asks for the master password of the open encrypted database until it is the right one;
    // false when cancelled.
    bool ConfirmMasterPassword();
    // The database is saved with this key (none: plain) from the next save on.
    void SetEncryption(std::shared_ptr<const TDatabaseKey> key, const QString& result);
    void ProjectProjectListAdd();
    void lvwUsersSelectItem();
    void lvwUsersDblClick();
    void lvwUsersContextMenu(const QPoint& pos);
    // Points the watcher at the open file and its folder (a replacing rename is seen there).
    void WatchFile();

    TQtProjectPrompts FPrompts;
    std::unique_ptr<TUserList> FUserList;
    std::optional<TLoadedFile> FLoaded; // what the last open read
    // The file the database was last read from or saved to, and the key it is sealed with
    // there (none: plain): a save under another key takes its side files over in the same step.
    std::string FDiskPath;
    std::shared_ptr<const TDatabaseKey> FDiskKey;
    int FSortColumn = 1;
    int FUpdateDepth = 0;
    TUserFilter FFilter = TUserFilter::All;
    std::optional<int> FExpiringWithin;
    int FExpiringDays = 14; // what the "Expiring within" question offers
    std::string FGroupFilter;
    TUserTextFilter FTextFilter;
    // The wider filters on the way to the one in force, each with the rows it showed (and their
    // users' places in the list, where known), widest first. They stand while the rows are the
    // filter's whole answer: the rows' change count then is FFilterRowsAt.
    struct TFilterStep {
        TUserTextFilter Filter;
        std::vector<TUserProp*> Rows;
        std::vector<int> Places;
    };
    std::vector<TFilterStep> FFilterSteps;
    uint64_t FFilterRowsAt = ~uint64_t{0};
    uint64_t FListOrderAt = ~uint64_t{0}; // the change count when FillList set its rows
    // Each row's user's place in the list, which spares a search of many rows visiting every
    // user to learn it. They belong to the rows of change count FRowPlacesAt, learnt while the
    // list's count of place changes was FRowPlacesListAt.
    std::vector<int> FRowPlaces;
    uint64_t FRowPlacesAt = ~uint64_t{0};
    uint64_t FRowPlacesListAt = ~uint64_t{0};
    QUndoStack* FUndoStack = nullptr;
    QLineEdit* edtFilter = nullptr;
    QLabel* lblFilterCount = nullptr;
    QString FHelpFile;
    bool FDestroyed = false;
    bool FFrameChecked = false;

    TUsersModel* FModel = nullptr;
    QTreeView* lvwUsers = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QMenu* PopupMenu = nullptr;
    QMenu* miReopen = nullptr;
    std::unique_ptr<TReopenMenu> FReopenMenu;
    QLabel* FStatusPanels[2] = {nullptr, nullptr};
    QLabel* FResultPanel = nullptr;
    TFindDialog* fdgUser = nullptr;
    THelpWindow* FHelpWindow = nullptr;
    QActionGroup* FViewGroup = nullptr;
    QFileSystemWatcher* FWatcher = nullptr;
    QTimer* FDiskCheckTimer = nullptr;

    QAction* miNew = nullptr;
    QAction* miOpen = nullptr;
    QAction* miSave = nullptr;
    QAction* miSaveAs = nullptr;
    QAction* miEncryptDatabase = nullptr;
    QAction* miChangeMasterPassword = nullptr;
    QAction* miRemoveEncryption = nullptr;
    QAction* miKeepClearPasswords = nullptr;
    QAction* miImport = nullptr;
    QAction* miRestore = nullptr;
    QAction* miExit = nullptr;
    QAction* miUndo = nullptr;
    QAction* miRedo = nullptr;
    QAction* miAddUser = nullptr;
    QAction* miEditUser = nullptr;
    QAction* miDeleteUser = nullptr;
    QAction* miSearch = nullptr;
    QAction* miSelectAll = nullptr;
    QAction* miAllUsers = nullptr;
    QAction* miEnabledUsers = nullptr;
    QAction* miDisabledUsers = nullptr;
    QAction* miExpiringUsers = nullptr;
    QMenu* miGroupFilter = nullptr;
    QAction* miSendCredentials = nullptr;
    QAction* miCreateUsersSeries = nullptr;
    QAction* miExport = nullptr;
    QAction* miOptions = nullptr;
    QAction* miHelpTopics = nullptr;
    QAction* miAbout = nullptr;
    QAction* miEnable = nullptr;
    QAction* miDisable = nullptr;
    QAction* miNeverExpire = nullptr;
    QAction* miSetExpirationDate = nullptr;
    QAction* miSendMail = nullptr;
    QAction* miImportHtpasswd = nullptr;
    QAction* miCheckPassword = nullptr;
    QAction* miChangePassword = nullptr;
    QAction* miCopyPassword = nullptr;
    QAction* miFocusFilter = nullptr;

    QToolButton* tbnNew = nullptr;
    QToolButton* tbnOpen = nullptr;
    QToolButton* tbnSave = nullptr;
    QToolButton* tbnAddUser = nullptr;
    QToolButton* tbnDeleteUser = nullptr;
    QToolButton* tbnExport = nullptr;
    QToolButton* tbnEnable = nullptr;
    QToolButton* tbnDisable = nullptr;
    QToolButton* tbnSetExpirationDate = nullptr;
    QToolButton* tbnChangePassword = nullptr;

    // The password this window put on the clipboard, until it is cleared again.
    QString FCopiedPassword;
    QTimer* FClipboardTimer = nullptr;

    QTimer* FIdleTimer = nullptr;
    QWidget* pnlLocked = nullptr;
    bool FLocked = false;
    bool FLockedModified = false;
    std::string FLockedText; // the database's text, sealed with its key, while locked
    std::vector<std::pair<QAction*, bool>> FLockedActions; // and whether each was enabled
    void ClearCopiedPassword();
    // The user of the one selected row, else nullptr.
    TUserProp* SingleSelection() const;
};

} // namespace quorvane
