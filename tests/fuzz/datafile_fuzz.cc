// Feeds any bytes as a data file (a save game, the macros file): the load ends, the
// current object comes back, and nothing appears outside the object it loads into.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"

namespace {
class nSilentLog : public nLogHandler {};
int Count(nRoot* o) {
    int n = 1;
    for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) n += Count(c);
    return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nKernelServer* k = [] {
        auto* ks = new nKernelServer([](nKernelServer* s) {
            nKernelPackage(s);
            nScriptPackage(s);
        });
        static nSilentLog silent;
        ks->SetLogHandler(&silent);
        const std::string src = std::string(__FILE__).substr(0, std::string(__FILE__).rfind("/tests/"));
        ks->GetFileServer<nFileServer2>()->SetAssign("bin", (src + "/data/bin/win32/").c_str());
        ks->New("nluaserver2", "/sys/servers/script");
        return ks;
    }();
    static const std::string file = "/tmp/bw_datafile_fuzz_" + std::to_string(getpid()) + ".n";
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    nRoot* root = k->New("nroot", "/fuzz");
    const int outside = Count(k->GetRoot()) - 1;
    const char* result = nullptr;
    static_cast<nLuaServer2*>(k->Lookup("/sys/servers/script"))->RunDataFile(file.c_str(), root, result);
    if (k->GetCwd() != k->GetRoot() || k->Lookup("/fuzz") != root) std::abort();
    if (Count(k->GetRoot()) - Count(root) != outside) std::abort();
    root->Release();
    return 0;
}
