#include "kernel/nDataCharge.h"

#include <string>

#include "kernel/nKernelServer.h"
#include "kernel/nObjectCount.h"
#include "kernel/nScriptServer.h"

bool nDataCharge::Fits(uint64_t more, const nRoot* owner, const char* what) {
    const uint64_t live = nObjectCount::DataLiveBytes();
    if (more <= nObjectCount::LiveBytesBound() && live <= nObjectCount::LiveBytesBound() - more) return true;
    n_error("%s%s%s refused: data would keep more than %llu bytes\n", owner ? owner->GetFullName().c_str() : "",
            owner ? ": " : "", what ? what : "?", static_cast<unsigned long long>(nObjectCount::LiveBytesBound()));
    return false;
}

bool nDataCharge::Hold(uint64_t bytes, const nRoot* owner, const char* what) {
    if (!nScriptServer::DataRunning()) {
        Drop();
        return true;
    }
    if (bytes > bytes_ && !Fits(bytes - bytes_, owner, what)) return false;
    Keep(bytes);
    return true;
}

bool nDataCharge::Set(uint64_t bytes, const nRoot* owner, const char* what) {
    if (bytes > bytes_ && !Fits(bytes - bytes_, owner, what)) return false;
    nObjectCount::ChargeKept(int64_t(bytes) - int64_t(bytes_));
    bytes_ = bytes;
    return true;
}

void nDataCharge::Keep(uint64_t bytes) {
    if (!nScriptServer::DataRunning()) bytes = 0;
    nObjectCount::ChargeKept(int64_t(bytes) - int64_t(bytes_));
    bytes_ = bytes;
}

void nDataCharge::Drop() {
    if (!bytes_) return;
    nObjectCount::ChargeKept(-int64_t(bytes_));
    bytes_ = 0;
}
