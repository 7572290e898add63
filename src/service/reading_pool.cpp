#include "service/reading_pool.hpp"

#include <malloc.h>

namespace karvona::service {
ReadingPool::ReadingPool(int readers, int capacity)
    : capacity_(static_cast<size_t>(std::max(1, capacity))) {
    for (int i = 0; i < readers; ++i)
        threads_.emplace_back([this] { Work(); });
}

ReadingPool::~ReadingPool() {
    Stop();
    for (auto& thread : threads_)
        thread.join();
}

bool ReadingPool::TrySubmit(Job& job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || queue_.size() >= capacity_)
            return false;
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

void ReadingPool::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
}

int ReadingPool::running() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

int ReadingPool::queued() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(queue_.size());
}

void ReadingPool::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return;  // stopping, nothing left
        Job job = std::move(queue_.front());
        queue_.pop_front();
        const bool stopping = stopping_;
        ++running_;
        lock.unlock();
        Done done = job(stopping);
        job = nullptr;
        lock.lock();
        --running_;
        const bool idle = running_ == 0 && queue_.empty();
        lock.unlock();
        done();
        lock.lock();
        if (idle) {
            // Idle: give the memory of the last bodies and photographs back to the system.
            lock.unlock();
            malloc_trim(0);
            lock.lock();
        }
    }
}

}  // namespace karvona::service
