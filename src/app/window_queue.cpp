#include "app/window_queue.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <stdexcept>

namespace karvona::app {

WindowQueue::WindowQueue(QObject* parent) : QObject(parent) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot open the pipe that wakes the window");
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &WindowQueue::RunPosted);
}

WindowQueue::~WindowQueue() {
    delete notifier_;  // before its descriptor closes
    ::close(readEnd_);
    ::close(writeEnd_);
}

void WindowQueue::Post(std::function<void()> call) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
    }
    const char wake = 1;
    // A full pipe already holds a wake that has not been taken: nothing is lost.
    while (::write(writeEnd_, &wake, 1) < 0 && errno == EINTR) {
    }
}

void WindowQueue::RunPosted() {
    char wakes[64];
    while (::read(readEnd_, wakes, sizeof wakes) > 0) {
    }
    // One call at a time: a call may open a modal window whose loop runs the later ones.
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (calls_.empty())
                return;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
}

}  // namespace karvona::app
