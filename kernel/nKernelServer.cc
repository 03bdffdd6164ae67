#include "kernel/nKernelServer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/nDefaultLogHandler.h"
#include "kernel/nFileServer2.h"
#include "kernel/nLogFormat.h"
#include "kernel/nLogHandler.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRemoteServer.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "platform/system/StopWatchdog.h"
#include "platform/system/System.h"

nKernelServer* nKernelServer::ks = nullptr;

namespace {

enum class PathKind { Ok, NoComponent, Malformed };

// Checks an object path: a leading '/' makes it absolute and one trailing '/' is
// allowed; an empty component anywhere else ("a//b") makes the path malformed.
PathKind CheckPath(std::string_view path) {
    size_t pos = !path.empty() && path[0] == '/' ? 1 : 0;
    if (pos >= path.size()) return PathKind::NoComponent;
    while (pos < path.size()) {
        size_t end = path.find('/', pos);
        if (end == pos) return PathKind::Malformed;
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return PathKind::Ok;
}

// The next component of `path` from `pos` on; `pos` moves past it and its '/'.
std::string_view NextComponent(std::string_view path, size_t& pos) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(pos, end - pos);
    pos = end < path.size() ? end + 1 : end;
    return part;
}

}  // namespace

nKernelServer::nKernelServer(void (*package)(nKernelServer*)) : classList_(64) {
    ks = this;
    defaultLogHandler_ = new nDefaultLogHandler;
    logHandler_ = defaultLogHandler_;

    AddClass(nRoot::classInfo);
    if (package) package(this);

    nClass* rootClass = FindClass("nroot");
    root_ = rootClass->NewObject();
    root_->SetName("/");
    cwd_ = root_;

    struct {
        const char* className;
        const char* path;
        nRef<nRoot>* field;
    } servers[] = {
        {"nfileserver2", "/sys/servers/file2", &fileServer_},
        {"npersistserver", "/sys/servers/persist", &persistServer_},
        {"nremoteserver", "/sys/servers/remote", &remoteServer_},
        {"ntimeserver", "/sys/servers/time", &timeServer_},
    };
    for (auto& s : servers) {
        if (FindClass(s.className)) s.field->Set(New(s.className, s.path));
    }
}

nKernelServer::~nKernelServer() {
    ReleaseServer(timeServer_);
    ReleaseServer(persistServer_);
    ReleaseServer(fileServer_);
    ReleaseServer(remoteServer_);

    // The whole tree goes, even when someone still holds a count on the root.
    nRoot* root = root_;
    root_ = nullptr;
    cwd_ = nullptr;
    if (root) {
        while (!root->Release()) {
        }
    }
    cwdStack_.clear();
    cwdDepth_ = 0;

    // Free classes leaves first: a class is freed once nothing derives from it or
    // holds it open.
    while (!classList_.IsEmpty()) {
        int freed = 0;
        nClass* cls = GetFirstClass();
        while (cls) {
            nClass* next = cls->GetSucc();
            if (cls->GetRefCount() == 0) {
                cls->Remove();
                delete cls;
                freed++;
            }
            cls = next;
        }
        if (freed == 0) {
            for (nClass* c = GetFirstClass(); c; c = c->GetSucc()) {
                Print("nKernelServer: class '%s' still has %d references\n", c->GetName(), c->GetRefCount());
            }
            FatalError("nKernelServer: Refcount errors occured during cleanup, check log for details!\n");
        }
    }

    logHandler_ = nullptr;
    delete defaultLogHandler_;
    defaultLogHandler_ = nullptr;
    if (ks == this) ks = nullptr;
}

nFileServer2* nKernelServer::GetFileServer() const { return GetFileServer<nFileServer2>(); }
nPersistServer* nKernelServer::GetPersistServer() const { return GetPersistServer<nPersistServer>(); }
nTimeServer* nKernelServer::GetTimeServer() const { return GetTimeServer<nTimeServer>(); }
nRemoteServer* nKernelServer::GetRemoteServer() const { return GetRemoteServer<nRemoteServer>(); }

nRoot* nKernelServer::Load(const char* fileName) {
    nPersistServer* ps = GetPersistServer();
    if (!ps) {
        Error("nKernelServer::Load(): no persistence server to load '%s'\n", fileName ? fileName : "");
        return nullptr;
    }
    return ps->LoadObject(fileName);
}

