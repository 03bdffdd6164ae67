#include "game/nbwUwMenu.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "game/nbwContainer.h"
#include "game/nbwDiver.h"
#include "game/nbwElevator.h"
#include "game/nbwItem.h"
#include "game/nbwLevel.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nScriptServer.h"
#include "logic/nBaseObserver.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicSprite.h"
#include "scene/nChannelServer.h"
#include "script/nLuaWriter.h"

static const nCmdDef<nbwUwMenu> cmds[] = {
    Bind<&nbwUwMenu::OpenInventory>("v_openinventory_v", "UMOI"),
    Bind<&nbwUwMenu::CloseInventory>("v_closeinventory_v", "UMCI"),
    Bind<&nbwUwMenu::ToggleInventory>("v_toggleinventory_v", "UMTI"),
    Bind<&nbwUwMenu::ShowMenu>("v_showmenu_b", "UMSM"),
    Bind<&nbwUwMenu::MouseMove>("v_mousemove_v", "UMMM"),
    Bind<&nbwUwMenu::MouseDown>("b_mousedown_v", "UMMD"),
    Bind<&nbwUwMenu::MouseUp>("v_mouseup_v", "UMMU"),
    Bind<&nbwUwMenu::RegisterLevel>("v_registerlevel_s", "UMRL"),
    Bind<&nbwUwMenu::SetText>("v_settext_s", "UMST"),
};
const nClassInfo nbwUwMenu::classInfo = nClassInfo::Make<nbwUwMenu>("nbwuwmenu", "nlogicnode", cmds);

namespace {

// Shared by every display: a help text stands in the status line.
bool helpShown = false;

const char* const kFigureNames[nbwUwMenu::Humans + nbwUwMenu::Others] = {
    "taucher1", "taucher2", "taucher3", "geraet1", "geraet2", "geraet3", "geraet4"};

// A help area: x and y bounds (exclusive), the figure that must be active (or none)
// and the statement run.
struct HelpArea {
    int x0, x1, y0, y1;
    int figure;
    const char* text;
};

const HelpArea kHelpAreas[] = {
    {75, 105, 563, 569, 0, "settext(FB_SAUERSTOFF_TAUCHER)"},
    {75, 105, 570, 576, 0, "settext(FB_ZUSTAND_TAUCHER)"},
    {110, 140, 563, 569, 1, "settext(FB_SAUERSTOFF_TAUCHER)"},
    {110, 140, 570, 576, 1, "settext(FB_ZUSTAND_TAUCHER)"},
    {145, 175, 563, 569, 2, "settext(FB_SAUERSTOFF_TAUCHER)"},
    {145, 175, 570, 576, 2, "settext(FB_ZUSTAND_TAUCHER)"},
    {190, 240, 559, 565, 3, "settext(FB_ENERGIE_SPEZIALGERAET)"},
    {190, 240, 566, 571, 3, "settext(FB_ZUSTAND_SPEZIALGERAET)"},
    {248, 298, 559, 565, 4, "settext(FB_ENERGIE_SPEZIALGERAET)"},
    {248, 298, 566, 571, 4, "settext(FB_ZUSTAND_SPEZIALGERAET)"},
    {306, 356, 559, 565, 5, "settext(FB_ENERGIE_SPEZIALGERAET)"},
    {306, 356, 566, 571, 5, "settext(FB_ZUSTAND_SPEZIALGERAET)"},
    {364, 414, 559, 565, 6, "settext(FB_ENERGIE_SPEZIALGERAET)"},
    {364, 414, 566, 571, 6, "settext(FB_ZUSTAND_SPEZIALGERAET)"},
    {694, 791, 459, 490, -1, "settext(FB_ZUSTAND_GERAET)"},
    {660, 688, 495, 590, -1, "settext(FB_ENERGIE_GERAET)"},
    // 0 <= x < 64, y > 535.
    {-1, 64, 535, 1 << 30, -1, "settext(FB_ONBOARD_WECHSEL)"},
};

// Click ranges of the figures: humans lo < x <= hi, others lo < x < hi.
struct ClickRange {
    int lo, hi;
};
const ClickRange kHumanClicks[nbwUwMenu::Humans] = {{75, 105}, {110, 140}, {145, 175}};
const ClickRange kOtherClicks[nbwUwMenu::Others] = {{190, 240}, {248, 298}, {306, 356}, {364, 414}};

bool Flag(nbwActor* a, const char* name) {
    const int i = nbwActor::NameIndex(a->GetFlagNames(), name);
    return i >= 0 && a->GetFlag(i);
}

double Stat(nbwActor* a, const char* name) {
    const int i = nbwActor::NameIndex(a->GetStatNames(), name);
    return i >= 0 ? double(a->GetStat(i)) : 0.0;
}

nRoot* PathOf(nbwActor* a, const char* name) {
    const int i = nbwActor::NameIndex(a->GetPathNames(), name);
    return i >= 0 ? a->GetPath(i) : nullptr;
}

// trunc(value × 100 / max) within 1 … 100; 100 when value or max is not above 0.
int Percent(float value, float max, bool byValue) {
    if ((byValue ? value : max) <= 0.0f) return 100;
    return std::clamp(int(std::trunc(value * 100.0f / max)), 1, 100);
}

}  // namespace

