#include "input/nInputServer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "input/nInputMapEntry.h"
#include "input/nInputState.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"

static const nCmdDef<nInputServer> cmds[] = {
    {"v_startlogging_v", "STLG", [](nInputServer* self, nCmd*) { self->StartLogging(); }},
    {"v_stoplogging_v", "SPLG", [](nInputServer* self, nCmd*) { self->StopLogging(); }},
    {"b_islogging_v", "ISLG", [](nInputServer* self, nCmd* c) { c->Out()->SetB(self->IsLogging()); }},
    {"v_beginmap_v", "BGMP", [](nInputServer* self, nCmd*) { self->BeginMap(); }},
    {"b_map_ss", "MAP_",
     [](nInputServer* self, nCmd* c) {
         const char* event = c->In()->GetS();
         const char* target = c->In()->GetS();
         c->Out()->SetB(self->Map(event, target));
     }},
    {"v_endmap_v", "EDMP", [](nInputServer* self, nCmd*) { self->EndMap(); }},
    {"f_getslider_s", "GSLD", [](nInputServer* self, nCmd* c) { c->Out()->SetF(self->GetSlider(c->In()->GetS())); }},
    {"b_getbutton_s", "GBTN", [](nInputServer* self, nCmd* c) { c->Out()->SetB(self->GetButton(c->In()->GetS())); }},
    {"v_setlongpressedtime_f", "SLPT", [](nInputServer* self, nCmd* c) { self->SetLongPressedTime(c->In()->GetF()); }},
    {"f_getlongpressedtime_v", "GLPT",
     [](nInputServer* self, nCmd* c) { c->Out()->SetF(float(self->GetLongPressedTime())); }},
    {"v_setdoubleclicktime_f", "SDCT", [](nInputServer* self, nCmd* c) { self->SetDoubleClickTime(c->In()->GetF()); }},
    {"f_getdoubleclicktime_v", "GDCT",
     [](nInputServer* self, nCmd* c) { c->Out()->SetF(float(self->GetDoubleClickTime())); }},
    {"v_setmousefactor_f", "SMSF", [](nInputServer* self, nCmd* c) { self->SetMouseFactor(c->In()->GetF()); }},
    {"f_getmousefactor_v", "GMSF", [](nInputServer* self, nCmd* c) { c->Out()->SetF(self->GetMouseFactor()); }},
    {"v_setmouseinvert_b", "SMIV", [](nInputServer* self, nCmd* c) { self->SetMouseInvert(c->In()->GetB()); }},
    {"b_getmouseinvert_v", "GMIV", [](nInputServer* self, nCmd* c) { c->Out()->SetB(self->GetMouseInvert()); }},
};
const nClassInfo nInputServer::classInfo = nClassInfo::Make<nInputServer>("ninputserver", "nroot", cmds);

