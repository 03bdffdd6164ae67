#include "kernel/nFileServer2.h"

#include <cstring>

#include "kernel/nDirectory.h"
#include "kernel/nEnv.h"
#include "kernel/nFile.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "platform/system/Disk.h"
#include "platform/system/System.h"

static const nCmdDef<nFileServer2> cmds[] = {
    {"v_setassign_ss", "SASS",
     [](nFileServer2* self, nCmd* c) {
         const char* name = c->In()->GetS();
         const char* path = c->In()->GetS();
         self->SetAssign(name, path);
     }},
    {"s_getassign_s", "GASS", [](nFileServer2* self, nCmd* c) { c->Out()->SetS(self->GetAssign(c->In()->GetS())); }},
    {"s_manglepath_s", "MNGP",
     [](nFileServer2* self, nCmd* c) {
         char buf[nFileServer2::MAXPATH];
         c->Out()->SetS(self->ManglePath(c->In()->GetS(), buf, sizeof(buf)));
     }},
};
const nClassInfo nFileServer2::classInfo = nClassInfo::Make<nFileServer2>("nfileserver2", "nroot", cmds);

namespace {

const char* const kAssignsPath = "/sys/share/assigns";

// Assign names are plain object names: "." and ".." name the assigns directory and
// its parent, which hold no value.
bool IsAssignName(const char* name) {
    return name && *name && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
           !std::strchr(name, '/');
}

}  // namespace

nFileServer2::nFileServer2() = default;

nFileServer2::~nFileServer2() = default;

void nFileServer2::Initialize() {
    nRoot::Initialize();
    GetAssignsDir();
    std::string exe = sys::ExecutablePath();
    std::string home;
    if (exe.empty()) {
        // No executable path: the current directory stands in for the installation.
        home = sys::Disk::CurrentDir() + "/";
        n_printf("nFileServer2: executable path unknown, home is '%s'\n", home.c_str());
    } else {
        home = HomeFromExecutable(exe);
    }
    SetAssign("home", home.c_str());
    SetAssign("bin", (home + "bin/win32/").c_str());
}

std::string nFileServer2::HomeFromExecutable(const std::string& exePath) {
    std::string p = exePath;
    for (int i = 0; i < 3; i++) {
        size_t slash = p.find_last_of('/');
        if (slash == std::string::npos) {
            p.clear();
            break;
        }
        p.erase(slash);
    }
    return p + "/";
}

nRoot* nFileServer2::GetAssignsDir() {
    if (!assigns_.IsValid()) assigns_.Set(nKernelServer::ks->New("nroot", kAssignsPath));
    return assigns_.Get();
}

void nFileServer2::Normalize(std::string& path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (!path.empty() && path.back() == '/') path.pop_back();
}

bool nFileServer2::MayOpen(const char* path, bool write) {
    if (!nScriptServer::DataRunning()) return true;
    const char* name = path ? path : "";
    if (write) {
        n_printf("nFileServer2: refused to script text that data brought: writing '%s'\n", name);
        return false;
    }
    // The assign's own folder is the floor that ".." may not go below; a full path (the
    // engine's own, mangled) has no ".." at all.
    const size_t assign = AssignLength(name);
    const char* colon = name + assign;
    const bool assigned = assign && GetAssign(std::string(name, colon).c_str());
    bool inside = assigned || name[0] == '/';
    int depth = 0;
    for (const char* p = assigned ? colon + 1 : name; inside && *p;) {
        const char* end = p + std::strcspn(p, "/\\");
        const size_t n = size_t(end - p);
        if (n == 2 && p[0] == '.' && p[1] == '.') inside = assigned && --depth >= 0;
        else if (n > 0 && !(n == 1 && p[0] == '.')) depth++;
        p = *end ? end + 1 : end;
    }
    if (inside && !assigned) {
        std::string home, mangled;
        inside = Mangle("home:", home) == Mangled::Ok && Mangle(name, mangled) == Mangled::Ok && !home.empty() &&
                 mangled.compare(0, home.size(), home) == 0 &&
                 (mangled.size() == home.size() || mangled[home.size()] == '/');
    }
    if (!inside) {
        n_printf("nFileServer2: refused to script text that data brought: reading '%s', outside the installation\n",
                 name);
    }
    return inside;
}

bool nFileServer2::MayKeepPath(const char* path) {
    if (!nScriptServer::DataRunning() || !path || !*path) return true;
    nFileServer2* server = nKernelServer::ks ? nKernelServer::ks->GetFileServer() : nullptr;
    return server && server->MayOpen(path, false);
}

bool nFileServer2::SetAssign(const char* name, const char* path) {
    if (!nScriptServer::PersonOnly("changing an assign")) return false;
    if (!IsAssignName(name)) {
        n_error("nFileServer2::SetAssign(): invalid assign name '%s'\n", name ? name : "");
        return false;
    }
    size_t len = path ? std::strlen(path) : 0;
    if (len == 0 || path[len - 1] != '/') {
        n_error("nFileServer2::SetAssign(): path '%s' of assign '%s' must end in '/'\n", path ? path : "", name);
        return false;
    }
    if (len >= MAXPATH) {
        n_error("nFileServer2::SetAssign(): path of assign '%s' is too long\n", name);
        return false;
    }
    nRoot* dir = GetAssignsDir();
    nRoot* obj = dir->Find(name);
    if (!obj) {
        nKernelServer::ks->PushCwd(dir);
        obj = nKernelServer::ks->NewNoFail("nenv", name);
        nKernelServer::ks->PopCwd();
    }
    if (!obj || !obj->IsA("nenv")) {
        n_error("nFileServer2::SetAssign(): '%s/%s' is not an nenv object\n", kAssignsPath, name);
        return false;
    }
    static_cast<nEnv*>(obj)->SetS(path);
    return true;
}