void nKernelServer::ReleaseServer(nRef<nRoot>& server) {
    nRoot* obj = server.GetUnsafe();
    server.Invalidate();
    if (obj) obj->Release();
}

// ---- classes

nClass* nKernelServer::AddClass(const nClassInfo& info) {
    if (!info.name || !info.name[0]) {
        Error("nKernelServer::AddClass(): class without a name\n");
        return nullptr;
    }
    if (nClass* existing = FindClass(info.name)) return existing;
    nClass* cls = new nClass(info.name, this, info.newObject);
    if (info.superName) OpenSuperClass(cls, info.superName);
    cls->SetInstanceSize(info.instanceSize);
    if (info.numCmds > 0 && info.addCmds) {
        cls->BeginCmds();
        info.addCmds(cls, info.cmds, info.numCmds);
        cls->EndCmds();
    }
    for (int i = 0; i < info.numDataSafe; i++) {
        nCmdProto* proto = cls->FindCmdByName(info.dataSafe[i]);
        // A misspelt or inherited name would open nothing, or open the superclass's command
        // to every class: it stops the program here, where every test sees it.
        if (!proto || proto->GetOwner() != cls) {
            FatalError("nKernelServer::AddClass(): '%s' is open to data but no command of class '%s'\n",
                       info.dataSafe[i], info.name);
        }
        proto->SetDataSafe();
    }
    classList_.AddTail(cls);
    return cls;
}

nClass* nKernelServer::FindClass(const char* name) const {
    return static_cast<nClass*>(classList_.Find(name));
}

nClass* nKernelServer::OpenClass(const char* name) {
    nClass* cls = FindClass(name);
    if (cls) cls->AddRef();
    return cls;
}

void nKernelServer::CloseClass(nClass* cls) {
    if (cls) cls->RemRef();
}

nClass* nKernelServer::OpenSuperClass(nClass* cls, const char* superName) {
    nClass* super = OpenClass(superName);
    if (!super) FatalError("nKernelServer::AddClass(): Could not open super class '%s'\n", superName ? superName : "");
    cls->SetSuperClass(super);
    return super;
}

// ---- objects

nRoot* nKernelServer::NewObject(const char* className, const char* path, bool dieOnError) {
    if (!className) className = "";
    std::string_view text = path ? path : "";
    PathKind kind = CheckPath(text);
    if (kind == PathKind::NoComponent) {
        if (dieOnError) FatalError("nKernelServer: Empty name for new object of class '%s'!\n", className);
        return nullptr;
    }
    if (kind == PathKind::Malformed) {
        Error("nKernelServer: malformed object path '%s'\n", path);
        return nullptr;
    }
    bool absolute = text[0] == '/';
    nRoot* cur = absolute ? root_ : cwd_;
    if (!cur) {
        Error("nKernelServer: no root object to create '%s' in\n", path);
        return nullptr;
    }

    std::string name;
    auto make = [&](const char* cls, nRoot* parent) -> nRoot* {
        nClass* c = FindClass(cls);
        nRoot* obj = c ? c->NewObject() : nullptr;
        if (!obj) return nullptr;
        obj->SetName(name.c_str());
        parent->AddTail(obj);
        obj->Initialize();
        return obj;
    };

    size_t pos = absolute ? 1 : 0;
    bool named = false;
    while (pos < text.size()) {
        const size_t at = pos;
        std::string_view part = NextComponent(text, pos);
        bool last = pos >= text.size();
        nRoot* next = part == "." ? cur : part == ".." ? cur->GetParent() : cur->FindChild(part);
        if (!next && part == "..") {
            Error("nKernelServer: path '%s' leads above the root\n", path);
            return nullptr;
        }
        if (next) {
            cur = next;
            continue;
        }
        // Every name from here on is given by the text running now: checked before the first
        // object is made, so that a refused path leaves nothing behind.
        if (!named && !nScriptServer::MayNameIn(cur, text.substr(at))) return nullptr;
        named = true;
        name.assign(part);
        next = make(last ? className : "nroot", cur);
        if (!next) {
            if (dieOnError && !last) FatalError("nKernelServer: Couldn't create object '%s' in path '%s'.\n", name.c_str(), path);
            if (dieOnError) FatalError("nKernelServer: Couldn't create object '%s' of class '%s'.\n", path, className);
            return nullptr;
        }
        cur = next;
    }
    return cur;
}

