#include "ui/QtUiDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace quorvane {

void TQtUiDispatcher::RunAndWait(const std::function<void()>& task) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return; // the program is ending: nobody is left to tell
    if (QThread::currentThread() == app->thread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(
        app, [&task] { task(); }, Qt::BlockingQueuedConnection);
}

} // namespace quorvane
