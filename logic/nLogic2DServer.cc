#include "logic/nLogic2DServer.h"

#include "input/nInputServer.h"

const nClassInfo nLogic2DServer::classInfo = nClassInfo::Make<nLogic2DServer>("nlogic2dserver", "nroot");

bool nLogic2DServer::Register(nLogic2DClient* client) {
    if (count_ >= MaxClients) return false;
    clients_[count_++] = client;
    return true;
}

void nLogic2DServer::Unregister(nLogic2DClient* client) {
    if (mouseOwner_ == client) mouseOwner_ = nullptr;
    if (serving_) {
        // The dispatch walks the table: the entry is emptied, not moved.
        for (int i = 0; i < count_; i++) {
            if (clients_[i] == client) clients_[i] = nullptr;
        }
        return;
    }
    int kept = 0;
    for (int i = 0; i < count_; i++) {
        if (clients_[i] != client) clients_[kept++] = clients_[i];
    }
    count_ = kept;
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
    serving_ = true;
    for (int i = 0; i < count_; i++) {
        if (clients_[i]) clients_[i]->HandleMouse(mouseX_, mouseY_, down, up);
    }
    serving_ = false;
    count_ = 0;
}