nRoot* nKernelServer::DeepestOnPath(nRoot* from, const char* path) const {
    nRoot* cur = path[0] == '/' ? root_ : from;
    std::string rest = path;
    size_t last = rest.find_last_of('/');
    rest = last == std::string::npos ? std::string() : rest.substr(0, last);
    size_t pos = 0;
    while (cur && pos < rest.size()) {
        size_t end = rest.find('/', pos);
        if (end == std::string::npos) end = rest.size();
        std::string comp = rest.substr(pos, end - pos);
        pos = end + 1;
        if (comp.empty()) continue;
        nRoot* next = cur->Find(comp.c_str());
        if (!next) break;
        cur = next;
    }
    return cur;
}

nRoot* nKernelServer::New(const char* className, const char* path) { return NewObject(className, path, true); }

nRoot* nKernelServer::NewNoFail(const char* className, const char* path) { return NewObject(className, path, false); }

nRoot* nKernelServer::NewUnnamed(const char* className) {
    nClass* cls = FindClass(className);
    return cls ? cls->NewObject() : nullptr;
}

nRoot* nKernelServer::Lookup(const char* path) const { return LookupFrom(cwd_, path); }

nRoot* nKernelServer::LookupFrom(const nRoot* from, const char* path) const {
    if (!path || !path[0]) return nullptr;
    // Walks the path in place: lookups run often and make no text.
    std::string_view text = path;
    bool absolute = text[0] == '/';
    nRoot* cur = absolute ? root_ : const_cast<nRoot*>(from);
    size_t pos = absolute ? 1 : 0;
    while (cur && pos < text.size()) {
        std::string_view part = NextComponent(text, pos);
        if (part.empty()) return nullptr;  // empty component: "a//b"
        cur = part == "." ? cur : part == ".." ? cur->GetParent() : cur->FindChild(part);
    }
    return fenced_ && cur && !InsideFence(cur) ? nullptr : cur;
}

bool nKernelServer::InsideFence(const nRoot* obj) const {
    // Pointers are only compared: a fence root that died matches nothing.
    for (const nRoot* o = obj; o; o = o->GetParent()) {
        if (o == fence_[0] || o == fence_[1] || o == fence_[2]) return true;
    }
    return false;
}

void nKernelServer::SetCwd(nRoot* obj) { cwd_ = obj ? obj : root_; }

void nKernelServer::ObjectDying(nRoot* obj) {
    if (obj == root_) {
        Error("nKernelServer: the root object was released\n");
        root_ = nullptr;
        cwd_ = nullptr;
    } else if (obj == cwd_) {
        cwd_ = root_;
    }
}

void nKernelServer::PushCwd(nRoot* obj) {
    if (cwdDepth_ == cwdStack_.size()) cwdStack_.push_back(std::make_unique<nRef<nRoot>>());
    *cwdStack_[cwdDepth_++] = cwd_;
    SetCwd(obj);
}

nRoot* nKernelServer::PopCwd() {
    nRoot* prev = cwd_;
    if (cwdDepth_ == 0) {
        SetCwd(nullptr);
        return prev;
    }
    nRef<nRoot>& saved = *cwdStack_[--cwdDepth_];
    SetCwd(saved.GetUnsafe());
    saved = nullptr;
    return prev;
}

void nKernelServer::ReplaceFileServer(const char* className) {
    ReleaseServer(fileServer_);
    fileServer_.Set(NewNoFail(className, "/sys/servers/file2"));
    if (!fileServer_.IsValid()) Error("nKernelServer::ReplaceFileServer(): no file server of class '%s'\n", className ? className : "");
}

// ---- log

void nKernelServer::Print(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    logHandler_->Print(fmt, args);
    va_end(args);
}

void nKernelServer::Message(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    logHandler_->Message(fmt, args);
    va_end(args);
}

void nKernelServer::Error(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    logHandler_->Error(fmt, args);
    va_end(args);
}

void nKernelServer::SetLogHandler(nLogHandler* handler) { logHandler_ = handler ? handler : defaultLogHandler_; }

nLogHandler* nKernelServer::GetDefaultLogHandler() const { return defaultLogHandler_; }

void nKernelServer::FatalError(const char* fmt, ...) {
    // A fatal error raised while reporting one must not recurse.
    static bool reporting = false;
    if (!reporting) {
        reporting = true;
        va_list args;
        va_start(args, fmt);
        nLogHandler* handler = ks ? ks->logHandler_ : nullptr;
        if (handler) {
            va_list copy;
            va_copy(copy, args);
            handler->Fatal(fmt, copy);
            va_end(copy);
        }
        // The default handler writes to standard output only; a fatal text must also
        // reach standard error, where a run without a display shows it.
        if (!handler || handler == ks->defaultLogHandler_) nLogFormat::Write(stderr, fmt, args);
        va_end(args);
    }
    // After a stop signal, also in the shutdown it started, the end is still that stop's.
    sys::Exit(sys::StopWatchdog::ForcedExitCode());
}

