#include "scene/nChannelSet.h"

#include "kernel/nKernelServer.h"
#include "scene/nChannelServer.h"

int nChannelSet::AddChannel(nChannelServer* server, const char* name) {
    int channel = server->GenChannel(name);
    if (channel < 0) return -1;
    for (uint16_t c : channels_) {
        if (c == channel) return channel;
    }
    channels_.Append(static_cast<uint16_t>(channel));
    return channel;
}

int nChannelSet::Find(int channel) {
    // A refused channel (-1) was reported when it was refused.
    if (channel < 0) return -1;
    for (int pos = 0; pos < channels_.Size(); pos++) {
        if (channels_[pos] == channel) return pos;
    }
    if (!missLogged_) {
        missLogged_ = true;
        n_error("nChannelSet::Find(): channel %d not in set, it reads 0\n", channel);
    }
    return -1;
}

void nChannelSet::Clear() {
    channels_.Clear();
    missLogged_ = false;
}
