#pragma once
// Calls from the export worker into the window. The worker's status lines,
// progress, message boxes and questions must be handled by the window's
// thread, and the worker must wait until they were (what it shows never runs
// ahead of what it logged, and a question needs its answer): a blocking
// queued call. On the window's own thread the call runs at once.
//
// Invariant: the window thread never waits for the worker while the worker
// may be in such a call (it joins the worker only after its last call).

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

namespace qb::ui {

inline void CallOnWindowThread(QObject* window, const std::function<void()>& call) {
    if (QThread::currentThread() == window->thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(window, call, Qt::BlockingQueuedConnection);
}

// The text of the core (UTF-8) for Qt, and back.
inline QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string U(const QString& text) { return text.toStdString(); }

}  // namespace qb::ui
