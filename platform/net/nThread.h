#pragma once
#include "platform/net/nEvent.h"
#include "platform/net/nThreadSafeList.h"

#include <atomic>
#include <memory>
#include <thread>

// A worker thread with a cooperative stop: Stop raises the stop flag,
// calls the wake-up function (which must unblock whatever the thread waits
// on), releases the thread's ending handshake and joins it.
//
// The thread function calls ThreadStarted once it is ready (the constructor
// waits for that), checks ThreadStopRequested in its loop, and calls
// ThreadHarakiri before it returns.
class nThread {
public:
    using ThreadFunc = void (*)(nThread* thread);
    using WakeupFunc = void (*)(nThread* thread);

    // starts the thread and waits until it reports started; stackSize is
    // accepted for the interface but the system's default stack is used
    // (Windows' 4096-byte default lies below what POSIX threads allow)
    nThread(ThreadFunc func, int stackSize, WakeupFunc wakeup, void* userData, nThreadSafeList* queue);
    // stops the thread when it still runs
    ~nThread();
    nThread(const nThread&) = delete;
    nThread& operator=(const nThread&) = delete;

    // request the stop, wake the thread, wait until it has ended
    void Stop();
    // true between construction and the end of the thread function
    bool IsRunning() const { return !threadEnded_.load(); }

    // called from the thread itself
    void ThreadStarted();
    void ThreadHarakiri();
    bool ThreadStopRequested() const { return stopRequested_.load(); }

    void* GetUserData() const { return userData_; }
    nThreadSafeList* GetMsgList() const { return msgList_; }

    // sleep the calling thread; seconds are truncated to whole milliseconds
    static void Sleep(float seconds);

private:
    void Body();

    nEvent startedEvent_;
    nEvent shutdownEvent_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> threadEnding_{false};
    std::atomic<bool> threadEnded_{false};
    std::atomic<bool> startedSignalled_{false};
    ThreadFunc threadFunc_;
    WakeupFunc wakeupFunc_;
    void* userData_;
    std::unique_ptr<nThreadSafeList> ownList_;
    nThreadSafeList* msgList_;
    std::thread handle_;
};