nbwUwMenu::nbwUwMenu() = default;
nbwUwMenu::~nbwUwMenu() = default;

bool nbwUwMenu::SaveCmds(nPersistServer* ps) {
    if (!nLogicNode::SaveCmds(ps)) return false;
    if (nRoot* level = level_.GetUnsafe()) ps->Put(this, nId("UMRL"), level->GetFullName().c_str());
    return true;
}

nbwLevel* nbwUwMenu::GetLevel() const {
    return static_cast<nbwLevel*>(level_.GetUnsafe());
}

void nbwUwMenu::RegisterLevel(const char* path) {
    nRoot* obj = path && path[0] ? nKernelServer::ks->Lookup(path) : nullptr;
    if (obj && !obj->IsA(nbwLevel::classInfo.name)) {
        n_error("%s: v_registerlevel: '%s' is no level: none registered\n", GetFullName().c_str(), path);
        obj = nullptr;
    }
    level_ = obj;
}

void nbwUwMenu::ShowMenu(bool on) {
    show = on;
    redraw = true;
}

// -- the children ------------------------------------------------------------------------

void nbwUwMenu::Missing(const char* name) {
    if (std::find(logged_.begin(), logged_.end(), name) != logged_.end()) return;
    logged_.emplace_back(name);
    n_error("%s: the display has no usable '%s': its steps are skipped (logged once)\n", GetFullName().c_str(),
            name);
}

nRoot* nbwUwMenu::Child(const char* name) {
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(this);
    nRoot* obj = ks->Lookup(name);
    ks->PopCwd();
    return obj;
}

nLogicFlash* nbwUwMenu::Flash(const nRef<nRoot>& ref, const char* name) {
    nRoot* o = ref.GetUnsafe();
    if (o && o->IsA(nLogicFlash::classInfo.name)) return static_cast<nLogicFlash*>(o);
    Missing(name);
    return nullptr;
}

nLogicSprite* nbwUwMenu::Sprite(const nRef<nRoot>& ref, const char* name) {
    nRoot* o = ref.GetUnsafe();
    if (o && o->IsA(nLogicSprite::classInfo.name)) return static_cast<nLogicSprite*>(o);
    Missing(name);
    return nullptr;
}

