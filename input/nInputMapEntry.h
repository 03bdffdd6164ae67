#pragma once
// One input mapping: a device channel and a kind of change ("down", "pressed", ...)
// bound to an input state or to a script text. Owned by the input server's mapping
// list under the key "<event text>_<target>"; evaluated once per frame.
#include <cstdint>
#include <string>

#include "kernel/nHashNode.h"
#include "kernel/nScriptServer.h"

class nInputEvent;
class nInputServer;
class nInputState;

class nInputMapEntry : public nHashNode {
public:
    // State bits.
    enum : uint32_t {
        Held = 1,
        Pressed = 2,
        Released = 4,
        LongDown = 8,
        Long = 16,
        Double = 32,
    };
    // Pending flags.
    enum : uint32_t {
        Stale = 1,
        ReleaseSeen = 2,
        PressSeen = 4,
        // Collect's last event left the channel pressed (or, with none, it was held).
        HeldAtEnd = 8,
    };

    // Takes ownership of `pattern`, a pool event holding device id, type and number.
    nInputMapEntry(nInputServer* server, const char* key, nInputEvent* pattern, uint32_t wantedBits,
                   double longPressTime, double doubleClickTime);
    // Gives the pattern back to the pool and lets go of the state.
    ~nInputMapEntry() override;

    // The kind word's bit ("pressed" 1 ... "double" 32); 0 for any other word.
    static uint32_t KindBits(const char* word);
    // True when `event` is one the pattern stands for (consumed events never are).
    static bool Matches(const nInputEvent& pattern, const nInputEvent& event);

    // Points the mapping at the state of that name (made when missing), or, for
    // "script:<text>", at that script text.
    void SetTarget(const char* target);
    // The next evaluation sees a release when the mapping is held now.
    void ReleaseIfHeld();

    // The three evaluation passes over the server's queue.
    void BeginFrame(double time);
    void Collect(const nInputEvent* head);
    void EndFrame();

    // True when the state bits meet the wanted bits this frame.
    bool Fires() const { return (stateBits & wantedBits) != 0; }

    nInputServer* GetServer() const { return server; }
    const nInputEvent* GetPattern() const { return pattern; }
    nInputState* GetState() const { return state; }
    bool HasScript() const { return hasScript; }
    const std::string& GetScript() const { return script; }
    nScriptServer::Origin GetOrigin() const { return origin; }
    uint32_t GetStateBits() const { return stateBits; }
    uint32_t GetWantedBits() const { return wantedBits; }
    float GetAxisValue() const { return axisValue; }
    void SetAxisValue(float v) { axisValue = v; }
    void MarkStale() { pending |= Stale; }
    void ClearStale() { pending &= ~uint32_t(Stale); }
    bool IsStale() const { return (pending & Stale) != 0; }
    nInputMapEntry* GetSucc() const { return static_cast<nInputMapEntry*>(nHashNode::GetSucc()); }

private:
    void ReleaseState();

    nInputServer* server;
    nInputEvent* pattern;
    nInputState* state = nullptr;
    bool hasScript = false;
    std::string script;
    // The origin of the text that mapped the script: it runs with it.
    nScriptServer::Origin origin = nScriptServer::Origin::Person;
    // No press yet: the first press is never a double press.
    bool pressedBefore = false;
    double lastPressTime = 0.0;
    double currentTime = 0.0;
    double longPressTime;
    double doubleClickTime;
    float axisValue = 0.0f;
    bool evaluated = false;
    uint32_t stateBits = 0;
    uint32_t wantedBits;
    uint32_t pending = 0;
};