const nInputServer::KeyName nInputServer::keyNames[] = {
    {"bs", 4},       {"tab", 5},      {"return", 6},  {"shift", 7},    {"ctrl", 8},     {"menu", 9},
    {"pause", 10},   {"capital", 11}, {"esc", 12},    {"space", 13},   {"prior", 14},   {"next", 15},
    {"end", 16},     {"home", 17},    {"left", 18},   {"up", 19},      {"right", 20},   {"down", 21},
    {"select", 22},  {"print", 23},   {"exec", 24},   {"snap", 25},    {"insert", 26},  {"delete", 27},
    {"help", 28},    {"1", 29},       {"2", 30},      {"3", 31},       {"4", 32},       {"5", 33},
    {"6", 34},       {"7", 35},       {"8", 36},      {"9", 37},       {"0", 38},       {"a", 39},
    {"b", 40},       {"c", 41},       {"d", 42},      {"e", 43},       {"f", 44},       {"g", 45},
    {"h", 46},       {"i", 47},       {"j", 48},      {"k", 49},       {"l", 50},       {"m", 51},
    {"n", 52},       {"o", 53},       {"p", 54},      {"q", 55},       {"r", 56},       {"s", 57},
    {"t", 58},       {"u", 59},       {"v", 60},      {"w", 61},       {"x", 62},       {"y", 63},
    {"z", 64},       {"lwin", 65},    {"rwin", 66},   {"apps", 67},    {"num0", 68},    {"num1", 69},
    {"num2", 70},    {"num3", 71},    {"num4", 72},   {"num5", 73},    {"num6", 74},    {"num7", 75},
    {"num8", 76},    {"num9", 77},    {"mult", 78},   {"plus", 79},    {"sep", 80},     {"minus", 81},
    {"decimal", 82}, {"divide", 83},  {"f1", 84},     {"f2", 85},      {"f3", 86},      {"f4", 87},
    {"f5", 88},      {"f6", 89},      {"f7", 90},     {"f8", 91},      {"f9", 92},      {"f10", 93},
    {"f11", 94},     {"f12", 95},     {"f13", 96},    {"f14", 97},     {"f15", 98},     {"f16", 99},
    {"f17", 100},    {"f18", 101},    {"f19", 102},   {"f20", 103},    {"f21", 104},    {"f22", 105},
    {"f23", 106},    {"f24", 107},    {"numlock", 108}, {"scroll", 109}, {"zircum", 110}, {nullptr, 0},
};

const char* nInputServer::GetKeyName(int code) {
    // The table runs without gaps from code 4.
    if (code < 4 || code > 110) return nullptr;
    return keyNames[code - 4].name;
}

namespace {

constexpr int HashBuckets = 64;

// Makes "channels/<name>" under `dev` hold the pattern text.
void AddChannel(nRoot* dev, const char* name, const char* pattern) {
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(dev);
    std::string path = std::string("channels/") + name;
    if (nEnv* env = static_cast<nEnv*>(ks->NewNoFail("nenv", path.c_str()))) env->SetS(pattern);
    ks->PopCwd();
}

void SetDeviceName(nRoot* dev, const char* inst, const char* prod) {
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(dev);
    if (nEnv* env = static_cast<nEnv*>(ks->NewNoFail("nenv", "inst_name"))) env->SetS(inst);
    if (nEnv* env = static_cast<nEnv*>(ks->NewNoFail("nenv", "prod_name"))) env->SetS(prod);
    ks->PopCwd();
}

// The decimal value after `key` in a pattern text split at blanks and '='; 0 when
// the key is absent.
int PatternValue(const char* pattern, const char* key) {
    std::string text(pattern);
    std::string prev;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '=')) i++;
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '=') i++;
        if (start == i) break;
        std::string token = text.substr(start, i - start);
        if (prev == key) return std::atoi(token.c_str());
        prev = token;
    }
    return 0;
}

// A plain object name: not empty, not "." or "..", no '/'.
bool IsPlainName(const char* name) {
    return name && name[0] && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
           !std::strchr(name, '/');
}

}  // namespace

nInputServer::nInputServer()
    : refScript("/sys/servers/script"), refConsole("/sys/servers/console"), mappings(HashBuckets),
      parkedMappings(HashBuckets), states(HashBuckets) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* statesObj = ks->New("nroot", "/sys/share/input/states");
    statesObj->AddRef();
    refStates = statesObj;
    nRoot* inputObj = ks->New("nroot", "/sys/share/input");
    inputObj->AddRef();
    refInput = inputObj;
    MakeDefaultDevices();
}

nInputServer::~nInputServer() {
    FlushEvents();
    if (nRoot* obj = refStates.GetUnsafe()) obj->Release();
    if (nRoot* obj = refInput.GetUnsafe()) obj->Release();
    while (nInputMapEntry* entry = static_cast<nInputMapEntry*>(mappings.GetHead())) DeleteMapping(entry);
    while (nInputMapEntry* entry = static_cast<nInputMapEntry*>(parkedMappings.GetHead())) DeleteMapping(entry);
    while (nHashNode* state = states.RemHead()) delete static_cast<nInputState*>(state);
}

