#pragma once
// The document manager: the name of the current database file, whether it has unsaved
// changes, the New / Open / Reopen / Save / Save As / close dialogues with the user and the
// list of recently used files in the settings store. It holds no document data; its owner
// empties, loads and saves the data in the events it raises.

#include "persist/RegistryLib.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace quorvane {

class TProject;

using TNotifyEvent = std::function<void(TProject* sender)>;

enum class TSaveAnswer { Yes, No, Cancel };

// The answer to "the file changed on disk since it was read; save over it?".
enum class TChangedFileAnswer { Overwrite, SaveAs, Cancel };

// What a database file on disk was when the program last read or wrote it: whether it
// existed, its size and modification time, and the strong stamp of its bytes.
struct TDiskStamp {
    bool Exists = false;
    qint64 Size = 0;
    qint64 ModifiedMs = 0;
    uint64_t Stamp = 0;

    // Reads the file whole; a file that cannot be read gives Exists false.
    static TDiskStamp Of(const QString& fileName);
    // True when the file on disk still holds what this stamp describes. Size and modification
    // time decide when they are unchanged; otherwise the bytes are read and their stamp
    // compared, so a file rewritten with the same content still counts as unchanged. A file
    // that has gone counts as unchanged (writing it loses nothing).
    bool Matches(const QString& fileName) const;
};

// What a file dialog is shown with. Filter is in QFileDialog's form ("Users Databases (*.udx)
// ;;All Files (*)"); DefaultExt has no dot.
struct TFileDialogOptions {
    QString Title; // empty: the platform's default title
    QString Filter;
    QString DefaultExt;
    QString InitialFolder;
    QString SuggestedName;         // save dialog: the file name it proposes ("" none)
    bool ConfirmOverwrite = false; // save dialog: ask before replacing an existing file
};

// The questions and file choices of the document manager. The desktop program answers them
// with message boxes and file dialogs, tests with scripted answers.
class IProjectPrompts {
public:
    virtual ~IProjectPrompts() = default;
    // A modal "Confirm" box with Yes, No and Cancel; closing the box answers Cancel.
    virtual TSaveAnswer AskSaveChanges(const QString& question) = 0;
    // False when the user cancels; otherwise fileName is the chosen path.
    virtual bool ChooseFileToOpen(const TFileDialogOptions& options, QString& fileName) = 0;
    virtual bool ChooseFileToSave(const TFileDialogOptions& options, QString& fileName) = 0;
    // The file changed on disk since it was read or last saved: overwrite it, save under
    // another name, or cancel the save. Closing the box answers Cancel.
    virtual TChangedFileAnswer AskSaveOverChangedFile(const QString& question) = 0;
    // The open file changed on disk: true reloads it.
    virtual bool AskReloadChangedFile(const QString& question, bool losesChanges) = 0;
    // Lets the events already queued run (a menu closes and the window repaints before a
    // question is shown).
    virtual void ProcessPendingEvents() {}
};

// The "Reopen" menu item as the document manager fills it.
class IReopenMenu {
public:
    virtual ~IReopenMenu() = default;
    // Removes and destroys every entry below the item.
    virtual void ClearEntries() = 0;
    // Appends an entry; choosing it must call TProject::ReopenItemClick(tag).
    virtual void AddEntry(const QString& caption, const QString& name, int tag) = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

class TProject {
public:
    explicit TProject(IProjectPrompts* prompts = nullptr);
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    // Configuration.
    QString AppName;
    TRegistryAddress RegistryAddress; // the recent files live in its sub-key "Projects"
    QString DefaultExt = QStringLiteral("dat");
    QString FileFilter = QStringLiteral("All Files|*.*"); // description|pattern|...
    QString OpenTitle;
    QString SaveTitle;
    QString SaveAlert = QStringLiteral("The data have been changed. Save?");
    int MaxListSize = 5;
    // The name Save As proposes for an untitled document (a named one proposes its own name).
    QString UntitledName;

