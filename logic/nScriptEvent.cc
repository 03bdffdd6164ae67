#include "logic/nScriptEvent.h"

#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "script/nLuaWriter.h"

#include <cstdio>
#include <cstring>
#include <string>

nScriptEvent::nScriptEvent(const char* name, const char* argLetters)
    : args_(0, 1), functions_(0, 1), name_(name) {
    for (const char* p = argLetters ? argLetters : ""; *p; p++) {
        nArg arg;
        switch (*p) {
            case 'v': continue;
            case 'b': arg.SetB(false); break;
            case 'f': arg.SetF(0.0f); break;
            case 'i': arg.SetI(0); break;
            case 's': arg.SetS(""); break;
            default:
                n_printf("nScriptEvent '%s': unknown argument letter '%c'\n", name_.Get(), *p);
                nKernelServer::FatalError("Aborting!\n");
                return;
        }
        args_.Append(arg);
    }
}

void nScriptEvent::AddFunction(const char* funcName) {
    if (!funcName) return;
    for (const nString& f : functions_) {
        if (f == funcName) return;
    }
    if (nScriptServer::DataRunning() && !charge_.Set(charge_.Bytes() + std::strlen(funcName) + 32, nullptr,
                                                     ("binding a function to the event '" + std::string(name_.Get()) + "'").c_str())) {
        return;
    }
    functions_.Append(nString(funcName));
    origins_.push_back(nScriptServer::CurrentOrigin());
}

void nScriptEvent::RemoveFunction(const char* funcName) {
    if (!funcName) return;
    for (int i = 0; i < functions_.Size(); i++) {
        if (functions_[i] == funcName) {
            if (origins_[size_t(i)] == nScriptServer::Origin::Data) {
                const uint64_t bytes = std::strlen(funcName) + 32;
                charge_.Set(charge_.Bytes() > bytes ? charge_.Bytes() - bytes : 0, nullptr, nullptr);
            }
            functions_.Erase(i);
            origins_.erase(origins_.begin() + i);
            return;
        }
    }
}

const char* nScriptEvent::GetFunction(int index) const {
    if (index < 0 || index >= functions_.Size()) return nullptr;
    return functions_[index].Get();
}

void nScriptEvent::AppendListing(std::string& text) const {
    text += name_.Get();
    text += '_';
    for (const nArg& arg : args_) {
        switch (arg.GetType()) {
            case nArg::Int:
            case nArg::Bool: text += 'd'; break;
            case nArg::Float: text += 'f'; break;
            case nArg::String: text += 's'; break;
            default: text += 'v'; break;
        }
    }
    text += '\n';
}

nString nScriptEvent::ComposeCall(const char* funcName) const {
    nString call(funcName);
    call.Append("(");
    for (int i = 0; i < args_.Size(); i++) {
        if (i > 0) call.Append(",");
        const nArg& arg = args_[i];
        char num[64];
        switch (arg.GetType()) {
            case nArg::Int:
                snprintf(num, sizeof(num), "%d", arg.GetI());
                call.Append(num);
                break;
            case nArg::Bool:
                call.Append(arg.GetB() ? "1" : "0");
                break;
            case nArg::Float:
                snprintf(num, sizeof(num), "%f", double(arg.GetF()));
                call.Append(num);
                break;
            case nArg::String: {
                // Escaped as the object writer escapes texts, so no argument can
                // end its string and inject script text.
                std::string quoted;
                nLuaWriter::AppendQuoted(quoted, arg.GetS(), '\'');
                call.Append(quoted.c_str());
                break;
            }
            default:
                n_printf("nScriptEvent '%s': argument %d has no script form\n", name_.Get(), i);
                nKernelServer::FatalError("Aborting!\n");
                break;
        }
    }
    call.Append(")");
    return call;
}

bool nScriptEvent::Fire(nScriptServer* server) {
    if (functions_.Empty()) return true;
    if (!server) {
        n_error("nScriptEvent '%s': no script server to fire on\n", name_.Get());
        return false;
    }
    // Every call is composed before the first runs: a bound function may rebind
    // the event or destroy the object that owns it.
    nArray<nString> calls(functions_.Size());
    for (const nString& f : functions_) calls.Append(ComposeCall(f.Get()));
    const std::vector<nScriptServer::Origin> origins = origins_;
    bool ok = true;
    for (int i = 0; i < calls.Size(); i++) {
        const char* result = nullptr;
        if (!server->RunStored(calls[i].Get(), origins[size_t(i)], result)) ok = false;
    }
    return ok;
}
