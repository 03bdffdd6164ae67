#pragma once
#include <condition_variable>
#include <mutex>

// Auto-reset event: Signal wakes one waiter (or the next one to wait),
// then the event is clear again.
class nEvent {
public:
    nEvent() = default;
    nEvent(const nEvent&) = delete;
    nEvent& operator=(const nEvent&) = delete;

    // set the event; a waiting thread (or the next Wait) returns
    void Signal();
    // block until signalled; clears the event
    void Wait();
    // block at most the given seconds; true when signalled (and cleared)
    bool TimedWait(float seconds);
    // clear without waiting
    void Reset();

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    bool signalled_ = false;
};