void nbwUwMenu::BuildReferences() {
    statics_.clear();
    if (nRoot* s = Child("static")) {
        for (nRoot* c = s->GetHead(); c; c = c->GetSucc()) {
            if (c->IsA(nLogicSprite::classInfo.name)) statics_.emplace_back(c);
        }
    }
    selectionSprites_.clear();
    if (nRoot* s = Child("selection_sprites")) {
        for (nRoot* c = s->GetHead(); c; c = c->GetSucc()) {
            if (!c->IsA(nLogicSprite::classInfo.name)) continue;
            Home h;
            h.ref = c;
            static_cast<nLogicSprite*>(c)->GetPosition(h.x, h.y);
            selectionSprites_.push_back(std::move(h));
        }
    }
    auto set = [this](nRef<nRoot>& ref, const char* name) {
        if (nRoot* o = Child(name)) ref = o;
    };
    set(statusbar_, "statusbar");
    set(inventory_, "inventory");
    set(energy_, "energy");
    set(hitpoints_, "hitpoints");
    set(button_, "button");
    set(input_, "input");
    for (int i = 0; i < Humans + Others; i++) set(figures_[i], kFigureNames[i]);
    for (Home* h : {&selection_, &selector_}) {
        nRoot* o = Child(h == &selection_ ? "selection" : "selector");
        if (!o) continue;
        h->ref = o;
        if (o->IsA(nLogicSprite::classInfo.name)) static_cast<nLogicSprite*>(o)->GetPosition(h->x, h->y);
    }
}

void nbwUwMenu::ApplyVisibility() {
    const bool shown = openness_ > 0.0f && show;
    for (Home& h : selectionSprites_) {
        if (auto* n = static_cast<nLogicNode*>(h.ref.GetUnsafe())) n->SetActive(shown);
    }
    for (Home* h : {&selection_, &selector_}) {
        if (auto* n = static_cast<nLogicNode*>(h->ref.GetUnsafe())) n->SetActive(shown);
    }
    for (nRef<nRoot>& r : statics_) {
        if (auto* n = static_cast<nLogicNode*>(r.GetUnsafe())) n->SetActive(show);
    }
    for (nRef<nRoot>* r : {&statusbar_, &inventory_, &energy_, &hitpoints_, &button_}) {
        nRoot* o = r->GetUnsafe();
        if (o && o->IsA(nLogicNode::classInfo.name)) static_cast<nLogicNode*>(o)->SetActive(show);
    }
    for (nRef<nRoot>& r : figures_) {
        nRoot* o = r.GetUnsafe();
        if (o && o->IsA(nLogicNode::classInfo.name)) static_cast<nLogicNode*>(o)->SetActive(show);
    }
}

void nbwUwMenu::HideAll() {
    auto hide = [](nRoot* o) {
        if (!o || !o->IsA(nLogicSprite::classInfo.name)) return;
        auto* s = static_cast<nLogicSprite*>(o);
        s->SetActive(false);
        s->ReleaseQuad();
    };
    for (Home& h : selectionSprites_) hide(h.ref.GetUnsafe());
    hide(selection_.ref.GetUnsafe());
    hide(selector_.ref.GetUnsafe());
    for (nRef<nRoot>& r : statics_) hide(r.GetUnsafe());
    auto unload = [](nRoot* o) {
        if (!o || !o->IsA(nLogicFlash::classInfo.name)) return;
        auto* f = static_cast<nLogicFlash*>(o);
        f->SetActive(false);
        f->UnloadFlash();
        f->ReleaseQuad();
    };
    for (nRef<nRoot>* r : {&statusbar_, &inventory_, &energy_, &hitpoints_}) unload(r->GetUnsafe());
    for (nRef<nRoot>& r : figures_) unload(r.GetUnsafe());
    nRoot* b = button_.GetUnsafe();
    if (b && b->IsA(nLogicNode::classInfo.name)) static_cast<nLogicNode*>(b)->SetActive(false);
    redraw = true;
}

// -- statements and the observer ---------------------------------------------------------

bool nbwUwMenu::Run(const char* statement) {
    auto* script = dynamic_cast<nScriptServer*>(nKernelServer::ks->Lookup("/sys/servers/script"));
    if (!script) {
        n_error("%s: no script server for '%s'\n", GetFullName().c_str(), statement);
        return true;
    }
    // The statement may delete the display.
    nRef<nRoot> self(this);
    nKernelServer::ks->PushCwd(this);
    const char* result = nullptr;
    if (!script->Run(statement, result)) {
        n_error("%s: '%s' failed: %s\n", self.IsValid() ? GetFullName().c_str() : "the display", statement,
                result ? result : "");
    }
    nKernelServer::ks->PopCwd();
    return self.IsValid();
}

