#pragma once

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
