#include "kernel/nProfiler.h"

#include <string>

#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"
#include "kernel/nTimeServer.h"

nProfiler::nProfiler(nTimeServer* timeServer, const char* name)
    : node_(this), name_(name ? name : ""), timeServer_(timeServer) {
    std::string path = std::string("/sys/var/prof_") + name_.Get();
    nKernelServer* ks = nKernelServer::ks;
    if (!ks) return;
    nRoot* env = ks->Lookup(path.c_str());
    if (!env) env = ks->NewNoFail("nenv", path.c_str());
    if (!env) {
        ks->Error("nProfiler: could not create the variable '%s'\n", path.c_str());
    } else if (!env->IsA("nenv")) {
        ks->Error("nProfiler: '%s' is not an nenv, nothing will be published\n", path.c_str());
    } else {
        env_.Set(static_cast<nEnv*>(env));
    }
}

nProfiler::~nProfiler() { node_.Remove(); }

void nProfiler::Start() {
    if (running_) return;
    running_ = true;
    startTicks_ = timeServer_->GetTicks();
}

void nProfiler::Stop() {
    if (!running_) return;
    running_ = false;
    accumTicks_ += timeServer_->GetTicks() - startTicks_;
}

bool nProfiler::Publish(int64_t frequency) {
    float seconds = float(double(accumTicks_) / double(frequency > 0 ? frequency : 1));
    accumTicks_ = 0;
    nEnv* env = env_.GetUnsafe();
    if (!env) return false;
    env->SetF(seconds);
    return true;
}

nProfiler* nProfiler::GetSucc() const {
    nNode* n = node_.GetSucc();
    return n ? static_cast<nProfiler*>(n->GetPtr()) : nullptr;
}
