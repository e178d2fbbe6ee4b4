#pragma once
// One run of the upload worker as the tests drive it: a private temporary file of its own that
// holds the content to store, and what the owner sees of the run. The test fills in the login
// and the protocol (plain FTP unless it chooses another).

#include "TestUtil.h"
#include "base/TempFiles.h"
#include "ftp/FtpTexts.h"
#include "ftp/FtpUpload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

class TUploadRun {
public:
    TUploadRun(const std::string& host, const std::string& content, const std::string& remote,
               std::shared_ptr<quorvane::IUiDispatcher> dispatcher =
                   std::make_shared<quorvane::TDirectDispatcher>())
        : File(quorvane::GetTempFile("kxv", Local.Path().string())),
          Uploader(std::move(dispatcher)) {
        WriteWholeFile(File, content);
        Uploader.Host = host;
        Uploader.Passive = true;
        Uploader.Timeout = 10000;
        Uploader.LocalFile = File;
        Uploader.RemoteFile = remote;
        Uploader.DeleteWhenDone = {File};
        Uploader.OnStatus = [this](const quorvane::TMessage& message, bool isError) {
            {
                const std::lock_guard<std::mutex> lock(Mutex);
                Statuses.emplace_back(Signature(message), isError);
                Threads.push_back(std::this_thread::get_id());
            }
            if (isError || !message.Is(quorvane::texts::Uploading)) return;
            const auto percent = static_cast<int>(message.Parts[1].Value);
            if (AbortAtPercent >= 0 && percent >= AbortAtPercent) Uploader.Abort();
            if (AtTenPercent && percent >= 10) std::exchange(AtTenPercent, nullptr)();
        };
        Uploader.OnTerminate = [this] {
            const std::lock_guard<std::mutex> lock(Mutex);
            ++Completions;
            Threads.push_back(std::this_thread::get_id());
        };
    }

    // Unknown SSH host keys are put to the "user", who answers Accept.
    void AskAboutHostKeys() {
        Uploader.OnUnknownHostKey = [this](const std::string&, const std::string& fingerprint) {
            Asked.push_back(fingerprint);
            return Accept;
        };
    }
    // Starts the worker and waits for its end; the local file is gone then in every case.
    void Go() {
        Uploader.Start();
        Uploader.WaitFor();
        EXPECT_FALSE(std::filesystem::exists(File)) << "the local temporary file goes";
    }
    std::vector<std::string> Errors() const { return Of(true); }
    std::vector<std::string> Texts() const { return Of(false); }

    TTempDir Local;
    std::string File;
    quorvane::TFtpUploader Uploader;
    // Each status as its message's signature and whether it is an error; the threads the
    // handlers ran on; how many times the end was told.
    mutable std::mutex Mutex;
    std::vector<std::pair<std::string, bool>> Statuses;
    std::vector<std::thread::id> Threads;
    int Completions = 0;
    std::vector<std::string> Asked; // fingerprints put to the user
    bool Accept = false;
    int AbortAtPercent = -1;            // Abort() once this percentage shows
    std::function<void()> AtTenPercent; // run once, when 10% shows

private:
    std::vector<std::string> Of(bool errors) const {
        const std::lock_guard<std::mutex> lock(Mutex);
        std::vector<std::string> out;
        for (const auto& [text, isError] : Statuses)
            if (isError == errors) out.push_back(text);
        return out;
    }
};

} // namespace testsupport