    // Events, raised only when assigned.
    TNotifyEvent OnNew;            // empty the data
    TNotifyEvent OnOpen;           // load the data from FileName
    TNotifyEvent OnSave;           // write the data to FileName
    TNotifyEvent OnClose;          // the document has just been closed
    TNotifyEvent OnChanged;        // Modified has been set (also to the same value)
    TNotifyEvent OnNameChanged;    // FileName has been set
    TNotifyEvent OnProjectListAdd; // the stored recent-files list has been rewritten
    // When set, asked right after OnOpen for the stamp of what that load read (the very bytes it
    // parsed, with the size and time of the file it read them from), so the file is not read a
    // second time to stamp it; none from it means the load read nothing. When not set, the file
    // is stamped before OnOpen. Either way a change made while the load runs counts as a change.
    std::function<std::optional<TDiskStamp>()> LoadedStamp;

    IProjectPrompts* Prompts() const { return FPrompts; }
    void SetPrompts(IProjectPrompts* prompts) { FPrompts = prompts; }

    const QString& FileName() const { return FFileName; }
    bool Modified() const { return FModified; }
    // The recent files as last loaded for the reopen menu.
    const QStringList& ProjectList() const { return FProjectList; }

    void SetModified(bool value);
    void SetFileName(const QString& name);

    // Each of these may raise what an event handler raised; the remaining steps are skipped.
    // An open whose OnOpen fails leaves an untitled, clean document (OnNew is raised to empty
    // the data), so that no later Save writes over a file that could not be read.
    void New();
    void Open();
    // Saves to FileName, or behaves as SaveAs when there is none. A file that cannot be
    // written fails with "The file is read-only"; a file changed on disk since it was read or
    // last saved is written over only when the user says so (or saved under another name).
    // When the handler of OnSave fails, the document is marked modified again and the failure
    // passes on.
    void Save();
    void SaveAs();
    // True when the current document may be discarded: it is not modified, the user answered
    // No, or answered Yes and the document was really saved.
    bool CloseQuery();
    void Close();

    void BuildReopenMenu(IReopenMenu& item);
    // The click of the reopen entry with this tag (its position in ProjectList).
    void ReopenItemClick(int tag);
    // Opens the named file as a reopen entry would (after the save question): a file handed
    // to the program by the desktop or on its command line.
    void OpenFile(const QString& fileName);

    // What the file was when it was last read or written ("" while untitled).
    const TDiskStamp& DiskStamp() const { return FDiskStamp; }
    // True when the open file on disk is no longer what was read or last saved.
    bool ChangedOnDisk() const;
    // Called when the open file may have changed on disk: if it did (and the user has not
    // already declined this version), offers to reload it. A reload that fails leaves an
    // untitled, clean document, as a failed open does.
    void CheckDiskChange();

    void AddToProjectList(const QString& name);
    void LoadProjectList(QStringList& list);
    void ClearProjectList();

private:
    void Raise(const TNotifyEvent& event);
    void OpenStep();
    void SaveStep(bool nameChosenInDialog);
    IProjectPrompts& RequirePrompts() const;
    TFileDialogOptions DialogOptions(const QString& title) const;

    IProjectPrompts* FPrompts;
    QString FFileName;
    bool FModified = false;
    QStringList FProjectList;
    TDiskStamp FDiskStamp;
    TDiskStamp FDeclinedReload; // the version on disk the user chose not to reload
};

// The initial folder of the open and save dialogs, shared by the process. The desktop program
// sets it to GetPersonalFolder() at start; it then follows the last file opened, reopened or
// saved under a new name.
QString& LastFolder();

// Everything before the last "/"; the separator stays when it is the root or follows another
// "/" ("/db.udx" gives "/", "/data/db.udx" gives "/data"); a name without one gives "".
QString FolderOfFile(const QString& fileName);

// "Users Databases|*.udx|All Files|*.*" to QFileDialog's "Users Databases (*.udx);;All Files (*)".
// Patterns separated by ";" become blank separated; "*.*" matches every file.
QString ToQtFileFilter(const QString& filter);

// The name with "." + ext appended when its last component has no extension (and ext is not
// empty); otherwise unchanged.
QString WithDefaultExt(const QString& fileName, const QString& ext);

} // namespace quorvane
