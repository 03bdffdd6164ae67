#include "kernel/nScriptServer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "kernel/nClass.h"
#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"

const nClassInfo nScriptServer::classInfo = nClassInfo::Make<nScriptServer>("nscriptserver", "nroot");

std::vector<nScriptServer*> nScriptServer::running_;
nScriptServer::Origin nScriptServer::origin_ = nScriptServer::Origin::Person;
bool nScriptServer::personNames_ = false;
bool nScriptServer::dataText_ = false;
uint64_t nScriptServer::dataTextBreaches_ = 0;
uint32_t nScriptServer::framesSinceInput_ = UINT32_MAX;

bool nScriptServer::RefuseInDataText(const char* what, const char* name, const nRoot* obj) {
    dataTextBreaches_++;
    n_printf("refused to script text that data brought: %s%s%s%s%s, beyond the game's declared entries\n", what,
             name ? " '" : "", name ? name : "", name ? "'" : "", obj ? (" of '" + obj->GetFullName() + "'").c_str() : "");
    return false;
}

bool nScriptServer::InDataTrees(const nRoot* obj) {
    const nRoot* persist = nKernelServer::ks->Lookup("/usr/persist");
    for (const nRoot* o = obj; o; o = o->GetParent()) {
        if (o == persist || o->IsA("nlogiclevel")) return true;
    }
    return false;
}

bool nScriptServer::MayRelease(const nRoot* obj, const nRoot* into, const char* what) {
    if (origin_ == Origin::Person || !obj) return true;
    if (dataText_) return RefuseInDataText(what, nullptr, obj);
    if (InDataTrees(obj->GetParent()) && (!into || InDataTrees(into))) return true;
    n_printf("refused to script text that data brought: %s '%s', outside the level and persist trees\n", what,
             obj->GetFullName().c_str());
    return false;
}

bool nScriptServer::InEngine(const nRoot* obj) {
    // The child of the root that holds `obj` is "/sys".
    const nRoot* top = obj;
    while (top && top->GetParent() && top->GetParent()->GetParent()) top = top->GetParent();
    if (!top || !top->GetParent()) return false;
    const char* name = top->GetName();
    return name && std::strcmp(name, "sys") == 0;
}

bool nScriptServer::MayCallEngine(const nRoot* obj, const nCmdProto* proto) {
    if (!obj || !InEngine(obj)) return true;
    n_printf("refused to script text that data brought: '%s' of '%s', a command of the engine\n", proto->GetName(),
             obj->GetFullName().c_str());
    return false;
}

bool nScriptServer::MayRunKept(const nRoot* obj, const nCmdProto* proto, Origin origin, bool& refused) {
    if (refused) return false;
    OriginScope scope(origin);
    refused = !MayCall(obj, proto);
    return !refused;
}

bool nScriptServer::DispatchKept(nRoot* obj, nCmd* cmd, Origin origin, bool& refused) {
    if (!MayRunKept(obj, cmd->GetProto(), origin, refused)) return false;
    OriginScope scope(origin);
    return obj->Dispatch(cmd);
}

bool nScriptServer::MayMake(const nClass* cls, const nRoot* parent, const char* what) {
    if (origin_ == Origin::Person) return true;
    if (dataText_) return RefuseInDataText(what, cls ? cls->GetName() : nullptr, parent);
    if (cls && cls->IsServerKind()) {
        n_printf("refused to script text that data brought: %s an object of class '%s', a server\n", what,
                 cls->GetName());
        return false;
    }
    if (parent && InEngine(parent)) {
        n_printf("refused to script text that data brought: %s an object below '%s', in the engine\n", what,
                 parent->GetFullName().c_str());
        return false;
    }
    return true;
}

bool nScriptServer::MayNameIn(const nRoot* parent, std::string_view path, bool logged) {
    if (origin_ == Origin::Person || personNames_ || InEngine(parent)) return true;
    auto nameChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
               c == '.';
    };
    for (size_t pos = 0; pos <= path.size();) {
        size_t end = std::min(path.find('/', pos), path.size());
        const std::string_view part = path.substr(pos, end - pos);
        pos = end + 1;
        if (std::all_of(part.begin(), part.end(), nameChar)) continue;
        if (!logged) return false;
        // Shown on one line and cut short: the name is data's.
        std::string shown(part.substr(0, 60));
        for (char& c : shown) c = (unsigned char)c < 0x20 || c == 0x7f ? '?' : c;
        n_printf("refused to script text that data brought: the name '%s%s' below '%s' (a name holds only letters, "
                 "digits, '_', '-' and '.')\n",
                 shown.c_str(), part.size() > shown.size() ? "..." : "", parent ? parent->GetFullName().c_str() : "");
        return false;
    }
    return true;
}

