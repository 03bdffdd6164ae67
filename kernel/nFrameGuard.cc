#include "kernel/nFrameGuard.h"

#include <algorithm>
#include <vector>

#include "kernel/nRoot.h"

namespace {
// Objects running their frame now, innermost last, and the released ones waiting for
// their frames to return.
std::vector<nRoot*> runningFrames;
std::vector<nRoot*> pendingReleases;
}  // namespace

nFrameGuard::nFrameGuard(nRoot* obj) : obj_(obj) {
    if (obj_) runningFrames.push_back(obj_);
}

nFrameGuard::~nFrameGuard() {
    if (!obj_) return;
    for (size_t i = runningFrames.size(); i-- > 0;) {
        if (runningFrames[i] == obj_) {
            runningFrames.erase(runningFrames.begin() + long(i));
            break;
        }
    }
    // Freeing one may release others: each round starts over with what is left.
    for (size_t i = 0; i < pendingReleases.size();) {
        nRoot* obj = pendingReleases[i];
        if (HoldsRunningFrame(obj)) {
            i++;
            continue;
        }
        pendingReleases.erase(pendingReleases.begin() + long(i));
        // One that was taken up again meanwhile belongs to its new holder's Release.
        if (obj->GetRefCount() <= 0) delete obj;
        i = 0;
    }
}

bool nFrameGuard::HoldsRunningFrame(const nRoot* obj) {
    if (!obj) return false;
    for (const nRoot* running : runningFrames) {
        for (const nRoot* o = running; o; o = o->GetParent()) {
            if (o == obj) return true;
        }
    }
    return false;
}

bool nFrameGuard::IsReleasePending(const nRoot* obj) {
    return obj && std::find(pendingReleases.begin(), pendingReleases.end(), obj) != pendingReleases.end();
}

bool nFrameGuard::DeferRelease(nRoot* obj) {
    if (runningFrames.empty() || !HoldsRunningFrame(obj)) return false;
    // A second release of a waiting object changes nothing.
    if (!IsReleasePending(obj)) {
        obj->Remove();
        pendingReleases.push_back(obj);
    }
    return true;
}
