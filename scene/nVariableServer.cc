#include "scene/nVariableServer.h"

#include <cstring>

#include "kernel/nKernelServer.h"

const nClassInfo nVariableServer::classInfo = nClassInfo::Make<nVariableServer>("nvariableserver", "nroot");

nVariable& nVariable::assignText(const nVariable& other) {
    if (this == &other) return *this;
    handle_ = other.handle_;
    if (other.type_ == String) {
        SetS(other.value_.t.s);
    } else {
        clearText();
        type_ = other.type_;
        std::memcpy(&value_, &other.value_, sizeof(value_));
    }
    return *this;
}

void nVariable::clearText() {
    if (type_ == String) nKernelServer::Free(value_.t.s);
    std::memset(&value_, 0, sizeof(value_));
    type_ = Void;
}

void nVariable::SetV4(const float v[4]) {
    clearText();
    type_ = Vector4;
    std::memcpy(value_.f, v, sizeof(value_.f));
}

void nVariable::SetS(const char* text) {
    if (!text) text = "";
    const size_t len = std::strlen(text);
    if (type_ == String && len < value_.t.room) {
        // memmove: `text` may be this variable's own text.
        std::memmove(value_.t.s, text, len + 1);
        return;
    }
    auto* copy = static_cast<char*>(nKernelServer::Malloc(len + 1));
    if (copy) std::memcpy(copy, text, len + 1);
    clearText();
    type_ = String;
    value_.t.s = copy;
    value_.t.room = copy ? len + 1 : 0;
}

void nVariable::SetRaw(uint32_t word) {
    clearText();
    type_ = Raw;
    value_.u[0] = word;
}

nVariableServer::nVariableServer() : globals_(0, 16), decls_(0, 16) {}

nVariableServer::~nVariableServer() = default;

int nVariableServer::FindVariableByFourCC(uint32_t code) const {
    for (int h = 0; h < decls_.Size(); h++) {
        if (decls_[h].code == code) return h;
    }
    return NoHandle;
}

int nVariableServer::FindVariableByName(const char* name) const {
    if (!name || !*name) return NoHandle;
    auto it = byName_.find(std::string_view(name));
    return it == byName_.end() ? NoHandle : it->second;
}

uint32_t nVariableServer::GetFourCC(int handle) const {
    return handle >= 0 && handle < decls_.Size() ? decls_[handle].code : 0;
}

bool nVariableServer::GetVariableInfo(int handle, const char*& name, uint32_t& code) const {
    name = nullptr;
    code = 0;
    if (handle < 0 || handle >= decls_.Size()) return false;
    name = decls_[handle].name.IsEmpty() ? nullptr : decls_[handle].name.Get();
    code = decls_[handle].code;
    return true;
}

const char* nVariableServer::GetVariableName(int handle) const {
    const char* name;
    uint32_t code;
    GetVariableInfo(handle, name, code);
    return name;
}

int nVariableServer::GetVariableHandleByName(const char* name) {
    int h = FindVariableByName(name);
    return h != NoHandle ? h : DeclareVariable(name, 0);
}

int nVariableServer::GetVariableHandleByFourCC(uint32_t code) {
    int h = FindVariableByFourCC(code);
    return h != NoHandle ? h : DeclareVariable("", code);
}

bool nVariableServer::nameFits(const char* name) {
    if (std::strlen(name) <= MaxNameLength) return true;
    n_error("nVariableServer: a variable name longer than %zu bytes is refused\n", MaxNameLength);
    return false;
}

int nVariableServer::DeclareVariable(const char* name, uint32_t code) {
    if (!name) name = "";
    int hn = *name ? FindVariableByName(name) : NoHandle;
    int hc = code != 0 ? FindVariableByFourCC(code) : NoHandle;
    if (hn == NoHandle && hc == NoHandle) {
        // Declaring nothing (no name, no code) would make an entry nobody can find.
        if (!*name && code == 0) {
            n_error("nVariableServer: a variable needs a name or a code\n");
            return NoHandle;
        }
        if (!nameFits(name)) return NoHandle;
        if (decls_.Size() >= MaxDeclarations) {
            if (!fullLogged_) n_error("nVariableServer: more than %d variables: no new one is declared\n", MaxDeclarations);
            fullLogged_ = true;
            return NoHandle;
        }
        nVariableDecl& d = decls_.Append(nVariableDecl());
        d.name = name;
        d.code = code;
        if (*name) byName_.emplace(name, decls_.Size() - 1);
        return decls_.Size() - 1;
    }
    if (hn == hc) return hn;
    // Code 0 and the empty name identify nothing: the part not given matches, and a
    // declaration that lacks the part now given takes it.
    if (hc == NoHandle && (code == 0 || decls_[hn].code == 0)) {
        if (code != 0) decls_[hn].code = code;
        return hn;
    }
    if (hn == NoHandle && (!*name || decls_[hc].name.IsEmpty())) {
        if (*name) {
            if (!nameFits(name)) return NoHandle;
            decls_[hc].name = name;
            byName_.emplace(name, hc);
        }
        return hc;
    }
    char fourcc[5] = {char(code & 0xff), char((code >> 8) & 0xff), char((code >> 16) & 0xff),
                      char((code >> 24) & 0xff), 0};
    nKernelServer::FatalError(
        "Inconsistent variable declaration: '%s'/'%s'!\nEither the name or the fourcc code is already used", name,
        fourcc);
}

nVariable& nVariableServer::globalSlot(int handle) {
    for (nVariable& v : globals_) {
        if (v.GetHandle() == uint32_t(handle)) return v;
    }
    nVariable& v = globals_.Append(nVariable());
    v.SetHandle(uint32_t(handle));
    return v;
}

const nVariable* nVariableServer::GetGlobalVariable(int handle) const {
    for (const nVariable& v : globals_) {
        if (v.GetHandle() == uint32_t(handle)) return &v;
    }
    return nullptr;
}

void nVariableServer::SetIntVariable(int handle, int32_t v) { globalSlot(handle).SetI(v); }
void nVariableServer::SetFloatVariable(int handle, float v) { globalSlot(handle).SetF(v); }
void nVariableServer::SetVector4Variable(int handle, const float v[4]) { globalSlot(handle).SetV4(v); }
void nVariableServer::SetStringVariable(int handle, const char* text) { globalSlot(handle).SetS(text); }
