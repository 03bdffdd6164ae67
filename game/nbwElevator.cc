#include "game/nbwElevator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "game/nbwContainer.h"
#include "game/nbwItem.h"
#include "game/nbwLevel.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicSprite.h"
#include "script/nLuaWriter.h"

static const nCmdDef<nbwElevator> cmds[] = {
    Bind<&nbwElevator::MoveCmd>("v_move_sf", "EMOV"),
    Bind<&nbwElevator::MouseMove>("v_mousemove_v", "KMMM"),
    Bind<&nbwElevator::MouseDown>("v_mousedown_v", "KMMD"),
    Bind<&nbwElevator::MouseUp>("v_mouseup_v", "KMMU"),
    Bind<&nbwElevator::OpenInventoryCmd>("v_openinventory_v", "KMOI"),
    Bind<&nbwElevator::CloseInventory>("v_closeinventory_v", "KMCI"),
    Bind<&nbwElevator::IsOpen>("b_isopen_v", "KMIO"),
    // The basket hands out no item; the checked call still wants its one result.
    {"s_getitem_v", "KMGI", [](nbwElevator*, nCmd* c) { c->Out()->SetS(""); }},
};
const nClassInfo nbwElevator::classInfo = nClassInfo::Make<nbwElevator>("nbwelevator", "nbwdiver", cmds);

namespace {

// The actor's child "input" when it is a logic input node.
nLogicInput* InputOf(nRoot* actor) {
    nRoot* in = nullptr;
    for (nRoot* c = actor ? actor->GetHead() : nullptr; c; c = c->GetSucc()) {
        if (c->GetName() && std::strcmp(c->GetName(), "input") == 0) in = c;
    }
    return in && in->IsA(nLogicInput::classInfo.name) ? static_cast<nLogicInput*>(in) : nullptr;
}

}  // namespace

nbwElevator::nbwElevator() = default;
nbwElevator::~nbwElevator() = default;

bool nbwElevator::SaveCmds(nPersistServer* ps) {
    // The basket has nothing of its own to save. Our object writer drops an object whose
    // lines report false, so the actor's result is handed on.
    return nbwActor::SaveCmds(ps);
}

void nbwElevator::PlayMove(int move, const char* text, float power) {
    nbwActor::PlayMove(move, text, power);
}

// -- looking up the screen --------------------------------------------------------------

void nbwElevator::Missing(const char* name) {
    if (std::find(logged_.begin(), logged_.end(), name) != logged_.end()) return;
    logged_.emplace_back(name);
    n_error("%s: the basket has no usable '%s': its screen steps are skipped (logged once)\n",
            GetFullName().c_str(), name);
}

nRoot* nbwElevator::Named(const char* name) {
    return nKernelServer::ks->LookupFrom(this, name);
}

void nbwElevator::SetupScreen() {
    needsSetup_ = false;
    slots_.clear();
    if (nRoot* statics = Named("static")) {
        for (nRoot* c = statics->GetHead(); c; c = c->GetSucc()) {
            if (c->IsA(nLogicSprite::classInfo.name)) slots_.emplace_back(c);
        }
    }
    nRoot* s = Named("selection");
    selection_ = s && s->IsA(nLogicFlash::classInfo.name) ? s : nullptr;
    s = Named("selector");
    selector_ = s && s->IsA(nLogicSprite::classInfo.name) ? s : nullptr;
    s = Named("menuinput");
    menuInput_ = s && s->IsA(nLogicInput::classInfo.name) ? s : nullptr;
}

nLogicInput* nbwElevator::MenuInput() {
    auto* n = static_cast<nLogicInput*>(menuInput_.GetUnsafe());
    if (!n) Missing("menuinput");
    return n;
}

nLogicFlash* nbwElevator::Selection() {
    auto* n = static_cast<nLogicFlash*>(selection_.GetUnsafe());
    if (!n) Missing("selection");
    return n;
}

