#include "platform/net/nThread.h"

#include <chrono>

nThread::nThread(ThreadFunc func, int /*stackSize*/, WakeupFunc wakeup, void* data, nThreadSafeList* queue)
    : threadFunc_(func), wakeupFunc_(wakeup), userData_(data), msgList_(queue) {
    if (!msgList_) {
        ownList_ = std::make_unique<nThreadSafeList>();
        msgList_ = ownList_.get();
    }
    handle_ = std::thread(&nThread::Body, this);
    startedEvent_.Wait();
}

nThread::~nThread() {
    this->Stop();
}

void nThread::Body() {
    if (threadFunc_) {
        threadFunc_(this);
    }
    // a function that returns early must not leave the constructor waiting
    this->ThreadStarted();
    threadEnded_ = true;
}

void nThread::ThreadStarted() {
    if (!startedSignalled_.exchange(true)) {
        startedEvent_.Signal();
    }
}

void nThread::ThreadHarakiri() {
    threadEnding_ = true;
    // the ending thread waits until Stop has released it, so that it never
    // outlives the data its owner is still tearing down
    shutdownEvent_.Wait();
}

void nThread::Stop() {
    if (!handle_.joinable()) {
        return;
    }
    stopRequested_ = true;
    if (wakeupFunc_) {
        wakeupFunc_(this);
    }
    shutdownEvent_.Signal();
    handle_.join();
    threadEnded_ = true;
}

void nThread::Sleep(float seconds) {
    if (seconds <= 0.0f) {
        return;
    }
    auto ms = static_cast<long long>(seconds * 1000.0f);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
