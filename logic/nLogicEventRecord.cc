#include "logic/nLogicEventRecord.h"

#include <algorithm>

#include "kernel/nKernelServer.h"
#include "logic/nLogicEvent.h"
#include "logic/nLogicEventHandler.h"

nLogicEventRecord::nLogicEventRecord(const char* groupName) : nHashNode(groupName) {
    groupPath_ = "/sys/events/";
    groupPath_ += groupName ? groupName : "";
    groupPath_ += "/";
    groupObject_ = nKernelServer::ks->New("nroot", groupPath_.c_str());
}

nLogicEventRecord::~nLogicEventRecord() {
    for (nLogicEventHandler* h : handlers_) h->record_ = nullptr;
}

void nLogicEventRecord::Register(nLogicEventHandler* handler) {
    handlers_.push_back(handler);
}

void nLogicEventRecord::Forget(nLogicEventHandler* handler) {
    handlers_.erase(std::remove(handlers_.begin(), handlers_.end(), handler), handlers_.end());
    for (int i = 0; i < count_; i++) {
        if (slots_[i].handler == handler) slots_[i].handler = nullptr;
    }
}

bool nLogicEventRecord::AddHandler(nLogicEventHandler* handler) {
    nLogicEvent* obj = handler->EventObject();
    if (!obj) {
        n_error("nLogicEventRecord '%s': event '%s' has no event object, not queued\n", groupPath_.c_str(),
                handler->GetEventName());
        return false;
    }
    if (count_ == static_cast<int>(slots_.size())) slots_.emplace_back();
    nLogicEventSlot& slot = slots_[count_];
    slot.handler = handler;
    slot.firstValue = numValues_;
    slot.numValues = 0;
    for (nPersistVar* pv = obj->GetFirstVar(); pv; pv = pv->GetSucc()) {
        if (numValues_ == static_cast<int>(values_.size())) values_.emplace_back();
        values_[numValues_++] = pv->Get();
        slot.numValues++;
    }
    count_++;
    return true;
}

bool nLogicEventRecord::WriteBack(int i) {
    const nLogicEventSlot& slot = slots_[i];
    const nVariable* values = values_.data() + slot.firstValue;
    nLogicEvent* obj = slot.handler->EventObject();
    if (!obj) {
        n_error("nLogicEventRecord '%s': event '%s' lost its event object, firing skipped\n", groupPath_.c_str(),
                slot.handler->GetEventName());
        return false;
    }
    // Checked whole before anything is written, so a skipped firing changes nothing.
    nPersistVar* pv = obj->GetFirstVar();
    for (int k = 0; k < slot.numValues; k++) {
        if (!pv) {
            n_error("%s: found no persist var on index!\n", obj->GetFullName().c_str());
            return false;
        }
        if (pv->Get().GetType() != values[k].GetType()) {
            n_error("%s: argument '%s' changed its type since it was queued, firing skipped\n",
                    obj->GetFullName().c_str(), pv->GetName() ? pv->GetName() : "");
            return false;
        }
        pv = pv->GetSucc();
    }
    pv = obj->GetFirstVar();
    for (int k = 0; k < slot.numValues; k++) {
        pv->Get() = values[k];
        pv = pv->GetSucc();
    }
    return true;
}

void nLogicEventRecord::FireQueued() {
    // A pass started from inside a handler would fire the running slot again.
    if (firing_) return;
    firing_ = true;
    const int limit = count_ + MaxRequeuedPerPass;
    int i = 0;
    // count_ is read again after every firing: what a handler queues runs in this pass.
    for (; i < count_ && i < limit; i++) {
        nLogicEventHandler* h = slots_[i].handler;
        if (h && WriteBack(i)) h->Fire();
        // The handler may have queued more (slots_ may have moved) or died: index again.
        slots_[i].handler = nullptr;
    }
    // What is left waits for the next frame, in order, at the front; the spent values
    // stay in place until they are overwritten.
    const int rest = count_ - i;
    int next = 0;
    for (int k = 0; k < rest; k++) {
        nLogicEventSlot moved = slots_[i + k];
        for (int v = 0; v < moved.numValues; v++) values_[next + v] = values_[moved.firstValue + v];
        moved.firstValue = next;
        next += moved.numValues;
        slots_[k] = moved;
    }
    count_ = rest;
    numValues_ = next;
    firing_ = false;
}
