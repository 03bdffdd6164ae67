#include "kernel/nPersistServer.h"

#include <cstring>
#include <utility>

#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
// The saver is any script server, reached through its writer operations.
#include "kernel/nScriptServer.h"
#include "kernel/nString.h"

static const nCmdDef<nPersistServer> cmds[] = {
    Bind<&nPersistServer::SetSaveLevel>("v_setsavelevel_i", "SSLV"),
    Bind<&nPersistServer::GetSaveLevel>("i_getsavelevel_v", "GSLV"),
    {"v_setsaverclass_s", "SSCL", [](nPersistServer* self, nCmd* c) { self->SetSaverClass(c->In()->GetS()); }},
    Bind<&nPersistServer::GetSaverClass>("s_getsaverclass_v", "GSCL"),
};
const nClassInfo nPersistServer::classInfo = nClassInfo::Make<nPersistServer>("npersistserver", "nroot", cmds);

static const char* const kScriptServerClass = "nscriptserver";
// The last line of every object file; a file without it was cut short.
static const char* const kTrailer = "-- ---" "-- EOF";

nPersistServer::nPersistServer() : refFileServer_("/sys/servers/file2"), refSaverPath_("/sys/servers/script") {}

nPersistServer::~nPersistServer() {
    // A save still open when the server goes keeps nothing.
    if (open_.file) {
        nRoot* saver = saverChosen_ ? refSaver_.GetUnsafe() : refSaverPath_.Resolve();
        if (saver && saver->IsA(kScriptServerClass)) static_cast<nScriptServer*>(saver)->AbortWrite(open_.file);
        open_.file = nullptr;
    }
}

nFileServer2* nPersistServer::GetFileServer() { return refFileServer_.Get(); }

nScriptServer* nPersistServer::GetSaver() {
    nRoot* saver = saverChosen_ ? refSaver_.GetUnsafe() : refSaverPath_.Resolve();
    if (!saver || !saver->IsA(kScriptServerClass)) nKernelServer::FatalError("Aborting.");
    return static_cast<nScriptServer*>(saver);
}

// ---- saving and cloning

bool nPersistServer::BeginObject(nRoot* obj, const char* name) {
    if (!obj) return false;
    return open_.mode == CloneMode ? BeginClone(obj, name) : BeginSave(obj, nullptr, name, true);
}

bool nPersistServer::BeginObjectWithCmd(nRoot* obj, nCmd* cmd, const char* name) {
    if (!obj) {
        if (cmd) cmd->GetProto()->RelCmd(cmd);
        return false;
    }
    if (open_.mode == CloneMode) {
        if (cmd) cmd->GetProto()->RelCmd(cmd);
        return BeginClone(obj, name);
    }
    return BeginSave(obj, cmd, name, false);
}

bool nPersistServer::EndObject(bool complete) {
    if (open_.objStack.empty()) {
        n_error("nPersistServer: EndObject() without BeginObject()\n");
        return false;
    }
    if (!complete) open_.failed = true;
    return open_.mode == CloneMode ? EndClone() : EndSave();
}

bool nPersistServer::BeginSave(nRoot* obj, nCmd* cmd, const char* name, bool newForm) {
    nScriptServer* saver = GetSaver();
    if (open_.objStack.empty()) {
        if (cmd) cmd->GetProto()->RelCmd(cmd);
        if (!name || !name[0]) {
            n_error("nPersistServer: no file name to save '%s' as\n", obj->GetFullName().c_str());
            return false;
        }
        std::string fileName = std::string(name) + ".n";
        open_.file = saver->BeginWrite(fileName.c_str(), obj);
        if (!open_.file) {
            n_error("nPersistServer: cannot save '%s' as '%s'\n", obj->GetFullName().c_str(), fileName.c_str());
            return false;
        }
        open_.failed = false;
    } else {
        nRoot* cwd = open_.objStack.back().GetUnsafe();
        if (!cwd) cwd = nKernelServer::ks->GetRoot();
        bool ok;
        if (newForm) {
            ok = saver->WriteBeginNewObject(open_.file, obj, cwd);
        } else if (cmd) {
            ok = saver->WriteBeginObjectCmd(open_.file, obj, cwd, cmd);
            cmd->GetProto()->RelCmd(cmd);
        } else {
            ok = saver->WriteBeginSelObject(open_.file, obj, cwd);
        }
        if (!ok) {
            open_.failed = true;
            return false;
        }
    }
    open_.objStack.emplace_back(obj);
    return true;
}

