#pragma once

namespace vl {

// Base of every process-wide service object. The object is built on first use (concurrent first
// calls construct it once) and destroyed at normal exit in reverse order of creation. Set-up and
// tear-down beyond construction are the explicit Init/Uninit calls of each class.
template <class T>
class Singleton {
public:
    static T* Instance() {
        static T instance;
        return &instance;
    }

protected:
    Singleton() = default;
    ~Singleton() = default;
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;
};

}  // namespace vl
