#pragma once
// The desktop program's answers to the document manager (message box and file dialogs) and
// the one place where a failure reaching a command handler is shown to the user.

#include "base/Message.h"
#include "persist/PrjLib.h"

#include <QCoreApplication>
#include <QString>

#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace quorvane {

class TSessionSecrets;

// Title of the program's error boxes.
inline QString AppTitle() {
    return QStringLiteral("Quorvane");
}

// The message of a failure as text, with "." appended when the code of its last character is
// above that of "." (so "Cannot open file x" gets one, "... (3)" and "Done." do not).
QString ErrorMessageText(const std::exception& error);
QString ErrorMessageText(const QString& message);

// "Not enough memory to " + task + "." (in the user's language): what a person is told instead of
// "std::bad_alloc".
QString OutOfMemoryText(const QString& task);

// A modal error box titled "Quorvane".
void ShowErrorMessage(QWidget* parent, const QString& message);

// What a write could not keep of the file it replaced (owner, group), one line each, in a
// warning box titled "Quorvane"; nothing when there is nothing to say.
void ShowWriteWarnings(QWidget* parent, const std::vector<TMessage>& warnings);

// Raised (no error: nothing is shown) when the user cancels a dialog that a command cannot go on
// without, such as the master password of the database to open.
struct ECancelled {};

// Runs a command; a failure ends it and is shown in an error box. True when it ran through; a
// cancelled command (ECancelled) ends quietly.
template <typename TAction> bool Guarded(QWidget* parent, TAction&& action) {
    try {
        std::forward<TAction>(action)();
        return true;
    } catch (const std::bad_alloc&) {
        ShowErrorMessage(parent, OutOfMemoryText(QCoreApplication::translate(
                                     "UiPrompts", "finish the command")));
    } catch (const std::exception& error) {
        ShowErrorMessage(parent, ErrorMessageText(error));
    } catch (const ECancelled&) {
    } catch (...) {
        ShowErrorMessage(parent, ErrorMessageText(QCoreApplication::translate(
                                     "UiPrompts", "Unexpected failure")));
    }
    return false;
}

// The folder itself when it exists, else its nearest existing parent; "" when none exists.
QString ExistingFolder(const QString& folder);

// The next file dialog starts in the folder of this file (see LastFolder).
void RememberFolderOf(const QString& fileName);

// Asks for a server's password or a key file's passphrase, the question naming which.
class ISecretPrompt {
public:
    virtual ~ISecretPrompt() = default;
    // False when the user cancels.
    virtual bool AskSecret(const QString& question, QString& secret) = 0;
};

// A password box over the given window.
class TQtSecretPrompt final : public ISecretPrompt {
public:
    explicit TQtSecretPrompt(QWidget* parent) : FParent(parent) {}
    bool AskSecret(const QString& question, QString& secret) override;

private:
    QWidget* FParent;
};

// The secrets typed for servers while the program runs, one set for all its windows; never
// written anywhere.
TSessionSecrets& ProgramSecrets();

// Message box and file dialogs for a TProject, shown over the given window.
class TQtProjectPrompts final : public IProjectPrompts {
public:
    explicit TQtProjectPrompts(QWidget* parent) : FParent(parent) {}
    TSaveAnswer AskSaveChanges(const QString& question) override;
    bool ChooseFileToOpen(const TFileDialogOptions& options, QString& fileName) override;
    bool ChooseFileToSave(const TFileDialogOptions& options, QString& fileName) override;
    TChangedFileAnswer AskSaveOverChangedFile(const QString& question) override;
    bool AskReloadChangedFile(const QString& question, bool losesChanges) override;
    void ProcessPendingEvents() override;

private:
    QWidget* FParent;
};

} // namespace quorvane
