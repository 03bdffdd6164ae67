#include "platform/net/nEvent.h"

#include <chrono>

void
nEvent::Signal()
{
    {
        std::lock_guard<std::mutex> lock(this->mutex);
        this->signalled = true;
    }
    this->cond.notify_one();
}

void
nEvent::Wait()
{
    std::unique_lock<std::mutex> lock(this->mutex);
    this->cond.wait(lock, [this] { return this->signalled; });
    this->signalled = false;
}

bool
nEvent::TimedWait(float seconds)
{
    std::unique_lock<std::mutex> lock(this->mutex);
    auto limit = std::chrono::duration<float>(seconds < 0.0f ? 0.0f : seconds);
    if (!this->cond.wait_for(lock, limit, [this] { return this->signalled; }))
    {
        return false;
    }
    this->signalled = false;
    return true;
}

void
nEvent::Reset()
{
    std::lock_guard<std::mutex> lock(this->mutex);
    this->signalled = false;
}