void nInputServer::MakeDefaultDevices() {
    nKernelServer* ks = nKernelServer::ks;
    char pattern[128];
    nRoot* keyb = ks->New("nroot", "/sys/share/input/devs/keyb0");
    SetDeviceName(keyb, "Keyboard 0", "Default Keyboard");
    for (const KeyName* k = keyNames; k->name; k++) {
        std::snprintf(pattern, sizeof(pattern), "devid=%d type=%d key=%d", N_INPUT_DEV_KEYBOARD, N_INPUT_KEY_DOWN,
                      k->code);
        AddChannel(keyb, k->name, pattern);
    }
    nRoot* mouse = ks->New("nroot", "/sys/share/input/devs/mouse0");
    SetDeviceName(mouse, "Mouse 0", "Default Mouse");
    for (int b = 0; b < 3; b++) {
        char name[16];
        std::snprintf(name, sizeof(name), "btn%d", b);
        std::snprintf(pattern, sizeof(pattern), "devid=%d type=%d btn=%d", N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_DOWN, b);
        AddChannel(mouse, name, pattern);
    }
}

// ---- events

nInputEvent* nInputServer::FirstEvent() const {
    nNode* n = events.GetHead();
    return n ? static_cast<nInputEvent*>(n->GetPtr()) : nullptr;
}

void nInputServer::FlushEvents() {
    while (nNode* n = events.GetHead()) pool.Give(static_cast<nInputEvent*>(n->GetPtr()));
}

void nInputServer::ReleaseAll() {
    for (nInputMapEntry* m = static_cast<nInputMapEntry*>(mappings.GetHead()); m; m = m->GetSucc()) {
        m->ReleaseIfHeld();
        m->SetAxisValue(0.0f);
    }
}

void nInputServer::LogEvents() {
    for (nInputEvent* e = FirstEvent(); e; e = e->GetSucc()) {
        n_printf("input event: type=%d flags=%u devid=%d num=%d val=%f x=%d y=%d relx=%f rely=%f\n", e->type,
                 e->flags, e->deviceId, e->number, double(e->value), e->x, e->y, double(e->relX), double(e->relY));
    }
}

// ---- states

nInputState* nInputServer::FindState(const char* name) const {
    return name ? static_cast<nInputState*>(states.Find(name)) : nullptr;
}

nInputState* nInputServer::ObtainState(const char* name) {
    if (nInputState* state = FindState(name)) return state;
    nInputState* state = new nInputState(name);
    states.AddTail(state);
    std::string path = std::string("/sys/share/input/states/") + name;
    nKernelServer::ks->NewNoFail("nroot", path.c_str());
    return state;
}

void nInputServer::ReleaseState(nInputState* state) {
    if (!state || --state->refCount > 0) return;
    // Nobody sets the mirror any more: it must not keep reading as held.
    if (nEnv* env = state->mirror.GetUnsafe()) env->SetS("false 0.000000");
    state->Remove();
    delete state;
}

bool nInputServer::GetButton(const char* name) const {
    nInputState* state = FindState(name);
    return state ? state->flag : false;
}

float nInputServer::GetSlider(const char* name) const {
    nInputState* state = FindState(name);
    return state ? state->value : 0.0f;
}

int nInputServer::GetNumStates() const {
    int n = 0;
    for (nHashNode* s = states.GetHead(); s; s = s->GetSucc()) n++;
    return n;
}

// ---- mappings

nInputMapEntry* nInputServer::FindMapping(const char* key) const {
    return key ? static_cast<nInputMapEntry*>(mappings.Find(key)) : nullptr;
}

int nInputServer::GetNumMappings() const {
    int n = 0;
    for (nHashNode* m = mappings.GetHead(); m; m = m->GetSucc()) n++;
    return n;
}

