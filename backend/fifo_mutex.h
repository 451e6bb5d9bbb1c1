#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace backend {

// A mutex that hands itself to its waiters in arrival order. Under many writers a plain mutex
// lets a few threads win again and again while others wait for seconds; here the longest wait
// is the queue ahead.
class FifoMutex {
public:
    void lock() {
        std::unique_lock guard(mutex_);
        if (!locked_ && waiters_.empty()) {
            locked_ = true;
            return;
        }
        Waiter self;
        waiters_.push_back(&self);
        self.cv.wait(guard, [&self] { return self.granted; });
    }

    // As lock, giving up at `deadline`; false then.
    template <class Clock, class Duration>
    bool try_lock_until(const std::chrono::time_point<Clock, Duration>& deadline) {
        std::unique_lock guard(mutex_);
        if (!locked_ && waiters_.empty()) {
            locked_ = true;
            return true;
        }
        Waiter self;
        waiters_.push_back(&self);
        if (self.cv.wait_until(guard, deadline, [&self] { return self.granted; })) {
            return true;
        }
        waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &self));
        return false;
    }

    void unlock() {
        std::lock_guard guard(mutex_);
        if (waiters_.empty()) {
            locked_ = false;
            return;
        }
        // Ownership passes straight to the first waiter; the lock never looks free meanwhile.
        Waiter* next = waiters_.front();
        waiters_.pop_front();
        next->granted = true;
        next->cv.notify_one();
    }

private:
    struct Waiter {
        std::condition_variable cv;
        bool granted = false;
    };
    std::mutex mutex_;
    bool locked_ = false;
    std::deque<Waiter*> waiters_;
};

}  // namespace backend
