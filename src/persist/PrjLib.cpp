#include "persist/PrjLib.h"

#include <stdexcept>

#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/DataLib.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace quorvane {

namespace {

const QString kProjectsKey = QStringLiteral("Projects");

bool IsListValue(const QString& name) {
    return name.startsWith(QLatin1String("File"));
}

bool FileExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString ListValueName(int position) {
    return QStringLiteral("File_") + QStringLiteral("%1").arg(position, 3, 10, QLatin1Char('0'));
}

void ReadList(TRegistry& reg, QStringList& list) {
    list.clear();
    for (const QString& name : reg.GetValueNames()) {
        if (!IsListValue(name)) continue;
        const QString path = reg.ReadString(name);
        if (FileExists(path)) list.append(path);
    }
}

void ClearList(TRegistry& reg) {
    for (const QString& name : reg.GetValueNames())
        if (IsListValue(name)) reg.DeleteValue(name);
}

QString FileNameText(const QString& fileName) {
    return QStringLiteral("\"") + fileName + QStringLiteral("\"");
}

} // namespace

TDiskStamp TDiskStamp::Of(const QString& fileName) {
    TDiskStamp stamp;
    if (fileName.isEmpty()) return stamp;
    QFile file(fileName);
    const QFileInfo info(fileName);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) return stamp;
    const QByteArray bytes = file.readAll();
    stamp.Exists = true;
    stamp.Size = info.size();
    stamp.ModifiedMs = info.lastModified().toMSecsSinceEpoch();
    stamp.Stamp =
        StreamStamp(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    return stamp;
}

bool TDiskStamp::Matches(const QString& fileName) const {
    const QFileInfo info(fileName);
    if (!info.exists()) return true; // gone: nothing on disk to lose
    if (!Exists) return false;       // there is a file where none was read
    if (info.size() == Size && info.lastModified().toMSecsSinceEpoch() == ModifiedMs) return true;
    const TDiskStamp now = Of(fileName);
    return now.Exists && now.Size == Size && now.Stamp == Stamp;
}

QString& LastFolder() {
    static QString folder;
    return folder;
}

QString FolderOfFile(const QString& fileName) {
    const qsizetype at = fileName.lastIndexOf(QLatin1Char('/'));
    if (at < 0) return QString();
    // The root, and a separator doubled before the name, keep their separator.
    if (at == 0 || fileName[at - 1] == QLatin1Char('/')) return fileName.left(at + 1);
    return fileName.left(at);
}

