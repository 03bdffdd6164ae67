#pragma once
#include "platform/net/nEvent.h"
#include "platform/net/nMsgNode.h"

#include <deque>
#include <memory>
#include <mutex>

// Message queue shared between threads: a list of owned nMsgNode
// records under a mutex, and an auto-reset event signalled on every append.
class nThreadSafeList {
public:
    nThreadSafeList() = default;
    nThreadSafeList(const nThreadSafeList&) = delete;
    nThreadSafeList& operator=(const nThreadSafeList&) = delete;

    // append a message and signal the event
    void PutMsg(std::unique_ptr<nMsgNode> msg);
    // take the first message, null when empty
    std::unique_ptr<nMsgNode> GetMsg();
    bool IsEmpty() const;
    size_t GetCount() const;
    // drop every queued message
    void Clear();
    // wait until a message is appended (or the timeout passes)
    bool WaitMsg(float seconds);

private:
    mutable std::mutex mutex_;
    std::deque<std::unique_ptr<nMsgNode>> list_;
    nEvent event_;
};
