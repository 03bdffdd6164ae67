#include "game/nbwUwMenuBase.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "game/nbwContainer.h"
#include "game/nbwElevator.h"
#include "game/nbwItem.h"
#include "game/nbwLevel.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "kernel/nPersistServer.h"
#include "kernel/nScriptServer.h"
#include "logic/nBaseObserver.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicSprite.h"
#include "scene/nChannelServer.h"
#include "script/nLuaWriter.h"

namespace {

// The areas every display has, after its figures' areas: the held item's panel and bar.
// The help to switch divers stands over each diver's figure, where the click is.
struct FixedArea {
    int x0, x1, y0, y1;
    const char* text;
};
const FixedArea kFixedAreas[] = {
    {694, 791, 459, 490, "settext(FB_ZUSTAND_GERAET)"},
    {660, 688, 495, 590, "settext(FB_ENERGIE_GERAET)"},
};

// `v` as decimal text in `out`.
const char* Decimal(char (&out)[16], int v) {
    *std::to_chars(out, out + sizeof out - 1, v).ptr = '\0';
    return out;
}

// trunc(value × 100 / max) within 1 … 100; 100 when value or max is not above 0.
int Percent(float value, float max, bool byValue) {
    if ((byValue ? value : max) <= 0.0f) return 100;
    return std::clamp(n_saturate_int(value * 100.0f / max), 1, 100);
}

}  // namespace

nbwUwMenuBase::nbwUwMenuBase(const FigurePolicy& policy) : policy_(policy) {
    // The kinds the frame asks about, found once: asking by name compares texts.
    nKernelServer* ks = nKernelServer::ks;
    flashClass_ = ks->FindClass(nLogicFlash::classInfo.name);
    spriteClass_ = ks->FindClass(nLogicSprite::classInfo.name);
    nodeClass_ = ks->FindClass(nLogicNode::classInfo.name);
    inputClass_ = ks->FindClass(nLogicInput::classInfo.name);
    elevatorClass_ = ks->FindClass(nbwElevator::classInfo.name);
    itemClass_ = ks->FindClass(nbwItem::classInfo.name);
    observerClass_ = ks->FindClass(nBaseObserver::classInfo.name);
}

nbwUwMenuBase::~nbwUwMenuBase() = default;

const nbwUwMenuBase::Indices& nbwUwMenuBase::IndicesOf(nbwActor* a) {
    Indices& c = indices_;
    const char* const* flags = a->GetFlagNames();
    const char* const* stats = a->GetStatNames();
    const char* const* paths = a->GetPathNames();
    if (flags != c.flags || stats != c.stats || paths != c.paths) {
        c.flags = flags;
        c.stats = stats;
        c.paths = paths;
        c.human = nbwActor::NameIndex(flags, "human");
        c.follow = nbwActor::NameIndex(flags, "follow");
        c.lifepoints = nbwActor::NameIndex(stats, "lifepoints");
        c.energie = nbwActor::NameIndex(stats, "energie");
        c.hand = nbwActor::NameIndex(paths, "hand");
        c.inventory = nbwActor::NameIndex(paths, "inventory");
    }
    return c;
}

bool nbwUwMenuBase::Flag(nbwActor* a, const char* name) {
    const int i = nbwActor::NameIndex(a->GetFlagNames(), name);
    return i >= 0 && a->GetFlag(i);
}

bool nbwUwMenuBase::SaveCmds(nPersistServer* ps) {
    if (!nLogicNode::SaveCmds(ps)) return false;
    if (nRoot* level = level_.GetUnsafe()) ps->Put(this, policy_.registerLevelId, level->GetFullName().c_str());
    return true;
}

nbwItem* nbwUwMenuBase::AsItem(nRoot* obj) const {
    return obj && obj->IsA(itemClass_) ? static_cast<nbwItem*>(obj) : nullptr;
}

nbwLevel* nbwUwMenuBase::GetLevel() const {
    return static_cast<nbwLevel*>(level_.GetUnsafe());
}

void nbwUwMenuBase::RegisterLevel(const char* path) {
    nRoot* obj = path && path[0] ? nKernelServer::ks->Lookup(path) : nullptr;
    if (obj && !obj->IsA(nbwLevel::classInfo.name)) {
        n_error("%s: v_registerlevel: '%s' is no level: none registered\n", GetFullName().c_str(), path);
        obj = nullptr;
    }
    level_ = obj;
}

