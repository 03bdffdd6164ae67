#pragma once
// Something a character can use (script class "nlogicitem"): using it fires the node's
// "onuse" event. The game's item classes override Use.
#include "logic/nLogicPhysik2.h"

class nLogicEventHandler;

class nLogicItem : public nLogicPhysik2 {
public:
    static const nClassInfo classInfo;

    nLogicItem();

    // Queues the "onuse" handler when a script is bound to it and answers false; true
    // when nothing is bound. The user (null when there is none) is not passed on.
    virtual bool Use(nRoot* user);
    // Use with the object at that path; a path that names nothing gives a null user.
    bool UseByPath(const char* path);

    nLogicEventHandler* GetUseHandler() const { return useHandler_; }

private:
    nLogicEventHandler* useHandler_ = nullptr;
};
