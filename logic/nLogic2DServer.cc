#include "logic/nLogic2DServer.h"

#include "input/nInputServer.h"

const nClassInfo nLogic2DServer::classInfo = nClassInfo::Make<nLogic2DServer>("nlogic2dserver", "nroot");

bool nLogic2DServer::Register(nLogic2DClient* client) {
    if (count_ >= MaxClients) return false;
    clients_[count_++] = client;
    return true;
}

bool nLogic2DServer::ClaimMouse(nLogic2DClient* client) {
    if (!mouseOwner_) mouseOwner_ = client;
    return mouseOwner_ == client;
}

void nLogic2DServer::Trigger() {
    if (count_ == 0) return;

    // Insertion sort: stable, so equal priorities keep their registration order, and it
    // needs no buffer for at most 128 entries.
    for (int i = 1; i < count_; i++) {
        nLogic2DClient* c = clients_[i];
        int p = c->GetPriority();
        int j = i;
        for (; j > 0 && clients_[j - 1]->GetPriority() > p; j--) clients_[j] = clients_[j - 1];
        clients_[j] = c;
    }

    bool down = false, up = false;
    nInputServer* input = refInput_.Get();
    for (nInputEvent* e = input->FirstEvent(); e; e = nInputServer::NextEvent(e)) {
        if (e->deviceId != N_INPUT_DEV_MOUSE) continue;
        if (e->type == N_INPUT_MOUSE_MOVE) {
            mouseX_ = e->x;
            mouseY_ = e->y;
        } else if (e->type == N_INPUT_BUTTON_DOWN && e->number == 0) {
            down = true;
        } else if (e->type == N_INPUT_BUTTON_UP && e->number == 0) {
            up = true;
        }
    }

    mouseOwner_ = nullptr;
    for (int i = 0; i < count_; i++) clients_[i]->HandleMouse(mouseX_, mouseY_, down, up);
    count_ = 0;
}