void nbwUwMenu::SetGameState(bool on) {
    nRoot* o = nKernelServer::ks->Lookup("/sys/servers/observer");
    if (o && o->IsA(nBaseObserver::classInfo.name)) static_cast<nBaseObserver*>(o)->SetGameState(InventoryState, on);
}

void nbwUwMenu::SetText(const char* text) {
    nLogicFlash* bar = Flash(statusbar_, "statusbar");
    if (!bar) return;
    bar->SetValue("text", text ? text : " ");
    bar->RaiseUpdateRequests(3);
    if (!bar->GetActive()) bar->Update();
}

// -- the inventory bar -------------------------------------------------------------------

nbwActor* nbwUwMenu::HandDiver() {
    nbwLevel* level = GetLevel();
    nbwActor* diver = level ? level->GetActiveDiver() : nullptr;
    if (!diver || diver->IsA(nbwElevator::classInfo.name)) return nullptr;
    return diver;
}

void nbwUwMenu::OpenInventory() {
    if (!HandDiver() || open_) return;
    // Scripts may open the bar before the display's first frame.
    if (rebuild_) {
        BuildReferences();
        rebuild_ = false;
    }
    armed_ = false;
    FillInventoryLists();
    open_ = true;
    if (openness_ == 0.0f) {
        openness_ = 0.001f;
        redraw = true;
    }
    SetGameState(true);
}

void nbwUwMenu::CloseInventory() {
    if (!GetLevel() || !open_) return;
    armed_ = false;
    open_ = false;
    if (openness_ == 1.0f) openness_ = 0.999f;
    Run("settext(' ')");
    SetGameState(false);
}

void nbwUwMenu::ToggleInventory() {
    if (openness_ > 0.95f) {
        CloseInventory();
    } else if (openness_ < 0.05f) {
        OpenInventory();
        nbwLevel* level = GetLevel();
        if (nbwActor* diver = level ? level->GetActiveDiver() : nullptr) diver->Abort();
    }
}

void nbwUwMenu::FillInventoryLists() {
    nbwActor* diver = HandDiver();
    if (!diver) return;
    nLogicFlash* selection = Flash(selection_.ref, "selection");
    nRoot* inv = PathOf(diver, "inventory");
    if (!selection) return;
    if (!inv) Missing("inventory path");
    std::string types, names;
    for (nRoot* c = inv ? inv->GetHead() : nullptr; c; c = c->GetSucc()) {
        nbwItem* item = nbwContainer::AsItem(c);
        if (!item) continue;
        if (!names.empty() || !types.empty()) {
            types += ",";
            names += ",";
        }
        const char* t = item->GetString(nbwItem::Type);
        types += t ? t : "";
        names += c->GetName() ? c->GetName() : "";
    }
    nRoot* hand = PathOf(diver, "hand");
    selection->SetValue("invname_pivot", hand && hand->GetName() ? hand->GetName() : "");
    selection->SetValue("invtyp_list_string", types.c_str());
    selection->SetValue("invname_list_string", names.c_str());
}

void nbwUwMenu::SlideTo(float openness) {
    const float off = (1.0f - openness) * SlideOffset;
    auto place = [off](Home& h) {
        nRoot* o = h.ref.GetUnsafe();
        if (o && o->IsA(nLogicSprite::classInfo.name)) static_cast<nLogicSprite*>(o)->SetPosition(h.x + off, h.y);
    };
    for (Home& h : selectionSprites_) place(h);
    place(selection_);
    place(selector_);
}

