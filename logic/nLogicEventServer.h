#pragma once
// The event server (script class "nlogiceventserver", "/sys/servers/event", no
// commands): one record per event group, found or made by name, whose queued firings it
// runs once a frame, before input and the logic nodes.
#include "kernel/nHashList.h"
#include "kernel/nRoot.h"

class nLogicEventRecord;

class nLogicEventServer : public nRoot {
public:
    static const nClassInfo classInfo;

    nLogicEventServer();
    // Deletes every record; their handlers then queue nothing more.
    ~nLogicEventServer() override;

    // The record of `groupName`, made with its group object "/sys/events/<group>/" the
    // first time. Owned by the server.
    nLogicEventRecord* FindOrCreateEvent(const char* groupName);
    // Every record's queued firings, records in creation order.
    void Trigger();

private:
    nHashList records_;
};
