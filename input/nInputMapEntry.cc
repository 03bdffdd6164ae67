#include "input/nInputMapEntry.h"

#include <cstring>

#include "input/nInputServer.h"
#include "input/nInputState.h"

nInputMapEntry::nInputMapEntry(nInputServer* owner, const char* key, nInputEvent* patternEvent, uint32_t wanted,
                               double longPress, double doubleClick)
    : nHashNode(key),
      server(owner),
      pattern(patternEvent),
      longPressTime(longPress),
      doubleClickTime(doubleClick),
      wantedBits(wanted) {}

nInputMapEntry::~nInputMapEntry() {
    nHashNode::Remove();
    if (pattern) server->GetPool().Give(pattern);
    pattern = nullptr;
    ReleaseState();
}

uint32_t nInputMapEntry::KindBits(const char* word) {
    static const struct {
        const char* word;
        uint32_t bit;
    } kinds[] = {{"pressed", Held}, {"down", Pressed}, {"up", Released},
                 {"longdown", LongDown}, {"long", Long}, {"double", Double}};
    if (!word) return 0;
    for (const auto& k : kinds)
        if (std::strcmp(word, k.word) == 0) return k.bit;
    return 0;
}

bool nInputMapEntry::Matches(const nInputEvent& p, const nInputEvent& e) {
    if (e.flags & N_IEF_HANDLED) return false;
    if (p.deviceId != e.deviceId) return false;
    switch (p.type) {
        case N_INPUT_KEY_DOWN:
        case N_INPUT_KEY_UP:
            return (e.type == N_INPUT_KEY_DOWN || e.type == N_INPUT_KEY_UP) && p.number == e.number;
        case N_INPUT_KEY_CHAR: return e.type == N_INPUT_KEY_CHAR && p.number == e.number;
        case N_INPUT_MOUSE_MOVE: return e.type == N_INPUT_MOUSE_MOVE;
        case N_INPUT_AXIS_MOVE: return e.type == N_INPUT_AXIS_MOVE && p.number == e.number;
        case N_INPUT_BUTTON_DOWN:
        case N_INPUT_BUTTON_UP:
            return (e.type == N_INPUT_BUTTON_DOWN || e.type == N_INPUT_BUTTON_UP) && p.number == e.number;
        default: return false;
    }
}

void nInputMapEntry::ReleaseState() {
    if (state) {
        nInputState* old = state;
        state = nullptr;
        server->ReleaseState(old);
    }
}

void nInputMapEntry::SetTarget(const char* target) {
    static const char prefix[] = "script:";
    const size_t prefixLen = sizeof(prefix) - 1;
    if (!target) target = "";
    if (std::strncmp(target, prefix, prefixLen) == 0) {
        script = target + prefixLen;
        origin = nScriptServer::CurrentOrigin();
        hasScript = true;
        ReleaseState();
        return;
    }
    script.clear();
    hasScript = false;
    if (state && std::strcmp(state->GetName(), target) == 0) return;
    // The new state must exist before the old one can die (both may share a name's bucket).
    nInputState* next = server->ObtainState(target);
    next->refCount++;
    if (state) {
        ReleaseIfHeld();
        ReleaseState();
    }
    state = next;
}

void nInputMapEntry::ReleaseIfHeld() {
    if (stateBits & Held) pending |= ReleaseSeen;
}

void nInputMapEntry::BeginFrame(double time) {
    currentTime = time;
    evaluated = false;
    if (state) {
        state->flag = false;
        state->value = 0.0f;
    }
    stateBits &= (Held | Long);
    if ((stateBits & Held) && (currentTime - lastPressTime) > longPressTime) {
        if (!(stateBits & Long)) stateBits |= LongDown;
        stateBits |= Long;
    }
}

void nInputMapEntry::Collect(const nInputEvent* event) {
    // In queue order: a release followed by a new press in one frame (a quick second tap
    // at a low frame rate) is a press that ends the frame held, not one lost to the held
    // state the release has not cleared yet.
    bool held = (stateBits & Held) && !(pending & ReleaseSeen);
    for (; event; event = event->GetSucc()) {
        if (!Matches(*pattern, *event)) continue;
        switch (event->type) {
            case N_INPUT_KEY_DOWN:
            case N_INPUT_BUTTON_DOWN:
                if (!held) pending |= PressSeen;
                held = true;
                break;
            case N_INPUT_KEY_UP:
            case N_INPUT_BUTTON_UP:
                pending |= ReleaseSeen;
                held = false;
                break;
            case N_INPUT_MOUSE_MOVE:
            case N_INPUT_AXIS_MOVE: axisValue = event->value; break;
            default: break;
        }
    }
    if (held)
        pending |= HeldAtEnd;
    else
        pending &= ~uint32_t(HeldAtEnd);
}

void nInputMapEntry::EndFrame() {
    if (pending & PressSeen) {
        stateBits |= Pressed;
        if (pressedBefore && (currentTime - lastPressTime) < doubleClickTime) stateBits |= Double;
        lastPressTime = currentTime;
        pressedBefore = true;
    }
    if (pending & ReleaseSeen) {
        stateBits &= ~uint32_t(Held | Long);
        stateBits |= Released;
    }
    if (pending & HeldAtEnd) stateBits |= Held;
    pending &= ~uint32_t(PressSeen | ReleaseSeen | HeldAtEnd);
    evaluated = true;
}
