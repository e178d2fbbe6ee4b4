#include "QueuedDispatcher.h"

namespace testsupport {

void TQueuedDispatcher::RunAndWait(const std::function<void()>& task) {
    auto item = std::make_shared<TItem>();
    item->Task = &task;
    std::unique_lock<std::mutex> lock(FMutex);
    FQueue.push_back(item);
    FChanged.notify_all();
    FChanged.wait(lock, [&] { return item->Done; });
}

std::size_t TQueuedDispatcher::ProcessPending() {
    std::size_t count = 0;
    for (;;) {
        std::shared_ptr<TItem> item;
        {
            std::lock_guard<std::mutex> lock(FMutex);
            if (FQueue.empty()) return count;
            item = FQueue.front();
            FQueue.pop_front();
        }
        // The task's owner waits for it, so its exceptions must not stop the hand-back.
        try {
            (*item->Task)();
        } catch (...) {
        }
        {
            std::lock_guard<std::mutex> lock(FMutex);
            item->Done = true;
        }
        FChanged.notify_all();
        ++count;
    }
}

bool TQueuedDispatcher::ProcessUntil(const std::function<bool()>& done,
                                     std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        ProcessPending();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // `done` may turn true without a task (a detached worker ending): look again soon.
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return !FQueue.empty(); });
    }
}

} // namespace testsupport
