#ifndef N_THREAD_H
#define N_THREAD_H
//------------------------------------------------------------------------------
/**
    @class nThread
    @brief A worker thread with a cooperative stop: Stop raises the stop flag,
    calls the wake-up function (which must unblock whatever the thread waits
    on), releases the thread's ending handshake and joins it.

    The thread function calls ThreadStarted once it is ready (the constructor
    waits for that), checks ThreadStopRequested in its loop, and calls
    ThreadHarakiri before it returns.
*/
#include "platform/net/nEvent.h"
#include "platform/net/nThreadSafeList.h"

#include <atomic>
#include <memory>
#include <thread>

class nThread
{
public:
    using ThreadFunc = void (*)(nThread* thread);
    using WakeupFunc = void (*)(nThread* thread);

    /// starts the thread and waits until it reports started; stackSize is
    /// accepted for the interface but the system's default stack is used
    /// (Windows' 4096-byte default lies below what POSIX threads allow)
    nThread(ThreadFunc func, int stackSize, WakeupFunc wakeup, void* userData, nThreadSafeList* queue);
    /// stops the thread when it still runs
    ~nThread();
    nThread(const nThread&) = delete;
    nThread& operator=(const nThread&) = delete;

    /// request the stop, wake the thread, wait until it has ended
    void Stop();
    /// true between construction and the end of the thread function
    bool IsRunning() const { return !this->threadEnded.load(); }

    // called from the thread itself
    void ThreadStarted();
    void ThreadHarakiri();
    bool ThreadStopRequested() const { return this->stopRequested.load(); }

    void* GetUserData() const { return this->userData; }
    nThreadSafeList* GetMsgList() const { return this->msgList; }

    /// sleep the calling thread; seconds are truncated to whole milliseconds
    static void Sleep(float seconds);

private:
    void Body();

    nEvent startedEvent;
    nEvent shutdownEvent;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> threadEnding{false};
    std::atomic<bool> threadEnded{false};
    std::atomic<bool> startedSignalled{false};
    ThreadFunc threadFunc;
    WakeupFunc wakeupFunc;
    void* userData;
    std::unique_ptr<nThreadSafeList> ownList;
    nThreadSafeList* msgList;
    std::thread handle;
};
#endif