void nbwUwMenuBase::ShowMenu(bool on) {
    show = on;
    redraw = true;
}

// -- the children ------------------------------------------------------------------------

void nbwUwMenuBase::Missing(const char* name) {
    if (std::find(logged_.begin(), logged_.end(), name) != logged_.end()) return;
    logged_.emplace_back(name);
    n_error("%s: the display has no usable '%s': its steps are skipped (logged once)\n", GetFullName().c_str(),
            name);
}

nRoot* nbwUwMenuBase::Child(const char* name) {
    return nKernelServer::ks->LookupFrom(this, name);
}

void nbwUwMenuBase::EnsureReferences() {
    if (!rebuild_) return;
    BuildReferences();
    rebuild_ = false;
}

nLogicFlash* nbwUwMenuBase::Flash(const nRef<nRoot>& ref, const char* name) {
    // Scripts may write to the display (a status text) before its first frame.
    EnsureReferences();
    nRoot* o = ref.GetUnsafe();
    if (o && o->IsA(flashClass_)) return static_cast<nLogicFlash*>(o);
    Missing(name);
    return nullptr;
}

nLogicSprite* nbwUwMenuBase::Sprite(const nRef<nRoot>& ref, const char* name) {
    EnsureReferences();
    nRoot* o = ref.GetUnsafe();
    if (o && o->IsA(spriteClass_)) return static_cast<nLogicSprite*>(o);
    Missing(name);
    return nullptr;
}

nLogicNode* nbwUwMenuBase::FigureNode(int i) const {
    if (i < 0 || i >= MaxFigures) return nullptr;
    nRoot* o = figures_[i].GetUnsafe();
    return o && o->IsA(nodeClass_) ? static_cast<nLogicNode*>(o) : nullptr;
}