nLogicSprite* nbwElevator::Selector() {
    auto* n = static_cast<nLogicSprite*>(selector_.GetUnsafe());
    if (!n) Missing("selector");
    return n;
}

nbwContainer* nbwElevator::BasketInventory() {
    return nbwContainer::AsContainer(GetPath(nbwDiver::Inventory));
}

// -- loading the basket -----------------------------------------------------------------

void nbwElevator::RunMessage(const std::string& statement) {
    auto* script = dynamic_cast<nScriptServer*>(nKernelServer::ks->Lookup("/sys/servers/script"));
    if (!script) {
        n_error("%s: no script server for '%s'\n", GetFullName().c_str(), statement.c_str());
        return;
    }
    const char* result = nullptr;
    if (!script->Run(statement.c_str(), result)) {
        n_error("%s: '%s' failed: %s\n", GetFullName().c_str(), statement.c_str(), result ? result : "");
    }
}

void nbwElevator::Use(nRoot* obj) {
    nbwContainer* basket = BasketInventory();
    if (!basket) return;
    nbwItem* item = nbwContainer::AsItem(obj);
    nbwContainer* holder = item ? nbwContainer::AsContainer(item->GetParent()) : nullptr;
    nRoot* userObj = holder ? holder->GetParent() : nullptr;
    if (!item || !holder || !userObj || !userObj->IsA(nbwActor::classInfo.name)) {
        n_error("%s: use: '%s' is no item in a diver's container: ignored\n", GetFullName().c_str(),
                obj ? obj->GetFullName().c_str() : "none");
        return;
    }
    auto* user = static_cast<nbwActor*>(userObj);
    const char* type = item->GetString(nbwItem::Type);
    if (type && std::strcmp(type, "hand") == 0) {
        OpenInventory(user);
        return;
    }
    std::string statement;
    const char* name;
    if (nbwContainer::CanHold(basket, item)) {
        holder->PackOut(item, basket);
        user->SetPath(Hand, "inventory/hand");
        name = type;
        statement = "displaymessage( format( FB_BASKETITEMISERT, FB_" + std::string(type ? type : "") + "), 2.0, 2 )";
    } else {
        name = GetName();
        statement = "displaymessage( format( FB_OVERLOADED, FB_" + std::string(name ? name : "") + "), 2.0, 2 )";
    }
    if (!nLuaWriter::IsIdentifier(name)) {
        n_error("%s: use: '%s' is no name for a message: none shown\n", GetFullName().c_str(), name ? name : "");
        return;
    }
    RunMessage(statement);
}

// -- the screen --------------------------------------------------------------------------

void nbwElevator::OpenInventoryCmd() {
    n_error("%s: v_openinventory: the screen opens only for a diver: refused\n", GetFullName().c_str());
}

void nbwElevator::OpenInventory(nbwActor* user) {
    if (countdown_ >= 1 || open_) return;
    if (!user) {
        n_error("%s: the screen opens only for a diver: refused\n", GetFullName().c_str());
        return;
    }
    if (needsSetup_) SetupScreen();
    user_ = user;
    countdown_ = 4;
    if (nLogicInput* in = InputOf(user)) in->SetFocus(false);
    if (nLogicInput* menu = MenuInput()) menu->SetFocus(true);
    open_ = true;
    needsRefresh_ = true;
    dragging_ = false;
}

void nbwElevator::CloseInventory() {
    if (countdown_ >= 1 || !open_) return;
    nRoot* back = user_.GetUnsafe();
    if (!back) {
        nRoot* parent = GetParent();
        if (parent && parent->IsA(nbwLevel::classInfo.name)) back = static_cast<nbwLevel*>(parent)->GetActiveDiver();
    }
    // The menu lets go first: in a shared focus group its letting go would take the
    // focus from the diver again.
    if (nLogicInput* menu = MenuInput()) menu->SetFocus(false);
    if (nLogicInput* in = InputOf(back)) in->SetFocus(true);
    user_ = nullptr;
    open_ = false;
    needsRefresh_ = true;
    countdown_ = 2;
}

