#pragma once
// The device-independent half of input (script class "ninputserver",
// "/sys/servers/input"). The window procedure and the DirectInput devices post
// events into a per-frame queue; once per frame Trigger evaluates the input
// mappings over it, sets the named input states, runs the script texts that
// mappings fire and mirrors every state into "/sys/var/is_<name>". The observer
// flushes the queue at the end of the frame. The channels a mapping may name are
// published under "/sys/share/input/devs".
#include <cstdint>
#include <string>

#include "input/nInputEvent.h"
#include "input/nInputEventPool.h"
#include "kernel/nHashList.h"
#include "kernel/nList.h"
#include "kernel/nPathRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nInputMapEntry;
class nInputState;
class nScriptServer;

class nInputServer : public nRoot {
public:
    static const nClassInfo classInfo;

    struct KeyName {
        const char* name;
        int code;
    };
    // The engine's key names with their codes 4..110, ended by {nullptr, 0}.
    static const KeyName keyNames[];
    // The name of an engine key code, null for codes without one.
    static const char* GetKeyName(int code);

    nInputServer();
    ~nInputServer() override;

    // One frame: evaluate the mappings over the queued events, run the fired
    // scripts, mirror the states.
    virtual void Trigger(double time);

    // A cleared event from the pool; fill it and PostEvent it.
    nInputEvent* NewEvent() { return pool.Take(); }
    // Queues an event of the devices or the window.
    void PostEvent(nInputEvent* event) { events.AddTail(&event->node); }
    nInputEvent* FirstEvent() const;
    static nInputEvent* NextEvent(const nInputEvent* event) { return event->GetSucc(); }
    // Returns every queued event to the pool.
    virtual void FlushEvents();
    // Every held mapping sees a release in the next frame; every axis value becomes 0.
    void ReleaseAll();

    // Binds "[prefix&]device:channel[.kind]" to a state or a "script:" text. False,
    // making nothing, for an unknown device or channel or a text without ':'.
    bool Map(const char* eventText, const char* target);
    void BeginMap();
    void EndMap();
    // Sets every mapping aside, with its state held, so that a mode of its own (the
    // engine's viewer inside the game) maps from nothing; false, changing nothing, while
    // mappings are set aside already.
    bool ParkMappings();
    // Maps again, beside the current ones, the parked mappings whose event text begins
    // with `prefix` (a key that keeps its meaning in the other mode); their count.
    int MapParked(const char* prefix);
    // Deletes the mappings made since ParkMappings and brings the parked ones back, each
    // seeing a release, as after ReleaseAll. Nothing while none are parked.
    void RestoreMappings();
    bool HasParkedMappings() const { return parked; }

    bool GetButton(const char* state) const;
    float GetSlider(const char* state) const;

    void StartLogging() { logging = true; }
    void StopLogging() { logging = false; }
    bool IsLogging() const { return logging; }
    void SetLongPressedTime(double t) { longPressTime = t; }
    double GetLongPressedTime() const { return longPressTime; }
    void SetDoubleClickTime(double t) { doubleClickTime = t; }
    double GetDoubleClickTime() const { return doubleClickTime; }
    void SetMouseFactor(float f) { mouseFactor = f; }
    float GetMouseFactor() const { return mouseFactor; }
    void SetMouseInvert(bool b) { mouseInvert = b; }
    bool GetMouseInvert() const { return mouseInvert; }
    double GetTime() const { return curTime; }

    // For mappings: the state of that name, made (with its object under
    // "/sys/share/input/states") when missing; states die when no mapping holds them.
    nInputState* ObtainState(const char* name);
    void ReleaseState(nInputState* state);
    nInputState* FindState(const char* name) const;
    nInputMapEntry* FindMapping(const char* key) const;
    nInputEventPool& GetPool() { return pool; }
    int GetNumMappings() const;
    int GetNumStates() const;

    static const int MaxScripts = 16;

protected:
    nInputEventPool pool;
    double curTime = 0.0;
    nPathRef<nScriptServer> refScript;
    nPathRef<nRoot> refConsole;
    nRef<nRoot> refStates;
    nRef<nRoot> refInput;

private:
    void MakeDefaultDevices();
    void LogEvents();
    void MirrorState(nInputState* state);
    void DeleteMapping(nInputMapEntry* entry);

    nList events;
    bool logging = false;
    bool mapping = false;
    bool parked = false;
    nHashList mappings;
    nHashList parkedMappings;
    nHashList states;
    int numScripts = 0;
    std::string scripts[MaxScripts];
    nScriptServer::Origin scriptOrigins[MaxScripts] = {};
    double longPressTime = 1.0;
    double doubleClickTime = 0.5;
    float mouseFactor = 1.0f;
    bool mouseInvert = false;
};
