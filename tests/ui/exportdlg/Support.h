#pragma once
// Helpers for the export, series and import tests: temporary folders, waiting on the event
// loop, answering modal dialogs in advance, and FTP servers on the loopback interface.

#include "FtpTestServer.h"
#include "TestUtil.h"
#include "UiTestUtil.h"
#include "ui/ModalRunner.h"
#include "userdb/UserList.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quorvane;

namespace testsupport {

namespace fs = std::filesystem;

using ::TTempDir;

// Files whose names start with "kxv" (the export's temporary files) in a folder.
inline int TempFilesIn(const TTempDir& dir) {
    int count = 0;
    for (const std::string& name : dir.Entries())
        count += name.rfind("kxv", 0) == 0 ? 1 : 0;
    return count;
}

// Points $TMPDIR (where the export puts its temporary file) at a folder of the test's own.
class TScopedTmpDir {
public:
    TScopedTmpDir() {
        const char* old = std::getenv("TMPDIR");
        FHadOld = old != nullptr;
        if (FHadOld) FOld = old;
        ::setenv("TMPDIR", FDir.Path().c_str(), 1);
    }
    ~TScopedTmpDir() {
        if (FHadOld)
            ::setenv("TMPDIR", FOld.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    const TTempDir& Dir() const { return FDir; }

private:
    TTempDir FDir;
    bool FHadOld = false;
    std::string FOld;
};

// Runs the event loop until pred holds or the time is up; returns pred's last value.
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Threads of this process now.
// The threads of this process but Qt's pooled helpers (the raster painter starts some to paint
// large widgets, and they stay idle for half a minute): the upload workers and their like.
inline int ThreadCount() {
    int count = 0;
    std::error_code ignored;
    for (auto it = fs::directory_iterator("/proc/self/task", ignored);
         it != fs::directory_iterator(); it.increment(ignored)) {
        std::ifstream comm(it->path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name != "Thread (pooled)") ++count;
    }
    return count;
}

// Upload workers end on their own after their last notification. Waits, when it goes, until
// the threads started meanwhile have ended, so none is cut off by the end of the test.
class TThreadsSettle {
public:
    TThreadsSettle() : FBefore(ThreadCount()) {}
    ~TThreadsSettle() {
        if (!WaitUntil([this] { return ThreadCount() <= FBefore; }, 20000))
            ADD_FAILURE() << "a worker thread is still running";
    }
    TThreadsSettle(const TThreadsSettle&) = delete;
    TThreadsSettle& operator=(const TThreadsSettle&) = delete;

private:
    int FBefore;
};

using ftptest::TFtpServer;

// The database's first target made a server: its protocol ("" for plain FTP), host, login,
// password and remote file.
inline void FillServer(quorvane::TUserList& list, const std::string& protocol,
                       const std::string& host, const std::string& user,
                       const std::string& password, const std::string& remote = "htpasswd") {
    First(list)->ExportToFile = false;
    First(list)->FtpProtocol = protocol;
    First(list)->FtpHost = host;
    First(list)->FtpUser = user;
    First(list)->FtpPass = password;
    First(list)->FtpPasswdFile = remote;
}

} // namespace testsupport