bool nPersistServer::EndSave() {
    nRoot* ended = open_.objStack.back().GetUnsafe();
    open_.objStack.pop_back();
    nScriptServer* saver = GetSaver();
    if (!ended) {
        // An object that died while it was being written is not in the file whole.
        n_error("nPersistServer: an object died while it was being saved\n");
        open_.failed = true;
        ended = nKernelServer::ks->GetRoot();
    }
    if (open_.objStack.empty()) {
        nFile* file = open_.file;
        open_.file = nullptr;
        bool ok = !open_.failed;
        open_.failed = false;
        if (ok) return saver->EndWrite(file);
        saver->AbortWrite(file);
        return false;
    }
    nRoot* cwd = open_.objStack.back().GetUnsafe();
    if (!cwd) cwd = nKernelServer::ks->GetRoot();
    if (!saver->WriteEndObject(open_.file, ended, cwd)) open_.failed = true;
    return !open_.failed;
}

// The deepest existing object on the way to the parent of `path` (relative to `from`):
// the object a new object at `path` will be made in, or below.
bool nPersistServer::BeginClone(nRoot* obj, const char* name) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* cwd = ks->GetCwd();
    bool outermost = open_.objStack.empty();
    if (outermost) open_.failed = false;
    if (!name || !name[0] || !cwd) {
        n_error("nPersistServer: no name to clone '%s' as\n", obj->GetFullName().c_str());
        open_.failed = true;
        return false;
    }
    nRoot* existing = ks->Lookup(name);
    if (existing && existing->GetClass() != obj->GetClass()) {
        // Commands of one class replayed on an object of another would run their
        // handlers on the wrong type.
        n_error("nPersistServer: cannot clone '%s' onto '%s', which is of class '%s'\n",
                obj->GetFullName().c_str(), existing->GetFullName().c_str(), existing->GetClass()->GetName());
        open_.failed = true;
        return false;
    }
    if (outermost) {
        bool related = false;
        for (nRoot* o = obj; o && existing; o = o->GetParent()) related = related || o == existing;
        if (existing == cwd || related) {
            n_error("nPersistServer: cannot clone '%s' onto itself or an object that contains it\n",
                    obj->GetFullName().c_str());
            open_.failed = true;
            return false;
        }
        // A copy made inside its own source would be copied again by the same walk,
        // without end. A name that is a path puts the copy below the current object.
        if (!(obj->GetSaveFlags() & nRoot::SaveShallow)) {
            for (nRoot* o = ks->DeepestOnPath(cwd, name); o; o = o->GetParent()) {
                if (o == obj) {
                    n_error("nPersistServer: cannot clone '%s' into its own subtree\n", obj->GetFullName().c_str());
                    open_.failed = true;
                    return false;
                }
            }
        }
    }
    nRoot* copy = ks->NewNoFail(obj->GetClass()->GetName(), name);
    if (!copy) {
        n_error("nPersistServer: cannot make '%s' to clone '%s' into\n", name, obj->GetFullName().c_str());
        open_.failed = true;
        return false;
    }
    if (outermost) {
        open_.cloneOrigin = cwd;
        open_.cloneMadeTop = existing == nullptr;
    }
    open_.objStack.emplace_back(cwd);
    open_.cloneObject = copy;
    ks->SetCwd(copy);
    return true;
}

bool nPersistServer::EndClone() {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* back = open_.objStack.back().GetUnsafe();
    open_.objStack.pop_back();
    if (back != open_.cloneOrigin.GetUnsafe()) open_.cloneObject = back;
    ks->SetCwd(back);
    if (!open_.objStack.empty()) return true;

    bool ok = !open_.failed;
    open_.failed = false;
    if (!ok) {
        // An incomplete copy is not left in the tree (an object that existed before the
        // clone stays).
        nRoot* copy = open_.cloneObject.GetUnsafe();
        open_.cloneObject.Invalidate();
        if (copy && open_.cloneMadeTop) copy->Release();
    }
    return ok;
}

