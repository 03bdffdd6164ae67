#include "platform/net/nThread.h"

#include <chrono>

nThread::nThread(ThreadFunc func, int /*stackSize*/, WakeupFunc wakeup, void* data, nThreadSafeList* queue) :
    threadFunc(func),
    wakeupFunc(wakeup),
    userData(data),
    msgList(queue)
{
    if (!this->msgList)
    {
        this->ownList = std::make_unique<nThreadSafeList>();
        this->msgList = this->ownList.get();
    }
    this->handle = std::thread(&nThread::Body, this);
    this->startedEvent.Wait();
}

nThread::~nThread()
{
    this->Stop();
}

void
nThread::Body()
{
    if (this->threadFunc)
    {
        this->threadFunc(this);
    }
    // a function that returns early must not leave the constructor waiting
    this->ThreadStarted();
    this->threadEnded = true;
}

void
nThread::ThreadStarted()
{
    if (!this->startedSignalled.exchange(true))
    {
        this->startedEvent.Signal();
    }
}

void
nThread::ThreadHarakiri()
{
    this->threadEnding = true;
    // the ending thread waits until Stop has released it, so that it never
    // outlives the data its owner is still tearing down
    this->shutdownEvent.Wait();
}

void
nThread::Stop()
{
    if (!this->handle.joinable())
    {
        return;
    }
    this->stopRequested = true;
    if (this->wakeupFunc)
    {
        this->wakeupFunc(this);
    }
    this->shutdownEvent.Signal();
    this->handle.join();
    this->threadEnded = true;
}

void
nThread::Sleep(float seconds)
{
    if (seconds <= 0.0f)
    {
        return;
    }
    auto ms = static_cast<long long>(seconds * 1000.0f);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
