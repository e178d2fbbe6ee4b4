#pragma once
// Runs an upload worker's calls on the interface thread.

#include "ftp/FtpUpload.h"

namespace quorvane {

// Runs the upload worker's calls on the thread of the application object (the interface
// thread) and waits for them: a blocking queued call, served by whatever event loop runs there,
// modal loops included.
class TQtUiDispatcher final : public IUiDispatcher {
public:
    void RunAndWait(const std::function<void()>& task) override;
};

} // namespace quorvane
