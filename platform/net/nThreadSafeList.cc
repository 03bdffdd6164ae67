#include "platform/net/nThreadSafeList.h"

void
nThreadSafeList::PutMsg(std::unique_ptr<nMsgNode> msg)
{
    if (!msg)
    {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(this->mutex);
        this->list.push_back(std::move(msg));
    }
    this->event.Signal();
}

std::unique_ptr<nMsgNode>
nThreadSafeList::GetMsg()
{
    std::lock_guard<std::mutex> lock(this->mutex);
    if (this->list.empty())
    {
        return nullptr;
    }
    std::unique_ptr<nMsgNode> msg = std::move(this->list.front());
    this->list.pop_front();
    return msg;
}

bool
nThreadSafeList::IsEmpty() const
{
    std::lock_guard<std::mutex> lock(this->mutex);
    return this->list.empty();
}

size_t
nThreadSafeList::GetCount() const
{
    std::lock_guard<std::mutex> lock(this->mutex);
    return this->list.size();
}

void
nThreadSafeList::Clear()
{
    std::lock_guard<std::mutex> lock(this->mutex);
    this->list.clear();
}

bool
nThreadSafeList::WaitMsg(float seconds)
{
    if (!this->IsEmpty())
    {
        return true;
    }
    this->event.TimedWait(seconds);
    return !this->IsEmpty();
}
