#include "platform/net/nEvent.h"

#include <chrono>

void nEvent::Signal() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    cond_.notify_one();
}

void nEvent::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cond_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
}

bool nEvent::TimedWait(float seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto limit = std::chrono::duration<float>(seconds < 0.0f ? 0.0f : seconds);
    if (!cond_.wait_for(lock, limit, [this] { return signalled_; })) {
        return false;
    }
    signalled_ = false;
    return true;
}

void nEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}
