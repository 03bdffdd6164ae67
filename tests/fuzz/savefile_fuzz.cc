// Feeds any bytes to the save reader: a save is values, so whatever it reads builds only
// the declared classes below the scratch object, with data's origin, and what loaded is
// written again within the bytes the reader counted and reads back.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "anim/nAnimPackage.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nObjectFileReader.h"
#include "logic/nLogicPackage.h"
#include "logic/nPersist.h"
#include "logic/nPersistVar.h"
#include "scene/nScenePackage.h"
#include "script/nScriptPackage.h"

namespace {
class nSilentLog : public nLogHandler {};

int Count(nRoot* o) {
    int n = 1;
    for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) n += Count(c);
    return n;
}

// Only the save's classes, each value data's, within a save's shape: its depth, names,
// values a store and texts.
void CheckBuilt(nRoot* o, int depth = 1) {
    if (depth > nPersist::MaxSaveDepth && o->GetHead()) std::abort();
    for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) {
        const std::string cls = c->GetClass()->GetName();
        if (cls != "nroot" && cls != "npersist" && cls != "npersistlogic") std::abort();
        if (std::strlen(c->GetName()) > nPersist::MaxSaveNameBytes) std::abort();
        if (c->IsA("npersist")) {
            auto* p = static_cast<nPersist*>(c);
            if (p->GetNumVars() > nPersist::MaxSaveValuesAStore) std::abort();
            for (nPersistVar* pv = p->GetFirstVar(); pv; pv = pv->GetSucc()) {
                if (pv->origin != nScriptServer::Origin::Data) std::abort();
                if (std::strlen(pv->GetName()) > nPersist::MaxSaveNameBytes) std::abort();
                const nVariable& v = pv->Get();
                if (v.GetType() == nVariable::String && std::strlen(v.GetS()) > nPersist::MaxSaveTextBytes) std::abort();
            }
        }
        CheckBuilt(c, depth + 1);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nKernelServer* k = [] {
        auto* ks = new nKernelServer([](nKernelServer* s) {
            nKernelPackage(s);
            nScriptPackage(s);
            nScenePackage(s);
            nAnimPackage(s);
            nLogicPackage(s);
        });
        static nSilentLog silent;
        ks->SetLogHandler(&silent);
        ks->New("nluaserver2", "/sys/servers/script");
        return ks;
    }();
    static const std::string file = "/tmp/bw_savefile_fuzz_" + std::to_string(getpid());
    const int outside = Count(k->GetRoot());
    nRoot* cwd = k->GetCwd();
    nRoot* scratch = k->NewUnnamed("nroot");
    nObjectFileReader reader(nPersist::SaveFormat());
    const bool ok = reader.ReadText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.n", scratch);
    if (k->GetCwd() != cwd || Count(k->GetRoot()) != outside) std::abort();
    if (ok && uint64_t(Count(scratch) - 1) > nPersist::MaxSaveObjects) std::abort();
    CheckBuilt(scratch);
    if (ok) {
        // What loaded saves again, within what the reader counted, and loads again.
        if (!scratch->SaveAs(file.c_str())) std::abort();
        FILE* f = std::fopen((file + ".n").c_str(), "rb");
        std::string text;
        char buf[65536];
        for (size_t n; f && (n = std::fread(buf, 1, sizeof(buf), f)) > 0;) text.append(buf, n);
        if (f) std::fclose(f);
        if (text.size() > reader.GetKeptBytes() || text.size() > nPersist::MaxSaveBytes) std::abort();
        nRoot* again = k->NewUnnamed("nroot");
        if (!reader.ReadText(text, "again.n", again) || Count(again) != Count(scratch)) std::abort();
        again->Release();
    }
    scratch->Release();
    return 0;
}