QString ToQtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& raw : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = raw.trimmed();
            if (pattern.isEmpty()) continue;
            patterns.append(pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
        }
        if (patterns.isEmpty()) patterns.append(QStringLiteral("*"));
        entries.append(parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

QString WithDefaultExt(const QString& fileName, const QString& ext) {
    if (ext.isEmpty() || fileName.isEmpty() || fileName.endsWith(QLatin1Char('/'))) return fileName;
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    // A leading dot (".profile") is a hidden name, not an extension.
    if (dot > slash + 1) return fileName;
    return fileName + QLatin1Char('.') + ext;
}

TProject::TProject(IProjectPrompts* prompts) : FPrompts(prompts) {}

void TProject::Raise(const TNotifyEvent& event) {
    if (event) event(this);
}

IProjectPrompts& TProject::RequirePrompts() const {
    if (!FPrompts) throw std::logic_error("The document manager has no way to ask the user");
    return *FPrompts;
}

TFileDialogOptions TProject::DialogOptions(const QString& title) const {
    TFileDialogOptions options;
    options.Title = title;
    options.Filter = ToQtFileFilter(FileFilter);
    options.DefaultExt = DefaultExt;
    options.InitialFolder = LastFolder();
    return options;
}

void TProject::SetModified(bool value) {
    FModified = value;
    Raise(OnChanged);
}

void TProject::SetFileName(const QString& name) {
    FFileName = name;
    Raise(OnNameChanged);
}

bool TProject::CloseQuery() {
    if (!FModified) return true;
    switch (RequirePrompts().AskSaveChanges(SaveAlert)) {
    case TSaveAnswer::Yes:
        Save();
        // A cancelled save dialog leaves the changes unsaved: the document must stay.
        return !FModified;
    case TSaveAnswer::No:
        return true;
    case TSaveAnswer::Cancel:
        break;
    }
    return false;
}

void TProject::Save() {
    if (FFileName.isEmpty()) {
        SaveAs();
        return;
    }
    SaveStep(false);
}

void TProject::SaveStep(bool nameChosenInDialog) {
    // A name the user picked in the save dialog was confirmed there; otherwise the file must
    // still be the one that was read or last written, and writable.
    if (!nameChosenInDialog) {
        CheckNotReadOnly(QFile::encodeName(FFileName).toStdString());
        if (ChangedOnDisk()) {
            const QString question =
                QCoreApplication::translate(
                    "TProject", "The file %1 has been changed by another program since it was "
                                "opened or saved. Saving now replaces those changes.\n\n"
                                "Overwrite the file, save under another name, or cancel?")
                    .arg(FileNameText(FFileName));
            switch (RequirePrompts().AskSaveOverChangedFile(question)) {
            case TChangedFileAnswer::Overwrite:
                break;
            case TChangedFileAnswer::SaveAs:
                SaveAs();
                return;
            case TChangedFileAnswer::Cancel:
                return;
            }
        }
    }
    SetModified(false);
    try {
        Raise(OnSave);
    } catch (...) {
        // Nothing was written: the next close must still ask.
        SetModified(true);
        throw;
    }
    FDiskStamp = TDiskStamp::Of(FFileName);
    FDeclinedReload = TDiskStamp();
}

void TProject::SaveAs() {
    TFileDialogOptions options = DialogOptions(SaveTitle);
    options.ConfirmOverwrite = true;
    options.SuggestedName = FFileName.isEmpty() ? UntitledName : QFileInfo(FFileName).fileName();
    QString chosen;
    if (!RequirePrompts().ChooseFileToSave(options, chosen) || chosen.isEmpty()) return;
    SetFileName(WithDefaultExt(chosen, DefaultExt));
    LastFolder() = FolderOfFile(FFileName);
    SaveStep(true);
}

void TProject::Close() {
    if (!FFileName.isEmpty()) AddToProjectList(FFileName);
    FDiskStamp = TDiskStamp();
    FDeclinedReload = TDiskStamp();
    SetModified(false);
    SetFileName(QString());
    Raise(OnClose);
}

void TProject::New() {
    if (!CloseQuery()) return;
    Close();
    Raise(OnNew);
    SetModified(false);
}

void TProject::OpenStep() {
    // Taken before the load (a change made while it runs is then seen as a change), unless the
    // load stamps what it read itself.
    TDiskStamp stamp = LoadedStamp ? TDiskStamp() : TDiskStamp::Of(FFileName);
    try {
        Raise(OnOpen);
        if (LoadedStamp) stamp = LoadedStamp().value_or(TDiskStamp());
    } catch (...) {
        // A file that could not be read is never written by a later Save: the window goes
        // back to an untitled, clean document (the file stays in the recent list).
        FDiskStamp = TDiskStamp();
        FDeclinedReload = TDiskStamp();
        SetFileName(QString());
        try {
            Raise(OnNew);
        } catch (...) {
            // The load's failure is the one to report.
        }
        SetModified(false);
        throw;
    }
    FDiskStamp = stamp;
    FDeclinedReload = TDiskStamp();
    SetModified(false);
}

bool TProject::ChangedOnDisk() const {
    return !FFileName.isEmpty() && FDiskStamp.Exists && !FDiskStamp.Matches(FFileName);
}

void TProject::CheckDiskChange() {
    if (!ChangedOnDisk()) return;
    const TDiskStamp now = TDiskStamp::Of(FFileName);
    if (!now.Exists) return;
    if (FDeclinedReload.Exists && now.Size == FDeclinedReload.Size &&
        now.Stamp == FDeclinedReload.Stamp)
        return; // this version was offered already
    QString question =
        QCoreApplication::translate("TProject",
                                    "The file %1 has been changed by another program. Reload it?")
            .arg(FileNameText(FFileName));
    if (FModified) {
        question += QStringLiteral("\n\n") +
                    QCoreApplication::translate(
                        "TProject", "Your unsaved changes in this window will be lost.");
    }
    if (!RequirePrompts().AskReloadChangedFile(question, FModified)) {
        FDeclinedReload = now;
        return;
    }
    OpenStep();
}

void TProject::Open() {
    if (!CloseQuery()) return;
    QString chosen;
    if (!RequirePrompts().ChooseFileToOpen(DialogOptions(OpenTitle), chosen) || chosen.isEmpty())
        return;
    chosen = WithDefaultExt(chosen, DefaultExt);
    Close();
    SetFileName(chosen);
    LastFolder() = FolderOfFile(FFileName);
    OpenStep();
}

void TProject::ReopenItemClick(int tag) {
    if (tag < 0 || tag >= FProjectList.size()) return;
    // The menu is rebuilt below and the clicked entry with it: keep a copy of the path.
    const QString path = FProjectList[tag];
    if (FPrompts) FPrompts->ProcessPendingEvents();
    OpenFile(path);
}

void TProject::OpenFile(const QString& fileName) {
    if (!CloseQuery()) return;
    Close();
    // A name given relative to the working folder is kept as the full path, so the recent
    // list and the title name the file wherever the program is started next.
    SetFileName(fileName.isEmpty() ? fileName : QFileInfo(fileName).absoluteFilePath());
    LastFolder() = FolderOfFile(FFileName);
    OpenStep();
}

void TProject::LoadProjectList(QStringList& list) {
    list.clear();
    std::unique_ptr<TRegistry> reg = OpenAddressKey(RegistryAddress, kProjectsKey);
    ReadList(*reg, list);
    reg->CloseKey();
}

void TProject::ClearProjectList() {
    std::unique_ptr<TRegistry> reg = OpenAddressKey(RegistryAddress, kProjectsKey);
    ClearList(*reg);
    reg->CloseKey();
}

void TProject::AddToProjectList(const QString& name) {
    std::unique_ptr<TRegistry> reg = OpenAddressKey(RegistryAddress, kProjectsKey);
    QStringList scratch;
    ReadList(*reg, scratch);
    ClearList(*reg);
    for (qsizetype i = 0; i < scratch.size(); ++i) {
        if (scratch[i].compare(name, Qt::CaseInsensitive) == 0) {
            scratch.removeAt(i);
            break;
        }
    }
    scratch.prepend(name);
    // One entry at most goes per addition, so a list longer than a lowered limit shrinks slowly.
    if (scratch.size() > MaxListSize) scratch.removeLast();
    for (qsizetype i = 0; i < scratch.size(); ++i)
        reg->WriteString(ListValueName(static_cast<int>(i)), scratch[i]);
    reg->CloseKey();
    reg.reset();
    Raise(OnProjectListAdd);
}

void TProject::BuildReopenMenu(IReopenMenu& item) {
    item.ClearEntries();
    LoadProjectList(FProjectList);
    for (qsizetype i = 0; i < FProjectList.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        item.AddEntry(QString::number(number) + QLatin1Char(' ') + FProjectList[i],
                      QStringLiteral("a") + QString::number(number), static_cast<int>(i));
    }
    item.SetEnabled(!FProjectList.isEmpty());
}

} // namespace quorvane
