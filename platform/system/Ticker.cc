#include "platform/system/Ticker.h"

namespace sys {

Ticker::Ticker(std::chrono::milliseconds period, std::function<void()> tick)
    : period_(period), tick_(std::move(tick)), thread_([this] { Run(); }) {}

Ticker::~Ticker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Ticker::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        wake_.wait_for(lock, period_);
        if (!quit_) tick_();
    }
}

}  // namespace sys
