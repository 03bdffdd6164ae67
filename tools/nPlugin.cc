#include "tools/nPlugin.h"

#include "kernel/nKernelServer.h"
#include "kernel/nTimeServer.h"
#include "tools/nPluginServer.h"

namespace {

const nCmdDef<nPlugin> cmds[] = {
    Bind<&nPlugin::SetActive>("v_setactive_b", "PSAT"),
    Bind<&nPlugin::GetActive>("b_getactive_v", "PGAT"),
    Bind<&nPlugin::IsShown>("b_isshown_v", "PISH"),
    Bind<&nPlugin::AddEventFunction>("v_addeventfunction_ss", "PAEF"),
    Bind<&nPlugin::RemoveEventFunction>("v_removeeventfunction_ss", "PREF"),
    Bind<&nPlugin::GetEvents>("s_getevents_v", "PGES"),
};

}  // namespace

const nClassInfo nPlugin::classInfo = nClassInfo::Make<nPlugin>("nplugin", "nroot", cmds);

nPlugin::nPlugin() = default;

nPlugin::~nPlugin() = default;

void nPlugin::SetActive(bool active) {
    active_ = active;
}

bool nPlugin::GetActive() const {
    return active_;
}

void nPlugin::Minimize() {}

bool nPlugin::Trigger() {
    return false;
}

void nPlugin::AddEventFunction(const char* event, const char* function) {
    nScriptEvent* e = FindEvent(event);
    if (!e) {
        nKernelServer::ks->Print("%s: no event '%s' to bind '%s' to\n", GetFullName().c_str(), event ? event : "",
                                 function ? function : "");
        return;
    }
    e->AddFunction(function);
}

void nPlugin::RemoveEventFunction(const char* event, const char* function) {
    nScriptEvent* e = FindEvent(event);
    if (!e) {
        nKernelServer::ks->Print("%s: no event '%s' to unbind '%s' from\n", GetFullName().c_str(),
                                 event ? event : "", function ? function : "");
        return;
    }
    e->RemoveFunction(function);
}

std::string nPlugin::GetEvents() const {
    std::string text;
    for (const auto& e : events_) e->AppendListing(text);
    return text;
}

int nPlugin::FindEventIndex(const char* name) const {
    if (!name) return -1;
    for (size_t i = 0; i < events_.size(); i++) {
        if (std::string_view(events_[i]->GetName()) == name) return static_cast<int>(i);
    }
    return -1;
}

nScriptEvent* nPlugin::FindEvent(const char* name) const {
    const int i = FindEventIndex(name);
    return i < 0 ? nullptr : events_[size_t(i)].get();
}

nScriptEvent* nPlugin::FindOrCreateEvent(const char* name, const char* argLetters) {
    if (nScriptEvent* e = FindEvent(name)) return e;
    events_.push_back(std::make_unique<nScriptEvent>(name ? name : "", argLetters));
    return events_.back().get();
}

void nPlugin::RemoveEvent(const char* name) {
    const int i = FindEventIndex(name);
    if (i >= 0) events_.erase(events_.begin() + i);
}

bool nPlugin::FireEvent(nScriptEvent* event) {
    if (!event || event->GetNumFunctions() == 0) return true;
    nScriptServer* script = refScript_.Resolve();
    if (!script) {
        nKernelServer::ks->Print("%s: no script server to fire '%s'\n", GetFullName().c_str(), event->GetName());
        return false;
    }
    return event->Fire(script);
}

ui::Host* nPlugin::GetUiHost() {
    auto* server = dynamic_cast<nPluginServer*>(refPluginServer_.Resolve());
    return server ? server->GetUiHost() : nullptr;
}

double nPlugin::ToolTime() {
    const nTimeServer* time = nKernelServer::ks->GetTimeServer();
    return time ? double(time->GetTicks()) / double(time->GetFrequency()) : 0.0;
}
