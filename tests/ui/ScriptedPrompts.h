#pragma once
// Answers for the document manager's questions and file dialogs, given in advance by a test.

#include "QtText.h"
#include "persist/PrjLib.h"
#include "ui/UiPrompts.h"

#include <deque>
#include <stdexcept>

using namespace quorvane;

class TScriptedPrompts final : public IProjectPrompts {
public:
    std::deque<TSaveAnswer> Answers; // one per save question
    std::deque<QString> OpenChoices; // "" cancels the dialog
    std::deque<QString> SaveChoices; // "" cancels the dialog
    int Questions = 0;
    int OpenDialogs = 0;
    int SaveDialogs = 0;
    std::deque<TChangedFileAnswer> ChangedFileAnswers; // one per "changed on disk, save?"
    std::deque<bool> ReloadAnswers;                    // one per "changed on disk, reload?"
    int PendingEventRuns = 0;
    int ChangedFileQuestions = 0;
    int ReloadQuestions = 0;
    bool LastReloadLosesChanges = false;
    QString LastQuestion;
    TFileDialogOptions LastOptions;
    std::vector<std::string>* Log = nullptr; // when set, prompts are logged among the events

    TSaveAnswer AskSaveChanges(const QString& question) override {
        ++Questions;
        LastQuestion = question;
        if (Log) Log->push_back("question");
        if (Answers.empty()) throw std::logic_error("unexpected save question");
        const TSaveAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    bool ChooseFileToOpen(const TFileDialogOptions& options, QString& fileName) override {
        ++OpenDialogs;
        LastOptions = options;
        if (Log) Log->push_back("open dialog");
        return Take(OpenChoices, fileName);
    }
    bool ChooseFileToSave(const TFileDialogOptions& options, QString& fileName) override {
        ++SaveDialogs;
        LastOptions = options;
        if (Log) Log->push_back("save dialog");
        return Take(SaveChoices, fileName);
    }
    TChangedFileAnswer AskSaveOverChangedFile(const QString& question) override {
        ++ChangedFileQuestions;
        LastQuestion = question;
        if (Log) Log->push_back("changed on disk");
        if (ChangedFileAnswers.empty()) throw std::logic_error("unexpected changed-file question");
        const TChangedFileAnswer answer = ChangedFileAnswers.front();
        ChangedFileAnswers.pop_front();
        return answer;
    }
    bool AskReloadChangedFile(const QString& question, bool losesChanges) override {
        ++ReloadQuestions;
        LastQuestion = question;
        LastReloadLosesChanges = losesChanges;
        if (Log) Log->push_back("reload?");
        if (ReloadAnswers.empty()) throw std::logic_error("unexpected reload question");
        const bool answer = ReloadAnswers.front();
        ReloadAnswers.pop_front();
        return answer;
    }
    void ProcessPendingEvents() override { ++PendingEventRuns; }

private:
    static bool Take(std::deque<QString>& choices, QString& fileName) {
        if (choices.empty()) throw std::logic_error("unexpected file dialog");
        fileName = choices.front();
        choices.pop_front();
        return !fileName.isEmpty();
    }
};

// Answers for the questions for a server's password, given in advance by a test; with none left,
// the question is cancelled.
class TScriptedSecretPrompt final : public ISecretPrompt {
public:
    std::deque<QString> Answers;
    std::vector<QString> Questions; // as asked, in order

    bool AskSecret(const QString& question, QString& secret) override {
        Questions.push_back(question);
        if (Answers.empty()) return false;
        secret = Answers.front();
        Answers.pop_front();
        return true;
    }
};
