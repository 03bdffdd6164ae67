#include "platform/net/nThreadSafeList.h"

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
    if (!this->IsEmpty()) {
        return true;
    }
    event_.TimedWait(seconds);
    return !this->IsEmpty();
}