bool nScriptServer::InScratch(const nRoot* obj) {
    const nRoot* top = obj;
    while (top && top->GetParent()) top = top->GetParent();
    return top && nKernelServer::ks && top != nKernelServer::ks->GetRoot();
}

bool nScriptServer::MayPlace(const nRoot* parent, const char* what) {
    if (origin_ == Origin::Person) return true;
    if (dataText_) return RefuseInDataText(what, nullptr, parent);
    // What data makes lives only where data may release it again and where it goes with the
    // level or the next load; a tree not (yet) in the object tree is a loader's scratch.
    if (parent && (InScratch(parent) || InDataTrees(parent))) return true;
    n_printf("refused to script text that data brought: %s an object below '%s', outside the level and "
             "persist trees\n",
             what, parent ? parent->GetFullName().c_str() : "");
    return false;
}

bool nScriptServer::PersonOnly(const char* what) {
    if (origin_ == Origin::Person) return true;
    if (dataText_) return RefuseInDataText(what, nullptr, nullptr);
    n_printf("refused to script text that data brought: %s\n", what);
    return false;
}

nScriptServer::RunningGuard::RunningGuard(nScriptServer* server) : server_(server) { running_.push_back(server); }

nScriptServer::RunningGuard::~RunningGuard() {
    for (size_t i = running_.size(); i-- > 0;) {
        if (running_[i] == server_) {
            running_.erase(running_.begin() + long(i));
            break;
        }
    }
}

bool nScriptServer::HoldsRunningServer(const nRoot* obj) {
    if (!obj) return false;
    for (nScriptServer* s : running_) {
        for (const nRoot* o = s; o; o = o->GetParent()) {
            if (o == obj) return true;
        }
    }
    return false;
}

bool nScriptServer::Run(const char*, const char*& result) {
    result = "";
    return false;
}

bool nScriptServer::RunCatching(const char* text, const char*& result, std::string& error) {
    const bool ok = Run(text, result);
    if (ok) error.clear();
    else error = "the script server ran nothing";
    return ok;
}

bool nScriptServer::RunScript(const char*, const char*& result) {
    result = "";
    return false;
}

void nScriptServer::Enqueue(const char*) {}

bool nScriptServer::RunDataFile(const char*, nRoot*, const char*& result) {
    result = "";
    return false;
}

bool nScriptServer::RunLine(const char*, const char*& result) {
    result = "";
    return false;
}

bool nScriptServer::RunDataText(const char*, const char*& result) {
    result = "";
    return false;
}

bool nScriptServer::RunMapFile(const char*, Origin, const char*& result) {
    result = "";
    return false;
}

nFile* nScriptServer::BeginWrite(const char*, nRoot*) { return nullptr; }
bool nScriptServer::WriteBeginNewObject(nFile*, nRoot*, nRoot*) { return false; }
bool nScriptServer::WriteBeginObjectCmd(nFile*, nRoot*, nRoot*, nCmd*) { return false; }
bool nScriptServer::WriteBeginSelObject(nFile*, nRoot*, nRoot*) { return false; }
bool nScriptServer::WriteCmd(nString&, nCmd*) { return false; }
bool nScriptServer::WriteObjectCmd(nFile*, nCmd*) { return false; }
bool nScriptServer::WriteEndObject(nFile*, nRoot*, nRoot*) { return false; }
bool nScriptServer::EndWrite(nFile*) { return false; }
void nScriptServer::AbortWrite(nFile*) {}

bool nScriptServer::Trigger() {
    bool keepRunning = !quitRequested;
    quitRequested = false;
    return keepRunning;
}

char* nScriptServer::Prompt(char* buf, int size) {
    if (buf && size > 0) buf[0] = 0;
    return buf;
}
