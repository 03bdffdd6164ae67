#pragma once
// The handler of one named event of a logic node: the node queues it when the event
// fires, and the event's record runs it at the start of the next frame. Kind 1 runs a
// script text, kind 2 a list of script lines, kind 3 a native function; all read the
// firing's arguments from the shared event object "/sys/events/<group>/<event>".
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/nString.h"

class nLogicEvent;
class nLogicEventRecord;
class nRoot;

class nLogicEventHandler {
public:
    enum Kind { Script = 1, Function = 2, Callback = 3 };
    using CallbackFn = void (*)(nLogicEventHandler* handler);

    // The handler factory the logic node calls: a handler of `kind` for `eventName`
    // in `record`'s group, owned by the caller. Any kind but 1 to 3 is a program
    // error: fatal "unknown event type for creation!\n".
    static nLogicEventHandler* Create(int kind, nRoot* owner, const char* eventName, nLogicEventRecord* record);

    // Clears every queued firing of this handler and drops its event object.
    virtual ~nLogicEventHandler();
    nLogicEventHandler(const nLogicEventHandler&) = delete;
    nLogicEventHandler& operator=(const nLogicEventHandler&) = delete;

    int GetKind() const { return kind_; }
    // The node whose event this is; null when none (or gone).
    nRoot* GetOwner() const { return owner_.GetUnsafe(); }
    const char* GetEventName() const { return eventName_.Get(); }
    // Null once the event server that held the record is gone.
    nLogicEventRecord* GetRecord() const { return record_; }

    // Queues a firing with the event object's variables as they are now. An unbound
    // handler is not queued; false then, and (logged) when the record is gone.
    bool Queue();

    // The event object, found again or made at its path when a script deleted it;
    // null (logged) when the path holds an object of another class or the record is gone.
    virtual nLogicEvent* GetEventObject();
    // The same without a call while the object lives: queuing and firing ask it of every
    // firing.
    nLogicEvent* EventObject() {
        nLogicEvent* obj = eventObject_.GetUnsafe();
        return obj ? obj : GetEventObject();
    }

    // The operations of the kinds. One that a kind lacks is a program error (no script
    // command reaches them): fatal "pure virtual function call!\n".
    virtual void Fire();
    virtual bool IsBound() const;
    virtual void SetScript(const char* text);
    virtual const char* GetFunction(int index);
    virtual const char* GetScript() const;
    // The origin of the text that set the script.
    virtual nScriptServer::Origin GetScriptOrigin() const { return nScriptServer::Origin::Data; }
    virtual void AddFunction(const char* line);
    virtual void RemoveFunction(const char* line);
    virtual int FindFunction(const char* line) const;
    virtual void SetCallback(CallbackFn fn);

protected:
    nLogicEventHandler(int kind, nRoot* owner, const char* eventName, nLogicEventRecord* record);
    [[noreturn]] static void PureCall();

    // Marks a running Fire of one handler, so that code after a script run can tell
    // whether the script destroyed the handler.
    struct FiringMark {
        explicit FiringMark(const nLogicEventHandler* h);
        ~FiringMark();
        const nLogicEventHandler* handler;
        bool died = false;
        FiringMark* outer;
    };

private:
    friend class nLogicEventRecord;
    static FiringMark* firing_;

    int kind_;
    nRef<nRoot> owner_;
    nString eventName_;
    nLogicEventRecord* record_;
    nRef<nLogicEvent> eventObject_;
};