void nbwElevator::FillLists() {
    nLogicFlash* selection = Selection();
    nbwContainer* basket = BasketInventory();
    if (!selection || !basket) return;
    // A screen loaded afresh has lost the German names the game handed its movie.
    const char* labels = selection->GetValue(LabelsValue);
    if ((!labels || !*labels) && !labels_.empty()) selection->SetValue(LabelsValue, labels_.c_str());
    std::string types, names;
    bool first = true;
    for (nRoot* c = basket->GetHead(); c; c = c->GetSucc()) {
        nbwItem* item = nbwContainer::AsItem(c);
        if (!item) continue;
        if (!first) {
            types += ",";
            names += ",";
        }
        first = false;
        const char* t = item->GetString(nbwItem::Type);
        types += t ? t : "";
        names += item->GetName() ? item->GetName() : "";
    }
    selection->SetValue("invtyp_list_string", types.c_str());
    selection->SetValue("invname_list_string", names.c_str());
}

void nbwElevator::ShowScreen() {
    for (nRef<nRoot>& s : slots_) {
        if (nRoot* o = s.GetUnsafe()) static_cast<nLogicSprite*>(o)->SetActive(open_);
    }
    if (nLogicSprite* sel = Selector()) sel->SetActive(open_);
    nLogicFlash* selection = Selection();
    if (!selection) return;
    selection->SetActive(open_);
    if (open_) {
        selection->LoadFlash();
    } else {
        // Kept for the next opening: unloading forgets them.
        if (const char* labels = selection->GetValue(LabelsValue)) labels_ = labels;
        selection->UnloadFlash();
    }
}

// -- the mouse ---------------------------------------------------------------------------

void nbwElevator::MouseMove() {
    if (countdown_ >= 1) return;
    if (needsSetup_) SetupScreen();
    if (mouseMoved_) return;
    nLogicInput* in = MenuInput();
    if (!in) return;
    mouseMoved_ = true;
    deltaX_ = mouseX_ - in->GetMouseX();
    deltaY_ = mouseY_ - in->GetMouseY();
    mouseX_ = in->GetMouseX();
    mouseY_ = in->GetMouseY();
}

void nbwElevator::MouseDown() {
    if (countdown_ >= 1) return;
    if (needsSetup_) SetupScreen();
    nLogicSprite* sel = Selector();
    nLogicInput* in = MenuInput();
    if (!sel || !in) return;
    float x, y, w, h;
    sel->GetPosition(x, y);
    sel->GetDimension(w, h);
    // Where the press came, also in the frame the pointer came there.
    mouseX_ = in->GetPressX();
    mouseY_ = in->GetPressY();
    const float mx = float(mouseX_), my = float(mouseY_);
    if (x <= mx && mx < x + w && y <= my && my < y + h) {
        dragging_ = true;
        deltaX_ = deltaY_ = 0;
    } else {
        CloseInventory();
    }
}

void nbwElevator::MouseUp() {
    if (countdown_ >= 1) return;
    dragging_ = false;
    scrollTimer_ = 0.0f;
    if (needsSetup_) SetupScreen();
    nLogicSprite* sel = Selector();
    nLogicFlash* selection = Selection();
    if (!sel || !selection) return;
    float x, y, w, h, sx, sy;
    sel->GetPosition(x, y);
    sel->GetDimension(w, h);
    selection->GetPosition(sx, sy);
    const float mx = float(mouseX_), my = float(mouseY_);
    if (!(x <= mx && mx < x + w && y <= my && my < y + h)) return;
    for (float r : RestX) {
        if (x == sx + r) {
            sel->SetPosition(x + 1.0f, y);
            return;
        }
    }
}

// -- the frame ---------------------------------------------------------------------------

