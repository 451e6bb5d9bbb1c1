#include "logic/translator.h"

#include "utils/vl_log.h"

Translator::~Translator() {
    // The owner calls Uninit; this only keeps a forgotten thread from ending the process.
    Uninit();
}

void Translator::Uninit() {
    if (callback_ == nullptr) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        cv_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    callback_ = nullptr;
}
