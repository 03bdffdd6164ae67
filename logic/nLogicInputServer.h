#pragma once
// Keeps the focus groups of the logic input nodes (script class "nlogicinputserver",
// "/sys/servers/logicinput"). Within a group at most one node has the focus, so a
// menu and the game share keys by taking the focus from each other. A group exists
// while it has members. Groups are named by scripts, so an unknown group name is
// logged and changes nothing.
#include "kernel/nArray.h"
#include "kernel/nHashList.h"
#include "kernel/nHashNode.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"

class nInputServer;
class nLogicInput;

class nLogicInputGroup : public nHashNode {
public:
    explicit nLogicInputGroup(const char* name) : nHashNode(name) {}
    ~nLogicInputGroup() override = default;

    // The group's focused node; its flag may be cleared while it stays focused.
    nLogicInput* focused = nullptr;
    nArray<nLogicInput*> members;
};

class nLogicInputServer : public nRoot {
public:
    static const nClassInfo classInfo;

    nLogicInputServer() = default;
    // Clears its members' focus and group links: they outlive it in the logic tree.
    ~nLogicInputServer() override;

    nLogicInputGroup* FindGroup(const char* name) const;
    // Adds the node to the group of that name, made when missing.
    nLogicInputGroup* Join(nLogicInput* node, const char* name);
    // Removes the node from its group (it loses the focus); an emptied group goes.
    void Leave(nLogicInput* node);
    // The focus of a member: true makes it the focused node, false leaves the group
    // without one, whichever member asks.
    void SetFocus(nLogicInput* node, bool on);

    // The focus flag of the group's focused node; false clears the flag but keeps the
    // node focused. An unknown group is logged; false.
    bool SetGroupFocus(const char* group, bool on);
    bool GetGroupFocus(const char* group) const;
    void SetEnabled(bool on) { enabled_ = on; }
    bool GetEnabled() const { return enabled_; }
    int GetNumGroups() const;

    // The input server; "Aborting." when missing.
    nInputServer* GetInputServer();

private:
    nHashList groups_{16};
    bool enabled_ = true;
    nPathRef<nInputServer> inputRef_{"/sys/servers/input"};
};