void nbwUwMenu::UpdateFade(float t) {
    if (open_) {
        openness_ += FadeSpeed * t;
        if (openness_ >= 1.0f) {
            openness_ = 1.0f;
            redraw = true;
        }
    } else {
        openness_ -= FadeSpeed * t;
        if (openness_ <= 0.0f) {
            openness_ = 0.0f;
            redraw = true;
        }
    }
    SlideTo(openness_);
}

// The slots from left to right: slot number, the selector's rest x, the band's limit when
// the selector is let go (x below it) and when dragging (x at or below it; slot 1 open).
struct Slot {
    int number;
    float rest, letGo, drag;
};
constexpr Slot kSlots[4] = {{4, 408.0f, 440.0f, 440.0f}, {3, 471.0f, 504.0f, 504.0f},
                            {2, 535.0f, 567.0f, 567.0f}, {1, 600.0f, 609.0f, 1e30f}};

const char* nbwUwMenu::SlotValue(nLogicFlash* selection, int slot, const char* what) {
    std::snprintf(key_, sizeof key_, "slot%d_%s", slot, what);
    return selection->GetValue(key_);
}

void nbwUwMenu::UpdateSlots(float t) {
    nLogicFlash* selection = Flash(selection_.ref, "selection");
    nLogicSprite* sel = Sprite(selector_.ref, "selector");
    if (!selection || !sel) return;
    float px, py;
    sel->GetPosition(px, py);
    if (!dragging_) {
        if (open_ && armed_) {
            const float step = t * 1000.0f;
            bool found = false;
            for (const Slot& s : kSlots) {
                if (!(px < s.letGo)) continue;
                const float moved = px < s.rest ? px + step : px - step;
                const bool beyond = px < s.rest ? moved > s.rest : moved < s.rest;
                if (!beyond && !found) {
                    px = moved;
                    break;
                }
                found = true;
                px = s.rest;
                const char* type = SlotValue(selection, s.number, "typ");
                if (!type || std::strcmp(type, "empty") == 0) continue;
                const char* name = SlotValue(selection, s.number, "name");
                text_ = "inventory/";
                text_ += name ? name : "";
                if (nbwActor* diver = HandDiver()) {
                    const int hand = nbwActor::NameIndex(diver->GetPathNames(), "hand");
                    if (hand >= 0) diver->SetPath(hand, text_.c_str());
                }
                sel->SetPosition(px, py);
                CloseInventory();
                return;
            }
        }
        sel->SetPosition(px, py);
        return;
    }
    const float d = float(mouseDx_);
    if ((d < 0.0f && mouseX_ > 400) || (d > 0.0f && mouseX_ < 650)) px -= d;
    int number = 1;
    for (const Slot& s : kSlots) {
        if (px <= s.drag) {
            number = s.number;
            break;
        }
    }
    const char* type = SlotValue(selection, number, "typ");
    if (type && std::strcmp(type, "empty") != 0) {
        if (nLuaWriter::IsIdentifier(type)) {
            text_ = "settext(FB_";
            text_ += type;
            text_ += ")";
            if (!Run(text_.c_str())) return;
        } else {
            n_error("%s: slot type '%s' is no name for a help text: none shown\n", GetFullName().c_str(), type);
        }
    } else {
        SetText(" ");
    }
    bool right, left;
    if (px > 605.0f) {
        px = 605.0f;
        right = true;
        left = false;
    } else if (px < 400.0f) {
        px = 400.0f;
        left = true;
        right = false;
    } else {
        right = px > 603.0f;
        left = px < 402.0f;
    }
    if (right || left) {
        if (scrollTimer_ == 0.0f) {
            selection->SetValue("move_command", right ? "left" : "right");
            scrollTimer_ = 0.4f;
        } else {
            scrollTimer_ -= t;
            if (scrollTimer_ < 0.0f) scrollTimer_ = 0.0f;
        }
    }
    sel->SetPosition(px, py);
}

// -- the mouse ---------------------------------------------------------------------------