void nInputServer::DeleteMapping(nInputMapEntry* entry) {
    delete entry;
}

bool nInputServer::Map(const char* eventText, const char* target) {
    if (!eventText || !target) {
        n_error("nInputServer::Map: missing event text or target\n");
        return false;
    }
    const bool isScript = std::strncmp(target, "script:", 7) == 0;
    if (!isScript && !IsPlainName(target)) {
        n_error("nInputServer::Map: '%s' is no input state name (mapping '%s')\n", target, eventText);
        return false;
    }
    std::string key = std::string(eventText) + "_" + target;
    nInputMapEntry* entry = FindMapping(key.c_str());
    if (!entry) {
        // "[prefix&]device:channel[.kind]"
        const char* ref = eventText;
        if (const char* amp = std::strchr(eventText, '&')) ref = amp + 1;
        std::string channelRef(ref);
        std::string kind;
        size_t dot = channelRef.find('.');
        if (dot != std::string::npos) {
            kind = channelRef.substr(dot + 1);
            channelRef.resize(dot);
        }
        size_t colon = channelRef.find(':');
        if (colon == std::string::npos) {
            n_error("nInputServer::Map: '%s' names no device channel (device:channel)\n", eventText);
            return false;
        }
        std::string devName = channelRef.substr(0, colon);
        std::string chnName = channelRef.substr(colon + 1);
        nRoot* devs = nKernelServer::ks->Lookup("/sys/share/input/devs");
        nRoot* dev = (devs && IsPlainName(devName.c_str())) ? devs->Find(devName.c_str()) : nullptr;
        if (!dev) {
            n_error("nInputServer::Map: unknown input device '%s' in '%s'\n", devName.c_str(), eventText);
            return false;
        }
        nRoot* channels = dev->Find("channels");
        nRoot* chn = (channels && IsPlainName(chnName.c_str())) ? channels->Find(chnName.c_str()) : nullptr;
        const char* pattern = (chn && chn->IsA("nenv")) ? static_cast<nEnv*>(chn)->GetS() : nullptr;
        if (!pattern) {
            n_error("nInputServer::Map: device '%s' has no channel '%s' (mapping '%s')\n", devName.c_str(),
                    chnName.c_str(), eventText);
            return false;
        }
        nInputEvent* p = pool.Take();
        p->deviceId = PatternValue(pattern, "devid");
        p->type = PatternValue(pattern, "type");
        switch (p->type) {
            case N_INPUT_KEY_DOWN:
            case N_INPUT_KEY_UP: p->number = PatternValue(pattern, "key"); break;
            case N_INPUT_AXIS_MOVE: p->number = PatternValue(pattern, "axis"); break;
            case N_INPUT_BUTTON_DOWN:
            case N_INPUT_BUTTON_UP: p->number = PatternValue(pattern, "btn"); break;
            default: break;
        }
        entry = new nInputMapEntry(this, key.c_str(), p, nInputMapEntry::KindBits(kind.c_str()), longPressTime,
                                   doubleClickTime);
        mappings.AddTail(entry);
    }
    entry->SetTarget(target);
    entry->ClearStale();
    return true;
}

void nInputServer::BeginMap() {
    mapping = true;
    for (nInputMapEntry* m = static_cast<nInputMapEntry*>(mappings.GetHead()); m; m = m->GetSucc()) m->MarkStale();
}

void nInputServer::EndMap() {
    mapping = false;
    nInputMapEntry* m = static_cast<nInputMapEntry*>(mappings.GetHead());
    while (m) {
        nInputMapEntry* next = m->GetSucc();
        if (m->IsStale()) DeleteMapping(m);
        m = next;
    }
    for (m = static_cast<nInputMapEntry*>(mappings.GetHead()); m; m = m->GetSucc()) {
        nInputState* state = m->GetState();
        if (state && FindState(state->GetName()) != state) nKernelServer::FatalError("Aborting.\n");
    }
}

