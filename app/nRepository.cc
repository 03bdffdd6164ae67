#include "app/nRepository.h"

#include <strings.h>

#include <cstring>

#include "kernel/nDirectory.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nScriptEvent.h"

static const nCmdDef<nRepository> repositoryCmds[] = {
    Bind<&nRepository::SetDir>("v_setdir_s", "SDIR"),
    Bind<&nRepository::GetDir>("s_getdir_v", "GDIR"),
    Bind<&nRepository::Load>("v_load_s", "LOAD"),
    Bind<&nRepository::Unload>("v_unload_s", "ULAD"),
    Bind<&nRepository::AddOnLoading>("v_setonloading_s", "RSOL"),
};
const nClassInfo nRepository::classInfo = nClassInfo::Make<nRepository>("nrepository", "nroot", repositoryCmds);

nRepository::nRepository()
    : refScriptServer_("/sys/servers/script"),
      refFileServer_("/sys/servers/file2"),
      onLoading_(std::make_unique<nScriptEvent>("onloadingfile", "v")) {}

nRepository::~nRepository() = default;

void nRepository::SetDir(const char* path) {
    if (!path) {
        n_error("nRepository::SetDir(): no path given\n");
        return;
    }
    dir_ = refFileServer_.Get()->ManglePath(path);
}

void nRepository::AddOnLoading(const char* funcName) {
    if (!funcName || !*funcName) {
        n_error("nRepository::AddOnLoading(): no function name given\n");
        return;
    }
    onLoading_->AddFunction(funcName);
}

bool nRepository::IsScriptFileName(const char* fileName) {
    for (const char* p = fileName; p && *p; p++) {
        if (p[0] == '.' && (p[1] == 'n' || p[1] == 'N')) return p[2] == '\0';
    }
    return false;
}

void nRepository::Load(const char* name) {
    if (!name || !*name) {
        n_error("nRepository::Load(): no name given\n");
        return;
    }
    nKernelServer* ks = nKernelServer::ks;
    nScriptServer* script = refScriptServer_.Get();
    nFileServer2* fs = refFileServer_.Get();
    // A script may delete the repository. The extra count keeps it through a
    // delete of its own; deleting an object above it destroys it all the same,
    // which the reference tells, and the load stops there.
    nRef<nRoot> alive(this);
    AddRef();
    if (++loadDepth_ == 0) loadTime_ = 0.0f;

    // The relative part always starts with '/', so it joins the directory as a
    // subdirectory and the repository's path as a child.
    std::string rel;
    if (strcmp(name, "*") != 0) {
        if (name[0] != '/') rel = "/";
        rel += name;
    }
    std::string dirPath = dir_ + rel;

    nDirectory* dir = fs->NewDirectoryObject();
    if (!dir->Open(dirPath.c_str())) {
        // A missing folder is a data problem: the rest of the repository still loads.
        n_error("Repository '%s': Can't open directory : '%s'\n", dir_.c_str(), dirPath.c_str());
        delete dir;
        loadDepth_--;
        Release();
        return;
    }

    std::string basePath = GetFullName();
    if (basePath == "/") basePath.clear();
    if (!dir->IsEmpty()) {
        do {
            std::string entry = dir->GetEntryName();
            size_t slash = entry.rfind('/');
            std::string own = slash == std::string::npos ? entry : entry.substr(slash + 1);
            if (dir->GetEntryType() == nDirectory::DIRECTORY) {
                if (strcasecmp(own.c_str(), "cvs") != 0) {
                    Load((rel + "/" + own).c_str());
                    if (!alive.IsValid()) break;
                }
                continue;
            }
            // The rule looks at the file's own name only: a folder such as
            // "my.notes" on the way must not hide the files below it.
            if (!IsScriptFileName(own.c_str())) continue;

            nTimeServer* time = ks->GetTimeServer<nTimeServer>();
            double start = time ? time->GetTime() : 0.0;
            std::string objPath = basePath + rel;
            if (objPath.empty()) objPath = "/";
            nRoot* obj = ks->New("nroot", objPath.c_str());
            ks->SetCwd(obj);
            const char* result = nullptr;
            // A failing script is reported by the script server; the next one runs.
            script->RunScript(entry.c_str(), result);
            if (!alive.IsValid()) break;

            time = ks->GetTimeServer<nTimeServer>();
            double end = time ? time->GetTime() : start;
            loadTime_ += float(end - start);
            if (loadTime_ >= callbackInterval_) {
                loadTime_ = 0.0f;
                if (onLoading_->GetNumFunctions() > 0) onLoading_->Fire(script);
                if (!alive.IsValid()) break;
            }
        } while (dir->SetToNextEntry());
    }
    dir->Close();
    delete dir;
    if (!alive.IsValid()) return;
    loadDepth_--;
    Release();
}

void nRepository::Unload(const char* name) {
    if (!name || !*name) {
        n_error("nRepository::Unload(): no name given\n");
        return;
    }
    if (strchr(name, '*')) {
        nRoot* child = GetHead();
        while (child) {
            nRoot* next = child->GetSucc();
            // A child that is still referenced elsewhere survives.
            child->Release();
            child = next;
        }
        return;
    }
    std::string path = GetFullName();
    if (name[0] != '/') path += "/";
    path += name;
    nRoot* obj = nKernelServer::ks->Lookup(path.c_str());
    // Only what lies below the repository: ".." must not reach further up.
    bool below = false;
    for (nRoot* p = obj ? obj->GetParent() : nullptr; p && !below; p = p->GetParent()) below = p == this;
    if (!below) {
        n_printf("nRepository::Unload(): nothing loaded at '%s'\n", path.c_str());
        return;
    }
    if (nScriptServer::HoldsRunningServer(obj)) {
        n_printf("nRepository::Unload(): refusing to unload '%s', a running script server\n", path.c_str());
        return;
    }
    obj->Release();
}

bool nRepository::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SDIR"), GetDir());
}