bool nPersistServer::PutCmd(nCmd* cmd, int level) {
    if (!cmd) return false;
    bool ok = true;
    if (saveLevel_ <= level) {
        if (!cmd->CheckInputs()) {
            // A SaveCmds that fills a command against its prototype would write a file
            // that loads into other values, or replay a call the copy refuses.
            n_error("nPersistServer: the values of '%s' do not match its prototype, not saved\n",
                    cmd->GetProto()->GetProtoText());
            ok = false;
        } else if (open_.mode == StringMode) {
            if (!stringTarget_) {
                n_error("nPersistServer: string mode without a text for '%s'\n", cmd->GetProto()->GetProtoText());
                ok = false;
            } else {
                ok = GetSaver()->WriteCmd(*stringTarget_, cmd);
            }
        } else if (open_.objStack.empty()) {
            n_error("nPersistServer: PutCmd('%s') outside a save\n", cmd->GetProto()->GetProtoText());
            ok = false;
        } else if (open_.mode == SaveMode) {
            ok = GetSaver()->WriteObjectCmd(open_.file, cmd);
        } else {
            nRoot* copy = open_.cloneObject.GetUnsafe();
            ok = copy && copy->Dispatch(cmd);
        }
    }
    cmd->GetProto()->RelCmd(cmd);
    if (!ok) open_.failed = true;
    return ok;
}

nCmd* nPersistServer::NewPutCmd(nRoot* obj, uint32_t id, const char* have) {
    nCmd* cmd = obj ? obj->NewCmd(id) : nullptr;
    if (!cmd) {
        open_.failed = true;
        return nullptr;
    }
    nCmdProto* proto = cmd->GetProto();
    int given = static_cast<int>(std::strlen(have));
    const char* why = nullptr;
    int slot = 0;
    if (given != proto->GetNumInArgs()) {
        why = "the number of values differs";
    } else {
        for (int i = 0; i < given && !why; i++) {
            char want = nArg::LetterOfType(proto->GetInType(i));
            bool fits = have[i] == 'n' ? (want == 's' || want == 'c' || want == 'o') : nArgLetterFits(have[i], want);
            if (!fits) {
                why = "a value of another type";
                slot = i + 1;
            }
        }
    }
    if (why) {
        n_error("nPersistServer: %s saves '%s' with %s (values '%s', input %d)\n", obj->GetFullName().c_str(),
                proto->GetProtoText(), why, have, slot);
        proto->RelCmd(cmd);
        open_.failed = true;
        return nullptr;
    }
    return cmd;
}

bool nPersistServer::CaptureCmds(nRoot* obj, nString& text) {
    if (!obj) return false;
    OpenState outer = Suspend();
    nString* outerTarget = stringTarget_;
    SetMode(StringMode);
    stringTarget_ = &text;
    bool ok = obj->SaveCmds(this) && !open_.failed;
    stringTarget_ = outerTarget;
    Resume(outer);
    return ok;
}

nPersistServer::OpenState nPersistServer::Suspend() {
    return std::exchange(open_, OpenState{});
}

void nPersistServer::Resume(OpenState& s) {
    open_ = std::move(s);
}

// ---- saver

nRoot* nPersistServer::FindSaver(const char* className) {
    nKernelServer* ks = nKernelServer::ks;
    nClass* cls = className && className[0] ? ks->FindClass(className) : nullptr;
    if (!cls) {
        n_error("nPersistServer: no script server class '%s'\n", className ? className : "");
        return nullptr;
    }
    nClass* scriptServer = ks->FindClass(kScriptServerClass);
    if (!scriptServer || !cls->IsA(scriptServer)) {
        n_error("nPersistServer: '%s' is not a script server class\n", className);
        return nullptr;
    }
    nRoot* script = ks->Lookup("/sys/servers/script");
    if (script && script->GetClass() == cls) return script;

    nRoot* saver = Find(className);
    if (!saver) {
        std::string path = GetFullName() + "/" + className;
        saver = ks->NewNoFail(className, path.c_str());
    }
    if (!saver || !saver->IsA(scriptServer)) {
        n_error("nPersistServer: no saver of class '%s'\n", className);
        return nullptr;
    }
    return saver;
}

bool nPersistServer::SetSaverClass(const char* className) {
    nRoot* saver = FindSaver(className);
    if (!saver) return false;
    refSaver_ = saver;
    saverChosen_ = true;
    return true;
}

const char* nPersistServer::GetSaverClass() { return GetSaver()->GetClass()->GetName(); }

// ---- loading

bool nPersistServer::ReadHeaderTag(const char* fileName, const char* key, std::string& value) {
    if (!fileName || !key) return false;
    nFile* file = GetFileServer()->NewFileObject();
    if (!file->Open(fileName, "r")) {
        delete file;
        return false;
    }
    char buf[TagScanSize];
    size_t n = file->Read(buf, sizeof(buf));
    file->Close();
    delete file;

    for (size_t i = 0; i < n; i++) {
        if (buf[i] != '$') continue;
        const char* close = static_cast<const char*>(std::memchr(buf + i + 1, '$', n - i - 1));
        if (!close) {
            nKernelServer::ks->Message("$...$ definition in object file outside first 256 bytes!\n");
            return false;
        }
        std::string tag(static_cast<const char*>(buf + i + 1), close);
        size_t colon = tag.find(':');
        if (colon == std::string::npos) {
            nKernelServer::ks->Message("$...$ definition in object file broken!\n");
            return false;
        }
        if (tag.compare(0, colon, key) == 0) {
            value = tag.substr(colon + 1, MaxTagLength - 1);
            return true;
        }
        i = static_cast<size_t>(close - buf);
    }
    return false;
}