void nbwUwMenu::MouseMove() {
    if (mouseHandled_) return;
    nRoot* o = input_.GetUnsafe();
    if (!o || !o->IsA(nLogicInput::classInfo.name)) return;
    auto* in = static_cast<nLogicInput*>(o);
    mouseDx_ = mouseX_ - in->GetMouseX();
    mouseDy_ = mouseY_ - in->GetMouseY();
    mouseX_ = in->GetMouseX();
    mouseY_ = in->GetMouseY();
    mouseHandled_ = true;
    for (const HelpArea& a : kHelpAreas) {
        if (!(a.x0 < mouseX_ && mouseX_ < a.x1 && a.y0 < mouseY_ && mouseY_ < a.y1)) continue;
        if (a.figure >= 0) {
            nRoot* f = figures_[a.figure].GetUnsafe();
            if (!f || !f->IsA(nLogicNode::classInfo.name) || !static_cast<nLogicNode*>(f)->GetActive()) continue;
        }
        helpShown = true;
        Run(a.text);
        return;
    }
    if (helpShown) {
        Run("settext(' ')");
        helpShown = false;
    }
}

bool nbwUwMenu::MouseDown() {
    bool result = true;
    const float mx = float(mouseX_), my = float(mouseY_);
    if (show) {
        nRoot* o = selector_.ref.GetUnsafe();
        auto* sel = o && o->IsA(nLogicSprite::classInfo.name) ? static_cast<nLogicSprite*>(o) : nullptr;
        float x = 0, y = 0, w = 0, h = 0;
        if (sel) {
            sel->GetPosition(x, y);
            sel->GetDimension(w, h);
        }
        if (sel && x <= mx && mx <= x + w && y <= my && my <= y + h) {
            dragging_ = armed_ = true;
            mouseDx_ = mouseDy_ = 0;
            result = false;
        } else if (521 < mouseY_ && mouseY_ < 585 && open_) {
            float to = -1.0f;
            if (400 < mouseX_ && mouseX_ <= 471) to = 407.9f;
            else if (470 < mouseX_ && mouseX_ <= 534) to = 470.9f;
            else if (534 < mouseX_ && mouseX_ <= 599) to = 534.9f;
            else if (599 < mouseX_ && mouseX_ < 670) to = 599.9f;
            if (sel && to >= 0.0f) sel->SetPosition(to, y);
            dragging_ = false;
            result = false;
        }
    }
    nbwLevel* level = GetLevel();
    if (524 < mouseY_ && mouseY_ < 576 && level) {
        nbwActor* active = level->GetActiveDiver();
        if (!(active && Flag(active, "singleplayer"))) {
            nbwActor* humans[Humans] = {};
            nbwActor* others[Others] = {};
            int nh = 0, no = 0;
            for (int i = 0; i < level->GetDiverCount(); i++) {
                nbwActor* d = level->GetDiver(i);
                if (!d) continue;
                if (Flag(d, "human")) {
                    if (nh < Humans) humans[nh++] = d;
                } else if (no < Others) {
                    others[no++] = d;
                }
            }
            nbwActor* pick = nullptr;
            for (int i = 0; i < Humans; i++) {
                if (kHumanClicks[i].lo < mouseX_ && mouseX_ <= kHumanClicks[i].hi) pick = humans[i];
            }
            for (int i = 0; i < Others; i++) {
                if (kOtherClicks[i].lo < mouseX_ && mouseX_ < kOtherClicks[i].hi) pick = others[i];
            }
            if (pick) {
                level->ActivateDiver(pick);
                result = false;
            }
        }
    }
    return result;
}

void nbwUwMenu::MouseUp() {
    if (!show) return;
    dragging_ = false;
    scrollTimer_ = 0.0f;
}

// -- the frame ---------------------------------------------------------------------------

