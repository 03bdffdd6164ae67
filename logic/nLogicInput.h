#pragma once
// A logic node that binds input names (input states of the input server) to script
// lines and runs them, with itself as the current object, in every frame the input
// is active, but only while it holds the focus of its focus group (script class
// "nlogicinput"). Its parent, when a logic node, lists it among its input nodes, so
// the grandparent's Trigger calls HandleInput before the parent's own Trigger.
#include <string>

#include "kernel/nArray.h"
#include "kernel/nHashList.h"
#include "kernel/nHashNode.h"
#include "kernel/nPathRef.h"
#include "logic/nLogicNode.h"

class nLogicInputGroup;
class nLogicInputServer;
class nInputServer;

class nLogicInputEntry : public nHashNode {
public:
    nLogicInputEntry(const char* name, const char* cmd)
        : nHashNode(name), line(cmd ? cmd : ""), origin(nScriptServer::CurrentOrigin()) {}
    ~nLogicInputEntry() override = default;
    std::string line;
    // The origin of the text that bound the line: it runs with it.
    nScriptServer::Origin origin;
};

class nLogicInput : public nLogicNode {
public:
    static const nClassInfo classInfo;

    nLogicInput();
    ~nLogicInput() override;

    // Enters the parent's input list; a parent that is no logic node is logged.
    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    // Reads the frame's mouse position and, with the focus, runs the lines of the
    // active inputs. Lines may remove entries or release this node: the run goes over
    // the entries as they were and stops once the node died.
    void HandleInput() override;

    // A name already bound keeps its first line.
    void AddInput(const char* name, const char* line);
    // "" when the name has no entry.
    std::string GetInput(const char* name) const;
    void RemoveInput(const char* name);
    int GetNumInputs() const;
    void SetFocus(bool on);
    bool GetFocus() const { return focus_; }
    void SetGroup(const char* name);
    std::string GetGroup() const { return groupName_; }
    // Whether this node's keys answer what shows (the menu's own keys), so that a declared
    // entry that answers the person's input may run after one of them; no other key is an
    // answer. The person's text only (data's refused, logged).
    void SetAnswers(bool on);
    bool GetAnswers() const { return answers_; }
    // The pointer's place as the frame's last mouse event (a move or a button) left it.
    int GetMouseX() const { return mouseX_; }
    int GetMouseY() const { return mouseY_; }
    // Where the frame's last press of a mouse button came; without one, the pointer's place.
    int GetPressX() const { return pressX_; }
    int GetPressY() const { return pressY_; }

private:
    friend class nLogicInputServer;

    // The server when it exists; the node joins its group on first sight of it.
    nLogicInputServer* Server();
    bool IsActive(nInputServer* input, const char* name) const;

    bool focus_ = false;
    bool answers_ = false;
    std::string groupName_ = "default";
    int mouseX_ = 0;
    int mouseY_ = 0;
    int pressX_ = 0;
    int pressY_ = 0;
    nHashList entries_{16};
    // The entries of the run in progress; one removed meanwhile is nulled here.
    nArray<nLogicInputEntry*> walk_;
    bool walking_ = false;
    // Set by the server while the node is a member; cleared when the server dies.
    nLogicInputServer* server_ = nullptr;
    nLogicInputGroup* group_ = nullptr;
    nPathRef<nLogicInputServer> serverRef_{"/sys/servers/logicinput"};
    nPathRef<nScriptServer> scriptLineRef_{"/sys/servers/script"};
};
