#pragma once
// Calls from a worker thread to the window's thread. The worker appends a call under a mutex and
// wakes the window's event loop through a pipe; the window's thread runs the calls in the order
// they came. Qt's own queued calls do the same behind a lock the thread checker cannot see, so
// every row the batch handed over read as a race; here each hand-over is one it can follow.

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

namespace karvona::app {

class WindowQueue : public QObject {
    Q_OBJECT
public:
    /// Made on the window's thread; calls still waiting when it goes are dropped.
    explicit WindowQueue(QObject* parent = nullptr);
    ~WindowQueue() override;
    WindowQueue(const WindowQueue&) = delete;
    WindowQueue& operator=(const WindowQueue&) = delete;

    /// From any thread: `call` runs on the window's thread once its event loop turns.
    void Post(std::function<void()> call);

private:
    void RunPosted();

    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
    int readEnd_ = -1;
    int writeEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace karvona::app