void nbwUwMenu::UpdateHandItem() {
    nbwActor* diver = HandDiver();
    if (!diver) return;
    nbwItem* h = nbwContainer::AsItem(PathOf(diver, "hand"));
    if (!h) return;
    if (nLogicFlash* inv = Flash(inventory_, "inventory")) {
        const char* t = h->GetString(nbwItem::Type);
        inv->SetValue("_root.item_typ", t ? t : "");
    }
    char text[16];
    if (nLogicFlash* bar = Flash(hitpoints_, "hitpoints")) {
        std::snprintf(text, sizeof text, "%d",
                      Percent(h->GetFloat(nbwItem::Hitpoints), h->GetFloat(nbwItem::MaxHitpoints), true));
        bar->SetValue("value", text);
    }
    if (nLogicFlash* bar = Flash(energy_, "energy")) {
        std::snprintf(text, sizeof text, "%d",
                      Percent(h->GetFloat(nbwItem::Energie), h->GetFloat(nbwItem::MaxEnergie), false));
        bar->SetValue("value", text);
    }
}

void nbwUwMenu::UpdateFigure(int number, const std::string& name, int e, int l) {
    if (number < 1 || number > Humans + Others) return;
    nLogicFlash* f = Flash(figures_[number - 1], kFigureNames[number - 1]);
    if (!f) return;
    f->SetActive(show);
    f->SetValue("bild", name.c_str());
    const std::string es = std::to_string(e), ls = std::to_string(l);
    const bool human = number <= Humans;
    f->SetValue(human ? "gesundheit" : "zustand", ls.c_str());
    f->SetValue(human ? "sauerstoff" : "energie", es.c_str());
}

void nbwUwMenu::UpdateFigures() {
    nbwLevel* level = GetLevel();
    if (!level) return;
    nbwActor* active = level->GetActiveDiver();
    int human = 1, other = Humans + 1;
    for (int i = 0; i < level->GetDiverCount(); i++) {
        nbwActor* d = level->GetDiver(i);
        if (!d) continue;
        const bool isHuman = Flag(d, "human");
        // Divers beyond the figures' places get none.
        if (isHuman ? human > Humans : other > Humans + Others) continue;
        text_ = d->GetName() ? d->GetName() : "";
        if (isHuman && Flag(d, "follow")) text_ += "_G";
        const double life = Stat(d, "lifepoints");
        text_ += d == active ? "_1" : life < 0.2 ? "_2" : "_0";
        const int e = int(std::trunc(Stat(d, "energie") * 100.0));
        const int l = int(std::trunc(life * 100.0));
        UpdateFigure(isHuman ? human++ : other++, text_, e, l);
    }
    for (int i = 0; i < Humans + Others; i++) {
        nRoot* o = figures_[i].GetUnsafe();
        if (!o || !o->IsA(nLogicFlash::classInfo.name)) continue;
        auto* f = static_cast<nLogicFlash*>(o);
        const bool used = i < Humans ? i + 1 < human : i + 1 < other;
        if (!used) {
            f->SetActive(false);
            continue;
        }
        const char* v = f->GetValue("doUpdate");
        if (v && v[0] == '1') {
            f->RaiseUpdateRequests(1);
            if (!f->GetActive()) f->Update();
            f->SetValue("doUpdate", "0");
        }
    }
}

bool nbwUwMenu::Trigger(nLogicGraph* graph) {
    // Help texts and the status line run scripts, which may delete the display.
    nRef<nRoot> self(this);
    if (rebuild_) {
        BuildReferences();
        rebuild_ = false;
    }
    MouseMove();
    if (!self.IsValid()) return false;
    if (openness_ > 0.0f) {
        nChannelServer* channels = static_cast<nChannelServer*>(nKernelServer::ks->Lookup("/sys/servers/channel"));
        const int idx = channels ? channels->GenChannel("frametime") : -1;
        const float t = idx >= 0 ? channels->GetChannel1f(idx) : 0.0f;
        if (openness_ < 1.0f) {
            UpdateFade(t);
        } else {
            UpdateSlots(t);
        }
        if (!self.IsValid()) return false;
    }
    if (redraw) {
        ApplyVisibility();
        redraw = false;
    }
    UpdateHandItem();
    UpdateFigures();
    mouseDx_ = mouseDy_ = 0;
    mouseHandled_ = false;
    return nLogicNode::Trigger(graph);
}