bool nbwElevator::Trigger(nLogicGraph* graph) {
    nRef<nRoot> self(this);
    const float ft = GetFrameTime();
    if (open_ && !user_.GetUnsafe()) CloseInventory();
    if (needsSetup_) SetupScreen();
    if (needsRefresh_) {
        if (open_) FillLists();
        ShowScreen();
        needsRefresh_ = false;
    }
    if (open_) UpdateSelector(ft);
    if (!self.IsValid()) return false;
    deltaX_ = deltaY_ = 0;
    mouseMoved_ = false;
    countdown_--;
    // The basket neither swims nor loses life: the diver's own frame is skipped.
    return nbwActor::Trigger(graph);
}

void nbwElevator::UpdateSelector(float ft) {
    nLogicFlash* selection = Selection();
    nLogicSprite* sel = Selector();
    if (!selection || !sel) return;
    float sx, sy, px, py;
    selection->GetPosition(sx, sy);
    sel->GetPosition(px, py);
    py = sy - 1.0f;
    if (dragging_) {
        const float dx = float(deltaX_);
        const float mx = float(mouseX_);
        if ((dx < 0.0f && sx < mx) || (dx > 0.0f && mx < sx + 250.0f)) px -= dx;
        px = std::clamp(px, sx, sx + 205.0f);
        const char* command = px > sx + 203.0f ? "left" : px < sx + 2.0f ? "right" : nullptr;
        if (command) {
            if (scrollTimer_ == 0.0f) {
                selection->SetValue("move_command", command);
                // Its movie moves the window when it draws, which a resting pointer does not ask.
                selection->RaiseUpdateRequests(1);
                scrollTimer_ = ScrollRepeat;
            } else {
                scrollTimer_ -= ft;
            }
            if (scrollTimer_ < 0.0f) scrollTimer_ = 0.0f;
        }
        sel->SetPosition(px, py);
        return;
    }
    for (float r : RestX) {
        if (px == sx + r) {
            sel->SetPosition(px, py);
            return;
        }
    }
    int zone = 3;
    for (int i = 0; i < 4; i++) {
        if (sx + ZoneEnd[i] > px) {
            zone = i;
            break;
        }
    }
    const float rest = sx + RestX[zone];
    const float step = ft * SlideSpeed;
    bool arrived;
    if (px < rest) {
        px = std::min(rest, px + step);
    } else {
        px = std::max(rest, px - step);
    }
    arrived = px == rest;
    sel->SetPosition(px, py);
    if (arrived) TakeSlot(4 - zone);
}

void nbwElevator::TakeSlot(int slot) {
    nLogicFlash* selection = Selection();
    const std::string key = "slot" + std::to_string(slot);
    const char* t = selection->GetValue((key + "_typ").c_str());
    const std::string type = t ? t : "";
    if (t && type != "empty") {
        const char* n = selection->GetValue((key + "_name").c_str());
        const std::string name = n ? n : "";
        nbwContainer* basket = BasketInventory();
        // The movie names an item of the basket's own, nothing else.
        nbwItem* item = nbwContainer::HeldItem(basket, name.c_str());
        auto* user = static_cast<nbwActor*>(user_.GetUnsafe());
        if (user && item && basket && !name.empty()) {
            nbwContainer* into = nbwContainer::AsContainer(user->GetPath(nbwDiver::Inventory));
            if (into && nbwContainer::CanHold(into, item)) {
                const char* it = item->GetString(nbwItem::Type);
                basket->PackOut(item, into);
                if (nLuaWriter::IsIdentifier(it)) {
                    RunMessage("displaymessage( format( FB_BASKETITEMREMOVED, FB_" + std::string(it) + ") , 2.0, 2 )");
                } else {
                    n_error("%s: '%s' is no name for a message: none shown\n", GetFullName().c_str(), it ? it : "");
                }
            } else {
                std::string statement = "displaymessage( format( FB_OVERLOADED, ";
                nLuaWriter::AppendQuoted(statement, user->GetName() ? user->GetName() : "", '\'');
                statement += ") , 2.0, 2 )";
                RunMessage(statement);
            }
        }
    }
    CloseInventory();
}