const char* nFileServer2::GetAssign(const char* name) {
    if (!IsAssignName(name)) return nullptr;
    nRoot* obj = GetAssignsDir()->Find(name);
    if (!obj || !obj->IsA("nenv")) return nullptr;
    return static_cast<nEnv*>(obj)->GetS();
}

size_t nFileServer2::AssignLength(const char* path) {
    if (!path) return 0;
    const size_t n = std::strcspn(path, ":/\\");
    return n >= 2 && path[n] == ':' ? n : 0;
}

nFileServer2::Mangled nFileServer2::Mangle(const char* path, std::string& out, std::string* assign) {
    std::string work = path ? path : "";
    if (work.size() >= MAXPATH) return Mangled::TooLong;
    // An assign's value may start with another assign; a few steps, so that a loop ends.
    for (int step = 0; const size_t colon = AssignLength(work.c_str()); step++) {
        std::string name = work.substr(0, colon);
        const char* value = step < 8 ? GetAssign(name.c_str()) : nullptr;
        const size_t length = value ? std::strlen(value) : 0;
        if (assign) *assign = std::move(name);
        // A name of no assign is no file name either: taken as one, "save:x" would be a
        // file of that name in whatever folder the game runs in. A value set on the nenv
        // itself may be empty or lack its '/': "x" would then land beside the folder.
        if (step == 8) return Mangled::Loop;
        if (!value) return Mangled::NoAssign;
        if (length == 0 || value[length - 1] != '/') return Mangled::NoFolder;
        work = std::string(value, length) + work.substr(colon + 1);
        if (work.size() >= MAXPATH) return Mangled::TooLong;
    }
    Normalize(work);
    if (work.size() >= MAXPATH) return Mangled::TooLong;
    out = std::move(work);
    return Mangled::Ok;
}

char* nFileServer2::ManglePath(const char* path, char* buf, size_t size) {
    if (!buf || size == 0) return buf;
    std::string out, assign;
    const Mangled result = Mangle(path, out, &assign);
    if (result != Mangled::Ok || out.size() >= size) {
        if (result == Mangled::NoAssign) {
            n_printf("nFileServer2: path '%s' refused: there is no assign '%s'\n", path, assign.c_str());
        } else if (result == Mangled::NoFolder) {
            n_printf("nFileServer2: path '%s' refused: the assign '%s' names no folder\n", path, assign.c_str());
        } else if (result == Mangled::Loop) {
            n_printf("nFileServer2: path '%s' refused: its assigns name each other\n", path);
        } else {
            n_error("nFileServer2::ManglePath(): path '%s' is too long\n", path ? path : "");
        }
        buf[0] = '\0';
        return buf;
    }
    std::memcpy(buf, out.c_str(), out.size() + 1);
    return buf;
}

std::string nFileServer2::ManglePath(const char* path) {
    char buf[MAXPATH];
    return ManglePath(path, buf, sizeof(buf));
}

std::string nFileServer2::DiskPath(const char* path) {
    std::string mangled = ManglePath(path);
    return mangled.empty() ? mangled : sys::Disk::Resolve(mangled);
}

std::string nFileServer2::FileIdentity(const std::string& mangledPath) {
    return sys::Disk::FileIdentity(mangledPath);
}

std::string nFileServer2::ShareName(const char* name) {
    if (!name || !*name) return name ? name : "";
    std::string mangled;
    if (Mangle(name, mangled) != Mangled::Ok || mangled.empty()) return name;
    std::string identity = FileIdentity(mangled);
    if (identity.empty()) return name;
    return shareNames_.try_emplace(std::move(identity), name).first->second;
}

std::string nFileServer2::Share(const char* name) {
    nFileServer2* server = nKernelServer::ks ? nKernelServer::ks->GetFileServer() : nullptr;
    if (server) return server->ShareName(name);
    return name ? name : "";
}

char* nFileServer2::MakeAbsolutePath(const char* path, char* buf, size_t size) {
    if (!buf || size == 0) return buf;
    std::string p = path ? path : "";
    bool absolute = !p.empty() && (p[0] == '/' || p[0] == '\\' || (p.size() > 1 && p[1] == ':'));
    if (!absolute) p = std::string(GetCwd()) + "/" + p;
    Normalize(p);
    if (p.size() >= size) {
        n_error("nFileServer2::MakeAbsolutePath(): path '%s' is too long\n", path ? path : "");
        buf[0] = '\0';
        return buf;
    }
    std::memcpy(buf, p.c_str(), p.size() + 1);
    return buf;
}

bool nFileServer2::ChangeDir(const char* path) {
    return path && nScriptServer::PersonOnly("changing the current folder") && sys::Disk::ChangeDir(path);
}

const char* nFileServer2::GetCwd() {
    cwd_ = sys::Disk::CurrentDir();
    Normalize(cwd_);
    return cwd_.c_str();
}

nDirectory* nFileServer2::NewDirectoryObject() {
    return new nDirectory(this);
}

nFile* nFileServer2::NewFileObject() {
    return new nFile(this);
}

bool nFileServer2::ReadFile(const char* fileName, std::string& out) {
    nFile* file = NewFileObject();
    if (!fileName || !file->Open(fileName, "rb")) {
        delete file;
        return false;
    }
    size_t size = file->GetSize();
    std::string text(size, '\0');
    size_t got = size ? file->Read(text.data(), size) : 0;
    file->Close();
    delete file;
    if (got != size) {
        n_error("nFileServer2: read %zu of %zu bytes of '%s'\n", got, size, fileName);
        return false;
    }
    out = std::move(text);
    return true;
}