void nbwUwMenuBase::BuildReferences() {
    statics_.clear();
    if (nRoot* s = Child("static")) {
        for (nRoot* c = s->GetHead(); c; c = c->GetSucc()) {
            if (c->IsA(spriteClass_)) statics_.emplace_back(c);
        }
    }
    selectionSprites_.clear();
    if (nRoot* s = Child("selection_sprites")) {
        for (nRoot* c = s->GetHead(); c; c = c->GetSucc()) {
            if (!c->IsA(spriteClass_)) continue;
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
    const FigurePolicy& figs = policy_;
    for (size_t i = 0; i < figs.names.size(); i++) set(figures_[i], figs.names[i]);
    for (Home* h : {&selection_, &selector_}) {
        nRoot* o = Child(h == &selection_ ? "selection" : "selector");
        if (!o) continue;
        h->ref = o;
        if (o->IsA(spriteClass_)) static_cast<nLogicSprite*>(o)->GetPosition(h->x, h->y);
    }
}

void nbwUwMenuBase::ApplyVisibility() {
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
        if (o && o->IsA(nodeClass_)) static_cast<nLogicNode*>(o)->SetActive(show);
    }
    for (int i = 0; i < MaxFigures; i++) {
        if (nLogicNode* n = FigureNode(i)) n->SetActive(show);
    }
}

void nbwUwMenuBase::HideAll() {
    auto hide = [this](nRoot* o) {
        if (!o || !o->IsA(spriteClass_)) return;
        auto* s = static_cast<nLogicSprite*>(o);
        s->SetActive(false);
        s->ReleaseQuad();
    };
    for (Home& h : selectionSprites_) hide(h.ref.GetUnsafe());
    hide(selection_.ref.GetUnsafe());
    hide(selector_.ref.GetUnsafe());
    for (nRef<nRoot>& r : statics_) hide(r.GetUnsafe());
    auto unload = [this](nRoot* o) {
        if (!o || !o->IsA(flashClass_)) return;
        auto* f = static_cast<nLogicFlash*>(o);
        f->SetActive(false);
        f->UnloadFlash();
        f->ReleaseQuad();
    };
    for (nRef<nRoot>* r : {&statusbar_, &inventory_, &energy_, &hitpoints_}) unload(r->GetUnsafe());
    for (nRef<nRoot>& r : figures_) unload(r.GetUnsafe());
    nRoot* b = button_.GetUnsafe();
    if (b && b->IsA(nodeClass_)) static_cast<nLogicNode*>(b)->SetActive(false);
    redraw = true;
}

// -- statements and the observer ---------------------------------------------------------

bool nbwUwMenuBase::Run(const char* statement) {
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

nBaseObserver* nbwUwMenuBase::Observer() {
    nRoot* o = nKernelServer::ks->Lookup("/sys/servers/observer");
    return o && o->IsA(observerClass_) ? static_cast<nBaseObserver*>(o) : nullptr;
}

void nbwUwMenuBase::SetGameState(bool on) {
    if (nBaseObserver* observer = Observer()) observer->SetGameState(InventoryState, on);
}

void nbwUwMenuBase::SetText(const char* text) {
    nLogicFlash* bar = Flash(statusbar_, "statusbar");
    if (!bar) return;
    bar->SetValue("text", text ? text : " ");
    bar->RaiseUpdateRequests(3);
    if (!bar->GetActive()) bar->Update();
}

// -- the inventory bar -------------------------------------------------------------------

nbwActor* nbwUwMenuBase::HandDiver() {
    nbwLevel* level = GetLevel();
    nbwActor* diver = level ? level->GetActiveDiver() : nullptr;
    if (!diver || diver->IsA(elevatorClass_)) return nullptr;
    return diver;
}

void nbwUwMenuBase::OpenInventory() {
    if (!GetLevel() || open_) return;
    if (policy_.openNeedsHandDiver && !HandDiver()) return;
    // Scripts may open the bar before the display's first frame.
    EnsureReferences();
    armed_ = false;
    FillInventoryLists();
    openedFor_ = GetLevel()->GetActiveDiver();
    open_ = true;
    if (openness_ == 0.0f) {
        openness_ = 0.001f;
        redraw = true;
    }
    SetGameState(true);
}

void nbwUwMenuBase::CloseInventory() {
    if (!GetLevel() || !open_) return;
    SlideOut();
    Run("settext(' ')");
    SetGameState(false);
}

void nbwUwMenuBase::SlideOut() {
    armed_ = false;
    open_ = false;
    if (openness_ == 1.0f) openness_ = 0.999f;
}

bool nbwUwMenuBase::KeysGone() {
    if (nBaseObserver* observer = Observer()) {
        if (!observer->GetGameState(InventoryState) || observer->GetGameState(KeysTakenStates)) return true;
    }
    nbwLevel* level = GetLevel();
    return !level || level->GetActiveDiver() != openedFor_.GetUnsafe();
}

void nbwUwMenuBase::ToggleInventory() {
    if (openness_ > 0.95f) {
        CloseInventory();
    } else if (openness_ < 0.05f) {
        OpenInventory();
        nbwLevel* level = GetLevel();
        if (nbwActor* diver = level ? level->GetActiveDiver() : nullptr) diver->Abort();
    }
}

void nbwUwMenuBase::FillInventoryLists() {
    nbwActor* diver = HandDiver();
    if (!diver) return;
    nLogicFlash* selection = Flash(selection_.ref, "selection");
    const Indices& ix = IndicesOf(diver);
    nRoot* inv = ix.inventory >= 0 ? diver->GetPath(ix.inventory) : nullptr;
    if (!selection) return;
    if (!inv) Missing("inventory path");
    std::string types, names;
    for (nRoot* c = inv ? inv->GetHead() : nullptr; c; c = c->GetSucc()) {
        nbwItem* item = AsItem(c);
        if (!item) continue;
        if (!names.empty() || !types.empty()) {
            types += ",";
            names += ",";
        }
        const char* t = item->GetString(nbwItem::Type);
        types += t ? t : "";
        names += c->GetName() ? c->GetName() : "";
    }
    nRoot* hand = ix.hand >= 0 ? diver->GetPath(ix.hand) : nullptr;
    selection->SetValue("invname_pivot", hand && hand->GetName() ? hand->GetName() : "");
    selection->SetValue("invtyp_list_string", types.c_str());
    selection->SetValue("invname_list_string", names.c_str());
}

void nbwUwMenuBase::SlideTo(float openness) {
    const float off = (1.0f - openness) * SlideOffset;
    auto place = [this, off](Home& h) {
        nRoot* o = h.ref.GetUnsafe();
        if (o && o->IsA(spriteClass_)) static_cast<nLogicSprite*>(o)->SetPosition(h.x + off, h.y);
    };
    for (Home& h : selectionSprites_) place(h);
    place(selection_);
    place(selector_);
}

void nbwUwMenuBase::UpdateFade(float t) {
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

const char* nbwUwMenuBase::SlotValue(nLogicFlash* selection, int slot, const char* what) {
    std::snprintf(key_, sizeof key_, "slot%d_%s", slot, what);
    return selection->GetValue(key_);
}

void nbwUwMenuBase::UpdateSlots(float t) {
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
                    // The movie names an item of the diver's own inventory, nothing else.
                    const Indices& ix = IndicesOf(diver);
                    nRoot* inv = ix.inventory >= 0 ? diver->GetPath(ix.inventory) : nullptr;
                    const int hand = nbwActor::NameIndex(diver->GetPathNames(), "hand");
                    if (hand >= 0 && nbwContainer::HeldItem(inv, name)) {
                        diver->SetPath(hand, text_.c_str());
                    } else if (hand >= 0) {
                        n_error("%s: the inventory bar's slot %d names no item of the diver's inventory: the hand "
                                "stays\n",
                                GetFullName().c_str(), s.number);
                    }
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
            // The movie moves its window when it draws, which a held pointer or one past
            // the bar's end would not ask for.
            selection->RaiseUpdateRequests(1);
            scrollTimer_ = 0.4f;
        } else {
            scrollTimer_ -= t;
            if (scrollTimer_ < 0.0f) scrollTimer_ = 0.0f;
        }
    }
    sel->SetPosition(px, py);
}

// -- the mouse ---------------------------------------------------------------------------

void nbwUwMenuBase::MouseMove() {
    if (mouseHandled_) return;
    nRoot* o = input_.GetUnsafe();
    if (!o || !o->IsA(inputClass_)) return;
    auto* in = static_cast<nLogicInput*>(o);
    mouseDx_ = mouseX_ - in->GetMouseX();
    mouseDy_ = mouseY_ - in->GetMouseY();
    mouseX_ = in->GetMouseX();
    mouseY_ = in->GetMouseY();
    mouseHandled_ = true;
    for (const HelpArea& a : policy_.areas) {
        if (!(a.x0 < mouseX_ && mouseX_ < a.x1 && a.y0 < mouseY_ && mouseY_ < a.y1)) continue;
        nLogicNode* f = FigureNode(a.figure);
        if (!f || !f->GetActive()) continue;
        ShowHelp(&a, a.text);
        return;
    }
    for (const FixedArea& a : kFixedAreas) {
        if (!(a.x0 < mouseX_ && mouseX_ < a.x1 && a.y0 < mouseY_ && mouseY_ < a.y1)) continue;
        ShowHelp(&a, a.text);
        return;
    }
    helpArea_ = nullptr;
    if (*policy_.helpShown) {
        *policy_.helpShown = false;
        Run("settext(' ')");
    }
}

void nbwUwMenuBase::ShowHelp(const void* area, const char* text) {
    *policy_.helpShown = true;
    // A pointer resting on its area shows the help once: a message that comes meanwhile
    // (the switch that a click on a figure makes) stays in the status line.
    if (area == helpArea_ && mouseDx_ == 0 && mouseDy_ == 0) return;
    helpArea_ = area;
    Run(text);
}

bool nbwUwMenuBase::MouseDown() {
    bool result = true;
    // A click counts where it came, also when the pointer came there in the click's own
    // frame, after MouseMove last read it; the drag's moves count from there.
    if (nRoot* o = input_.GetUnsafe(); o && o->IsA(inputClass_)) {
        mouseX_ = static_cast<nLogicInput*>(o)->GetPressX();
        mouseY_ = static_cast<nLogicInput*>(o)->GetPressY();
    }
    const float mx = float(mouseX_), my = float(mouseY_);
    if (show) {
        nRoot* o = selector_.ref.GetUnsafe();
        auto* sel = o && o->IsA(spriteClass_) ? static_cast<nLogicSprite*>(o) : nullptr;
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
    if (nbwLevel* level = GetLevel()) {
        // A device's figure (the basket's) shows its state only: it is nothing to steer.
        if (nbwActor* pick = PickDiver(level); pick && nbwLevel::IsSteerable(pick)) {
            level->ActivateDiver(pick);
            result = false;
        }
    }
    return result;
}

void nbwUwMenuBase::MouseUp() {
    if (!show) return;
    dragging_ = false;
    scrollTimer_ = 0.0f;
}

// -- the frame ---------------------------------------------------------------------------

void nbwUwMenuBase::UpdateHandItem() {
    nbwActor* diver = HandDiver();
    if (!diver) return;
    const Indices& ix = IndicesOf(diver);
    nbwItem* h = AsItem(ix.hand >= 0 ? diver->GetPath(ix.hand) : nullptr);
    if (!h) return;
    if (nLogicFlash* inv = Flash(inventory_, "inventory")) {
        const char* t = h->GetString(nbwItem::Type);
        inv->SetValue("_root.item_typ", t ? t : "");
    }
    char text[16];
    if (nLogicFlash* bar = Flash(hitpoints_, "hitpoints")) {
        bar->SetValue("value",
                      Decimal(text, Percent(h->GetFloat(nbwItem::Hitpoints), h->GetFloat(nbwItem::MaxHitpoints), true)));
    }
    if (nLogicFlash* bar = Flash(energy_, "energy")) {
        bar->SetValue("value",
                      Decimal(text, Percent(h->GetFloat(nbwItem::Energie), h->GetFloat(nbwItem::MaxEnergie), false)));
    }
}

void nbwUwMenuBase::UpdateFigures() {
    nbwLevel* level = GetLevel();
    if (!level) return;
    const FigurePolicy& figs = policy_;
    nbwActor* active = level->GetActiveDiver();
    int humans = 0, others = 0;
    char number[2][16];
    for (int i = 0, count = level->GetDiverCount(); i < count; i++) {
        nbwActor* d = level->GetDiver(i);
        if (!d) continue;
        const Indices& ix = IndicesOf(d);
        const bool isHuman = ix.human >= 0 && d->GetFlag(ix.human);
        // Divers beyond the figures' places get none.
        int figure;
        if (isHuman) {
            if (humans == figs.humans) continue;
            figure = humans++;
        } else {
            if (others == figs.others) continue;
            figure = figs.humans + others++;
        }
        text_ = d->GetName() ? d->GetName() : "";
        if (isHuman && ix.follow >= 0 && d->GetFlag(ix.follow)) text_ += "_G";
        const double life = ix.lifepoints >= 0 ? double(d->GetStat(ix.lifepoints)) : 0.0;
        const double energie = ix.energie >= 0 ? double(d->GetStat(ix.energie)) : 0.0;
        text_ += d == active ? "_1" : life < 0.2 ? "_2" : "_0";
        nLogicFlash* f = Flash(figures_[figure], figs.names[figure]);
        if (!f) continue;
        f->SetActive(show);
        f->SetValue("bild", text_.c_str());
        f->SetValue(figure < figs.humans ? figs.humanLife : figs.otherLife,
                    Decimal(number[0], n_saturate_int(life * 100.0)));
        f->SetValue(figure < figs.humans ? figs.humanEnergy : figs.otherEnergy,
                    Decimal(number[1], n_saturate_int(energie * 100.0)));
    }
    for (int i = 0; i < int(figs.names.size()); i++) {
        nRoot* o = figures_[i].GetUnsafe();
        if (!o || !o->IsA(flashClass_)) continue;
        auto* f = static_cast<nLogicFlash*>(o);
        const bool used = i < figs.humans ? i < humans : i - figs.humans < others;
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

bool nbwUwMenuBase::Trigger(nLogicGraph* graph) {
    // Help texts and the status line run scripts, which may delete the display.
    nRef<nRoot> self(this);
    EnsureReferences();
    MouseMove();
    if (!self.IsValid()) return false;
    // A bar without the keys would show what the player cannot act on. What took them
    // keeps the status line (the load's or the diver switch's message).
    if (open_ && KeysGone()) {
        SlideOut();
        SetGameState(false);
    }
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
