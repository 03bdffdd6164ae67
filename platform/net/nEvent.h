#ifndef N_EVENT_H
#define N_EVENT_H
//------------------------------------------------------------------------------
/**
    @class nEvent
    @brief Auto-reset event: Signal wakes one waiter (or the next one to wait),
    then the event is clear again.
*/
#include <condition_variable>
#include <mutex>

class nEvent
{
public:
    nEvent() = default;
    nEvent(const nEvent&) = delete;
    nEvent& operator=(const nEvent&) = delete;

    /// set the event; a waiting thread (or the next Wait) returns
    void Signal();
    /// block until signalled; clears the event
    void Wait();
    /// block at most the given seconds; true when signalled (and cleared)
    bool TimedWait(float seconds);
    /// clear without waiting
    void Reset();

private:
    std::mutex mutex;
    std::condition_variable cond;
    bool signalled = false;
};
#endif
