#pragma once
// The readers: a fixed number of threads taking jobs from a bounded queue. A job is told when
// the pool stopped before its turn, and must answer then too. What a job gives back is called
// once the reader is counted idle again (it hands the answer on).

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace karvona::service {

class ReadingPool {
public:
    using Done = std::function<void()>;
    using Job = std::function<Done(bool stopping)>;

    ReadingPool(int readers, int capacity);
    ~ReadingPool();  ///< Stop(), then waits for the threads
    ReadingPool(const ReadingPool&) = delete;
    ReadingPool& operator=(const ReadingPool&) = delete;

    /// Queues a job; false (and the job untouched) when the queue is full or the pool stopped.
    bool TrySubmit(Job& job);
    /// Lets the jobs running now finish and hands null to the queued ones.
    void Stop();

    int running() const;
    int queued() const;

private:
    void Work();

    std::vector<std::thread> threads_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    size_t capacity_;
    int running_ = 0;
    bool stopping_ = false;
};

}  // namespace karvona::service