// ---- frame

bool nInputServer::ParkMappings() {
    if (parked) return false;
    parked = true;
    while (auto* m = static_cast<nInputMapEntry*>(mappings.RemHead())) {
        // Nothing evaluates a parked mapping: its state must not stay at this frame's value.
        if (nInputState* state = m->GetState()) {
            state->flag = false;
            state->value = 0.0f;
        }
        parkedMappings.AddTail(m);
    }
    return true;
}

int nInputServer::MapParked(const char* prefix) {
    if (!parked || !prefix) return 0;
    const size_t n = std::strlen(prefix);
    int mapped = 0;
    for (auto* m = static_cast<nInputMapEntry*>(parkedMappings.GetHead()); m; m = m->GetSucc()) {
        // The key is "<event text>_<target>".
        const std::string target = m->HasScript() ? "script:" + m->GetScript()
                                                  : std::string(m->GetState() ? m->GetState()->GetName() : "");
        const std::string key = m->GetName();
        if (target.empty() || key.size() <= target.size() + 1 || key.compare(0, n, prefix) != 0) continue;
        mapped += Map(key.substr(0, key.size() - target.size() - 1).c_str(), target.c_str());
    }
    return mapped;
}

void nInputServer::RestoreMappings() {
    if (!parked) return;
    parked = false;
    while (nInputMapEntry* entry = static_cast<nInputMapEntry*>(mappings.GetHead())) DeleteMapping(entry);
    while (auto* m = static_cast<nInputMapEntry*>(parkedMappings.RemHead())) {
        m->ReleaseIfHeld();
        m->SetAxisValue(0.0f);
        mappings.AddTail(m);
    }
}

void nInputServer::Trigger(double time) {
    curTime = time;
    if (logging) LogEvents();

    nInputMapEntry* head = static_cast<nInputMapEntry*>(mappings.GetHead());
    for (nInputMapEntry* m = head; m; m = m->GetSucc()) m->BeginFrame(time);
    for (nInputMapEntry* m = head; m; m = m->GetSucc()) m->Collect(FirstEvent());
    for (nInputMapEntry* m = head; m; m = m->GetSucc()) m->EndFrame();

    for (nInputMapEntry* m = head; m; m = m->GetSucc()) {
        const bool fires = m->Fires();
        if (m->HasScript() && fires && numScripts < MaxScripts) {
            scriptOrigins[numScripts] = m->GetOrigin();
            scripts[numScripts++] = m->GetScript();
        }
        if (nInputState* state = m->GetState()) {
            auto clamp = [](float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); };
            if (fires) {
                state->flag = true;
                state->value = clamp(state->value + 1.0f);
            }
            state->value = clamp(state->value + m->GetAxisValue());
        }
    }

    if (numScripts > 0) {
        nScriptServer* script = refScript.Get();
        // A script may release this server; it must outlive the loop.
        AddRef();
        for (int i = 0; i < numScripts; i++) {
            const char* result = nullptr;
            script->RunStored(scripts[i].c_str(), scriptOrigins[i], result);
        }
        numScripts = 0;
        if (Release()) return;
    }

    for (nHashNode* s = states.GetHead(); s; s = s->GetSucc()) MirrorState(static_cast<nInputState*>(s));
}

void nInputServer::MirrorState(nInputState* state) {
    nEnv* env = state->mirror.GetUnsafe();
    if (!env) {
        std::string path = std::string("/sys/var/is_") + state->GetName();
        nRoot* obj = nKernelServer::ks->Lookup(path.c_str());
        if (!obj) obj = nKernelServer::ks->NewNoFail("nenv", path.c_str());
        if (!obj || !obj->IsA("nenv")) return;
        env = static_cast<nEnv*>(obj);
        state->mirror = env;
    }
    char text[64];
    std::snprintf(text, sizeof(text), "%s %f", state->flag ? "true" : "false", double(state->value));
    env->SetS(text);
}
