#pragma once
// A dispatcher for tests that play the owner's event loop: the worker's calls wait in a queue
// until the test's thread runs them.

#include "ftp/FtpUpload.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace testsupport {

// Queues tasks for the owner's thread, which runs them by calling ProcessPending or ProcessUntil
// from its loop; the worker waits until its task has run.
class TQueuedDispatcher : public quorvane::IUiDispatcher {
public:
    void RunAndWait(const std::function<void()>& task) override;
    // Runs the tasks waiting now; returns how many ran.
    std::size_t ProcessPending();
    // Runs tasks as they come until `done` returns true (true) or `timeout` has passed (false).
    bool ProcessUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

private:
    struct TItem {
        const std::function<void()>* Task = nullptr;
        bool Done = false;
    };
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::shared_ptr<TItem>> FQueue;
};

} // namespace testsupport