// ---- memory and helpers

void* nKernelServer::Malloc(size_t size) { return std::malloc(size); }
void* nKernelServer::Calloc(size_t count, size_t size) { return std::calloc(count, size); }
void nKernelServer::Free(void* p) { std::free(p); }

char* nKernelServer::StrDup(const char* text) {
    if (!text) return nullptr;
    size_t len = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(len));
    if (copy) std::memcpy(copy, text, len);
    return copy;
}

char* nKernelServer::StrCopy(char* dst, const char* src, size_t size) {
    if (!dst || size == 0) return dst;
    if (!src) src = "";
    size_t n = std::strlen(src);
    if (n > size - 1) n = size - 1;
    std::memmove(dst, src, n);
    dst[n] = 0;
    dst[size - 1] = 0;
    return dst;
}

char* nKernelServer::StrCat(char* dst, const char* src, size_t size) {
    if (!dst || size == 0) return dst;
    size_t used = strnlen(dst, size - 1);
    StrCopy(dst + used, src, size - used);
    return dst;
}

void nKernelServer::Sleep(float seconds) {
    if (seconds > 0.0f) sys::SleepMs(static_cast<unsigned>(seconds * 1000.0f));
}

// Matches one "[...]" set at p (just after '['); `end` receives the position after ']'.
// An unterminated set returns false with end null.
static bool MatchSet(const char* p, unsigned char c, const char** end) {
    bool hit = false;
    while (*p && *p != ']') {
        unsigned char lo = static_cast<unsigned char>(*p);
        if (lo == '\\' && p[1]) lo = static_cast<unsigned char>(*++p);
        p++;
        if (*p == '-' && p[1] && p[1] != ']') {
            p++;
            unsigned char hi = static_cast<unsigned char>(*p);
            if (hi == '\\' && p[1]) hi = static_cast<unsigned char>(*++p);
            p++;
            if (lo > hi) {
                unsigned char t = lo;
                lo = hi;
                hi = t;
            }
            if (c >= lo && c <= hi) hit = true;
        } else if (c == lo) {
            hit = true;
        }
    }
    *end = *p == ']' ? p + 1 : nullptr;
    return hit;
}

bool nKernelServer::MatchPattern(const char* text, const char* pattern) {
    if (!text || !pattern) return false;
    // Iterative glob with one backtrack point for the last '*'.
    const char* t = text;
    const char* p = pattern;
    const char* starP = nullptr;
    const char* starT = nullptr;
    while (*t) {
        const char* nextP = nullptr;
        bool ok = false;
        if (*p == '*') {
            starP = ++p;
            starT = t;
            continue;
        } else if (*p == '?') {
            ok = true;
            nextP = p + 1;
        } else if (*p == '[') {
            const char* end = nullptr;
            bool hit = MatchSet(p + 1, static_cast<unsigned char>(*t), &end);
            if (end) {
                ok = hit;
                nextP = end;
            } else {
                ok = *t == '[';  // an unterminated set is a literal '['
                nextP = p + 1;
            }
        } else if (*p == '\\' && p[1]) {
            ok = *t == p[1];
            nextP = p + 2;
        } else if (*p) {
            ok = *t == *p;
            nextP = p + 1;
        }
        if (ok) {
            p = nextP;
            t++;
        } else if (starP) {
            p = starP;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (*p == '*') p++;
    return *p == 0;
}

// ---- free log functions

static void LogTo(void (nLogHandler::*fn)(const char*, va_list), const char* fmt, va_list args) {
    nKernelServer* k = nKernelServer::ks;
    if (k && k->GetLogHandler())
        (k->GetLogHandler()->*fn)(fmt, args);
    else
        nLogFormat::Write(stderr, fmt, args);
}

void n_printf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    LogTo(&nLogHandler::Print, fmt, args);
    va_end(args);
}

void n_message(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    LogTo(&nLogHandler::Message, fmt, args);
    va_end(args);
}

void n_error(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    LogTo(&nLogHandler::Error, fmt, args);
    va_end(args);
}