bool nPersistServer::HasTrailer(const char* fileName) {
    nFile* file = GetFileServer()->NewFileObject();
    if (!file->Open(fileName, "r")) {
        delete file;
        return false;
    }
    char buf[64];
    size_t size = file->GetSize();
    size_t start = size > sizeof(buf) ? size - sizeof(buf) : 0;
    file->Seek(static_cast<int64_t>(start), nFile::START);
    size_t n = file->Read(buf, size - start);
    file->Close();
    delete file;
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ' || buf[n - 1] == '\t')) n--;
    size_t len = std::strlen(kTrailer);
    return n >= len && std::memcmp(buf + n - len, kTrailer, len) == 0;
}

std::string nPersistServer::ObjectNameOf(const char* fileName) {
    std::string name = nString(fileName).ExtractFileName().Get();
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot + 1 < name.size()) name.erase(dot);
    return name;
}

// Loads one object file as `objName` under the current object; null when the file
// has no header tags, or (logged) names what cannot be made, or does not run.
nRoot* nPersistServer::LoadObjectFile(const char* fileName, const std::string& objName) {
    std::string parser, className;
    if (!ReadHeaderTag(fileName, "parser", parser) || !ReadHeaderTag(fileName, "class", className)) return nullptr;

    nKernelServer* ks = nKernelServer::ks;
    if (!ks->FindClass(className.c_str())) {
        n_error("nPersistServer: '%s' names the unknown class '%s'\n", fileName, className.c_str());
        return nullptr;
    }
    nRoot* saver = FindSaver(parser.c_str());
    if (!saver) {
        n_error("nPersistServer: '%s' cannot be run by '%s'\n", fileName, parser.c_str());
        return nullptr;
    }
    if (!HasTrailer(fileName)) {
        n_error("nPersistServer: '%s' is cut short (no end line), not loaded\n", fileName);
        return nullptr;
    }
    nRoot* made = ks->NewNoFail(className.c_str(), objName.c_str());
    if (!made) {
        n_error("nPersistServer: cannot make '%s' of class '%s'\n", objName.c_str(), className.c_str());
        return nullptr;
    }
    // The script may delete what it runs in: the new object is watched by a reference,
    // the saver kept alive by a count.
    nRef<nRoot> ref(made);
    nRef<nRoot> saverRef(saver);
    saver->AddRef();
    ks->PushCwd(made);
    const char* result = nullptr;
    bool ok = static_cast<nScriptServer*>(saver)->RunScript(fileName, result);
    ks->PopCwd();
    if (nRoot* s = saverRef.GetUnsafe()) s->Release();
    if (!ok || !ref.IsValid()) {
        n_error("nPersistServer: '%s' did not load\n", fileName);
        if (nRoot* o = ref.GetUnsafe()) o->Release();
        return nullptr;
    }
    return made;
}

nRoot* nPersistServer::LoadObject(const char* fileName) {
    if (!fileName || !fileName[0]) {
        n_error("nPersistServer: LoadObject() without a file name\n");
        return nullptr;
    }
    std::string name = ObjectNameOf(fileName);
    if (name.empty()) {
        n_error("nPersistServer: '%s' gives no object name\n", fileName);
        return nullptr;
    }
    nKernelServer* ks = nKernelServer::ks;
    nRoot* cwd = ks->GetCwd();
    if (nRoot* existing = cwd ? cwd->Find(name.c_str()) : nullptr) {
        n_error("nPersistServer: trying to overwrite existing object '%s'!\n", existing->GetFullName().c_str());
        return nullptr;
    }
    nRoot* obj = LoadObjectFile(fileName, name);
    if (!obj) {
        // An object stored as a directory keeps its script in "_main.n2".
        std::string mainFile = std::string(fileName) + "/_main.n2";
        obj = LoadObjectFile(mainFile.c_str(), name);
    }
    if (!obj) n_error("nPersistServer: could not load an object from '%s'\n", fileName);
    return obj;
}
