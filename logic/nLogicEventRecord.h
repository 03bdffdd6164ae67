#pragma once
// The queue of one event group (the logic nodes share the group "logicgraph"): each
// firing waits in a slot together with a snapshot of its event object's variables, and
// the event server works the queue off at the start of the next frame.
#include <string>
#include <vector>

#include "kernel/nHashNode.h"
#include "kernel/nRef.h"
#include "scene/nVariableServer.h"

class nLogicEventHandler;
class nRoot;

struct nLogicEventSlot {
    // Null when free, or when the handler died after queueing.
    nLogicEventHandler* handler = nullptr;
    // The arguments as they were when queued, in the event object's variable order:
    // `numValues` entries of the record's value array from `firstValue` on.
    int firstValue = 0;
    int numValues = 0;
};

class nLogicEventRecord : public nHashNode {
public:
    // Firings that a running pass queues and still runs; later ones wait a frame, so a
    // handler that queues itself again cannot hang the frame.
    static constexpr int MaxRequeuedPerPass = 64;

    // Makes (or finds) the group object, class "nroot", at "/sys/events/<group>/".
    explicit nLogicEventRecord(const char* groupName);
    // Tells every handler of the group that the record is gone.
    ~nLogicEventRecord() override;
    nLogicEventRecord(const nLogicEventRecord&) = delete;
    nLogicEventRecord& operator=(const nLogicEventRecord&) = delete;

    // "/sys/events/<group>/": the event objects of the group live below it.
    const std::string& GetGroupPath() const { return groupPath_; }
    // The group object, null once a script deleted it (remade with the next event object).
    nRoot* GetGroupObject() const { return groupObject_.GetUnsafe(); }

    // Queues a firing of `handler` with a snapshot of its event object's variables.
    // False (logged) when the handler has no event object.
    bool AddHandler(nLogicEventHandler* handler);
    // Writes each queued snapshot back into its event object and fires its handler, in
    // queue order, including firings queued meanwhile (at most MaxRequeuedPerPass of
    // them). A snapshot that no longer fits its object is logged and that firing skipped.
    void FireQueued();
    // Firings waiting.
    int GetNumQueued() const { return count_; }

    nLogicEventRecord* GetSucc() const { return static_cast<nLogicEventRecord*>(nHashNode::GetSucc()); }

private:
    friend class nLogicEventHandler;
    void Register(nLogicEventHandler* handler);
    // A dying handler: forgotten, and each slot that still queues it is cleared.
    void Forget(nLogicEventHandler* handler);
    // Copies slot `i`'s snapshot into the event object; false (logged) when it does not fit.
    bool WriteBack(int i);

    std::string groupPath_;
    nRef<nRoot> groupObject_;
    // Both arrays only grow: once a frame's firings fit, queueing allocates nothing.
    std::vector<nLogicEventSlot> slots_;
    int count_ = 0;
    // The snapshots of all queued firings, one after the other in queue order.
    std::vector<nVariable> values_;
    int numValues_ = 0;
    bool firing_ = false;
    std::vector<nLogicEventHandler*> handlers_;
};
