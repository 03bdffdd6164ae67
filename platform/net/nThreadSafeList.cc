#include "platform/net/nThreadSafeList.h"

#include <chrono>

void nThreadSafeList::PutMsg(std::unique_ptr<nMsgNode> msg) {
    if (!msg) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        list_.push_back(std::move(msg));
    }
    event_.Signal();
}

std::unique_ptr<nMsgNode> nThreadSafeList::GetMsg() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (list_.empty()) {
        return nullptr;
    }
    std::unique_ptr<nMsgNode> msg = std::move(list_.front());
    list_.pop_front();
    return msg;
}

bool nThreadSafeList::IsEmpty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return list_.empty();
}

size_t nThreadSafeList::GetCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return list_.size();
}

void nThreadSafeList::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    list_.clear();
}

bool nThreadSafeList::WaitMsg(float seconds) {
    // The event may still hold the signal of a message already taken, so one
    // wake-up does not mean a message is there: wait on until the deadline.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<float>(seconds);
    while (this->IsEmpty()) {
        std::chrono::duration<float> left = deadline - std::chrono::steady_clock::now();
        if (left.count() <= 0.0f) {
            return false;
        }
        event_.TimedWait(left.count());
    }
    return true;
}
