#include "tools/nTreeView.h"

#include <cstring>
#include <vector>

#include "kernel/nKernelServer.h"
#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"
#include "platform/ui/TreeControl.h"
#include "scene/nVisNode.h"
#include "script/nConServer.h"
#include "tools/nContextMenu.h"
#include "tools/nImageList.h"
#include "tools/nTreeItem.h"

namespace {

unsigned Pack(int r, int g, int b) {
    return unsigned(r & 0xFF) | unsigned(g & 0xFF) << 8 | unsigned(b & 0xFF) << 16;
}

void PutRgb(nCmd* c, unsigned colour) {
    c->Out()->SetI(int(colour & 0xFF));
    c->Out()->SetI(int(colour >> 8 & 0xFF));
    c->Out()->SetI(int(colour >> 16 & 0xFF));
}

const nCmdDef<nTreeView> cmds[] = {
    {"v_setbackcolor_iii", "TSBC",
     [](nTreeView* self, nCmd* c) {
         const int r = c->In()->GetI(), g = c->In()->GetI(), b = c->In()->GetI();
         self->SetBackColor(Pack(r, g, b));
     }},
    {"iii_getbackcolor_v", "TGBC", [](nTreeView* self, nCmd* c) { PutRgb(c, self->GetBackColor()); }},
    {"v_settextcolor_iii", "TSTC",
     [](nTreeView* self, nCmd* c) {
         const int r = c->In()->GetI(), g = c->In()->GetI(), b = c->In()->GetI();
         self->SetTextColor(Pack(r, g, b));
     }},
    {"iii_gettextcolor_v", "TGTC", [](nTreeView* self, nCmd* c) { PutRgb(c, self->GetTextColor()); }},
    Bind<&nTreeView::SetRootNode>("v_setrootnode_s", "TSRN"),
    Bind<&nTreeView::GetRootNode>("s_getrootnode_v", "TGRN"),
    Bind<&nTreeView::ContextAddSized>("v_contextadd_siis", "TSCA"),
    Bind<&nTreeView::ContextDel>("v_contextdel_s", "TSCD"),
};

// One counter for the process: the suffix of pasted copies whose name is taken.
int pasteCounter = 0;

void MenuCallback(void* context, nContextMenuItem* entry) {
    static_cast<nTreeView*>(context)->MenuPicked(entry->GetName());
}

}  // namespace

const nClassInfo nTreeView::classInfo = nClassInfo::Make<nTreeView>("ntreeview", "nplugin", cmds);

const nTreeView::IconRow nTreeView::kIconRows[] = {
    {136, "null"},
    {136, "nroot"},
    {127, "n3dnode"},
    {139, "nipol;ncurvearraynode;nlogicipol"},
    {140, "nmeshnode"},
    {131, "ntexarraynode"},
    {133, "nshadernode"},
    {138, "nlightnode"},
    {141, "nlogicnode"},
    {130, "nlogicvisual;nlogiccollision"},
    {143, "nlogiccamera;nlogicobservercamera"},
    // The second name is borne by no class here.
    {148, "nlogiccharacter;nlogiccharacter2"},
    {135, "nthreshnode"},
    {137, "nmixer"},
    {129, "nmeshmixer;nmeshipol;nmeshcluster2;nmeshcluster"},
    {144, "nbone"},
    {151, "nskinnode"},
    {149, "nlinknode"},
    {150, "nscriptlet;nluascriptlet"},
    {146, "nrepository"},
    {134, "nfileserver2;nd3d8server;ninputserver;nluaserver2;nscenegraph2;nsbufshadowserver;nchannelserver;"
          "nconserver;nmathserver;nparticleserver;nspecialfxserver;ncollideserver;neventserver;nlogicgraph;"
          "ncameraserver;nobserver2"},
    {145, "nscriptedit;nrootedit;nmacroexec;ntreeview"},
};
const int nTreeView::kNumIconRows = int(sizeof(kIconRows) / sizeof(kIconRows[0]));

nTreeView::nTreeView() : treeControl_(std::make_unique<ui::TreeControl>()) {
    nKernelServer* ks = nKernelServer::ks;
    ui::TreeControl* tree = treeControl_.get();
    tree->onLabelEditEnd = [this](int item, const std::string* text) { OnLabelEditEnd(item, text); };
    tree->onSelectionChanged = [this](int item) { OnSelectionChanged(item); };
    tree->onRightClick = [this](int item) { OnRightClick(item); };
    // The control selects on a click and then reports it; a double click reports both.
    tree->onClick = [this](int item) { OnClick(item, false); };
    tree->onDoubleClick = [this](int item) { OnClick(item, true); };
    ui::Host* host = GetUiHost();
    if (host) {
        window_ = host->MakeDialog(kDialogId);
        if (window_) {
            window_->SetUserData(this);
            window_->onClose = [this] { SetActive(false); };
            window_->content = [this](ui::ToolWindow& w) {
                treeControl_->Build(w, float(w.GetWidth()) - 16.0f, float(w.GetHeight()) - 40.0f);
            };
        }
    }
    imageList_ = std::make_unique<nImageList>(ks->GetFileServer(), 0xFF0000u);
    for (const IconRow& row : kIconRows) imageList_->AddBitmap(row.bitmap, row.classes);
    imageList_->Build();
    tree->SetColours(backColour_, textColour_);
    tree->imagePixels = [this](int image) { return imageList_->GetImage(image); };
    Build(nullptr, ks->Lookup(rootPath_.c_str()));
    // The tools are made after start-up: the assigns that stand now are the game's.
    if (nRoot* assigns = ks->Lookup("/sys/share/assigns")) {
        for (nRoot* a = assigns->GetHead(); a; a = a->GetSucc()) gameAssigns_.emplace_back(a);
    }
    contextMenu_ = std::make_unique<nContextMenu>(host, "contextmenu_treeview");
    contextMenu_->SetOwner(window_.get());
    contextMenu_->callback = MenuCallback;
    contextMenu_->callbackContext = this;
    FindOrCreateEvent("nm_rclick", "s");
    FindOrCreateEvent("nm_click", "s");
    FindOrCreateEvent("nm_dbclick", "s");
    FindOrCreateEvent("wm_close", "v");
    FindOrCreateEvent("tvn_endlabeledit", "s");
    FindOrCreateEvent("tvn_selchanged", "s");
}

nTreeView::~nTreeView() {
    contextMenu_.reset();
    imageList_.reset();
    rootItem_.reset();
    window_.reset();
    for (const char* e : {"nm_rclick", "nm_click", "nm_dbclick", "wm_close", "tvn_endlabeledit", "tvn_selchanged"}) {
        RemoveEvent(e);
    }
    copyRef_.Invalidate();
    PutBackCut("the view's end");
}

void nTreeView::PutBackCut(const char* when) {
    // An object cut and never pasted goes back where it was: a cut macro is the person's
    // and is saved with the others once it is back. Only where that place is gone does it go.
    nRoot* cut = cutObject_.GetUnsafe();
    if (!cut) return;
    const std::string name = cut->GetName() ? cut->GetName() : "";
    if (nRoot* from = cutFrom_.GetUnsafe()) Paste(from);
    if (cut->GetParent()) {
        nKernelServer::ks->Print("%s: '%s', cut and never pasted, is back as '%s' at %s\n", GetFullName().c_str(),
                                 name.c_str(), cut->GetFullName().c_str(), when);
    } else {
        cutObject_.Invalidate();
        nKernelServer::ks->Print("%s: '%s', cut and never pasted, released at %s: where it was cut from is gone\n",
                                 GetFullName().c_str(), name.c_str(), when);
        cut->Release();
    }
}

void nTreeView::SetActive(bool active) {
    nPlugin::SetActive(active);
    if (!window_) return;
    if (active) window_->Show();
    else window_->Hide();
}

void nTreeView::Minimize() {
    if (window_) window_->Minimise();
}

void nTreeView::SetBackColor(unsigned colour) {
    backColour_ = colour & 0xFFFFFFu;
    treeControl_->SetColours(backColour_, textColour_);
}

unsigned nTreeView::GetBackColor() const {
    return backColour_;
}

void nTreeView::SetTextColor(unsigned colour) {
    textColour_ = colour & 0xFFFFFFu;
    treeControl_->SetColours(backColour_, textColour_);
}

unsigned nTreeView::GetTextColor() const {
    return textColour_;
}

ui::TreeControl* nTreeView::GetTreeControl() {
    return treeControl_.get();
}

const char* nTreeView::GetRootNode() const {
    return rootPath_.c_str();
}

void nTreeView::SetRootNode(const char* path) {
    if (!path || rootPath_ == path) return;
    rootPath_ = path;
    rootItem_.reset();
    Refresh();
}

int nTreeView::GetClassImage(const char* className) const {
    return imageList_->FindImage(className);
}

void nTreeView::Build(nTreeItem* parent, nRoot* object) {
    if (!object) return;
    const int image = GetClassImage(object->GetClass() ? object->GetClass()->GetName() : nullptr);
    auto item = std::make_unique<nTreeItem>(treeControl_.get(), object->GetName() ? object->GetName() : "", image,
                                            image);
    nTreeItem* raw = item.get();
    if (!raw->Insert(parent)) return;
    // A child item belongs to its parent's table from Insert on; only the root is ours.
    if (parent) item.release();
    else rootItem_ = std::move(item);
    for (nRoot* child = object->GetHead(); child; child = child->GetSucc()) Build(raw, child);
}

void nTreeView::Sync(nTreeItem* item, nRoot* object) {
    // Unchanged children come in the same order: matched pairwise, without lookups.
    nTreeItem* firstItem = item->GetFirstChild();
    nRoot* firstObject = object->GetHead();
    while (firstItem && firstObject && firstObject->GetName() &&
           std::strcmp(firstItem->GetText(), firstObject->GetName()) == 0) {
        Sync(firstItem, firstObject);
        firstItem = firstItem->GetNextSibling();
        firstObject = firstObject->GetSucc();
    }
    if (!firstItem && !firstObject) return;
    // Items whose object is gone (or was renamed) go with their subtrees.
    for (nTreeItem* child = firstItem; child;) {
        nTreeItem* next = child->GetNextSibling();
        if (!object->FindChild(child->GetText())) delete child;
        child = next;
    }
    for (nRoot* child = firstObject; child; child = child->GetSucc()) {
        const char* name = child->GetName();
        nTreeItem* childItem = name ? item->FindChild(name) : nullptr;
        if (childItem) Sync(childItem, child);
        else Build(item, child);
    }
}

void nTreeView::Refresh() {
    nRoot* root = nKernelServer::ks->Lookup(rootPath_.c_str());
    if (rootItem_ && (!root || !root->GetName() || std::strcmp(rootItem_->GetText(), root->GetName()) != 0)) {
        // A renamed (or gone) root gets an item of its own again.
        rootItem_.reset();
    }
    if (!root) return;
    if (!rootItem_) Build(nullptr, root);
    else Sync(rootItem_.get(), root);
}

nTreeItem* nTreeView::ItemOf(int handle) const {
    return rootItem_ && handle ? rootItem_->FindById(handle) : nullptr;
}

std::string nTreeView::GetItemPath(int handle) const {
    std::vector<const nTreeItem*> chain;
    for (const nTreeItem* i = ItemOf(handle); i && chain.size() < 128; i = i->GetParent()) chain.push_back(i);
    if (chain.empty()) return {};
    std::string path;
    size_t first = chain.size();
    if (rootPath_ == "/") {
        // The root object's own name is "/": its children follow it without another "/".
        path = "/";
        first--;
    } else {
        const size_t slash = rootPath_.find_last_of('/');
        path = rootPath_.substr(0, slash == std::string::npos ? 0 : slash + 1);
    }
    for (size_t i = first; i-- > 0;) {
        path += chain[i]->GetText();
        if (i > 0) path += '/';
    }
    return path;
}

nRoot* nTreeView::ObjectOf(int handle) const {
    const std::string path = GetItemPath(handle);
    return path.empty() ? nullptr : nKernelServer::ks->Lookup(path.c_str());
}

int nTreeView::FindItem(const char* path) const {
    if (!path || !rootItem_) return 0;
    const std::string root = GetItemPath(rootItem_->GetHandle());
    std::string rest = path;
    if (rest.compare(0, root.size(), root) != 0) return 0;
    rest.erase(0, root.size());
    const nTreeItem* item = rootItem_.get();
    size_t pos = 0;
    while (item && pos <= rest.size()) {
        size_t end = rest.find('/', pos);
        if (end == std::string::npos) end = rest.size();
        const std::string part = rest.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") continue;
        item = part == ".." ? item->GetParent() : item->FindChild(part.c_str());
    }
    return item ? item->GetHandle() : 0;
}

nConServer* nTreeView::Console() {
    nConServer* console = refConsole_.Resolve();
    if (!console && !consoleMissingLogged_) {
        consoleMissingLogged_ = true;
        nKernelServer::ks->Print("%s: no console at /sys/servers/console to follow\n", GetFullName().c_str());
    }
    return console;
}

bool nTreeView::Trigger() {
    // The view keeps up while the game's clock stands (the menu over a game, the viewer).
    const double now = ToolTime();
    const bool refreshed = now - lastRefresh_ > 2.0 || now < lastRefresh_;
    if (refreshed) {
        lastRefresh_ = now;
        Refresh();
    }
    if (selectedPath_.empty()) return true;
    nConServer* console = Console();
    nRoot* current = console ? console->GetCwd() : nullptr;
    if (!current) return true;
    // The object followed last frame, nothing refreshed since: its path is not built
    // again (a frame of the shown view allocates nothing).
    if (current == followed_.GetUnsafe() && !refreshed) return true;
    followed_ = current;
    const std::string path = current->GetFullName();
    if (path == selectedPath_) return true;
    if (const int item = FindItem(path.c_str())) {
        treeControl_->Select(item);
    } else {
        Refresh();
        followed_.Invalidate();
    }
    return true;
}

bool nTreeView::Fire(const char* event, const std::string& path) {
    nScriptEvent* e = FindEvent(event);
    if (!e || e->GetNumFunctions() == 0) return true;
    if (e->GetNumArgs() > 0) e->GetArg(0).SetS(path.c_str());
    return FireEvent(e);
}

void nTreeView::OnLabelEditEnd(int handle, const std::string* text) {
    nTreeItem* item = ItemOf(handle);
    if (!item || !text) return;
    nRoot* object = ObjectOf(handle);
    if (!object) {
        // Deleted meanwhile (by a script); the next refresh takes its item away.
        nKernelServer::ks->Print("%s: '%s' not renamed to '%s': it is gone\n", GetFullName().c_str(),
                                 GetItemPath(handle).c_str(), text->c_str());
        return;
    }
    const char* refusal = nullptr;
    if (text->empty()) refusal = "an empty name";
    else if (text->find('/') != std::string::npos) refusal = "a name with '/'";
    else if (*text == "." || *text == "..") refusal = "no object name";
    else if (object->GetParent()) {
        nRoot* sibling = object->GetParent()->FindChild(*text);
        if (sibling && sibling != object) refusal = "a sibling's name";
    }
    if (refusal) {
        nKernelServer::ks->Print("%s: '%s' not renamed to '%s': %s\n", GetFullName().c_str(),
                                 object->GetFullName().c_str(), text->c_str(), refusal);
    }
    // A renamed server is a removed one for everyone who looks it up by its path.
    const bool same = object->GetName() && *text == object->GetName();
    if (refusal || (!same && (Protected(object, "rename") || KeptByPath(object, "rename")))) {
        treeControl_->SetText(handle, item->GetText());
        return;
    }
    object->SetName(text->c_str());
    item->SetText(text->c_str());
    selectedPath_ = GetItemPath(handle);
    Fire("tvn_endlabeledit", selectedPath_);
}

void nTreeView::OnSelectionChanged(int handle) {
    const std::string path = GetItemPath(handle);
    if (path.empty()) return;
    selectedPath_ = path;
    nRoot* object = nKernelServer::ks->Lookup(path.c_str());
    menuObject_ = object;
    if (object) {
        if (nConServer* console = Console()) console->SetCwd(object);
    }
    Fire("tvn_selchanged", path);
}

void nTreeView::OnRightClick(int handle) {
    const std::string path = GetItemPath(handle);
    nRoot* object = path.empty() ? nullptr : nKernelServer::ks->Lookup(path.c_str());
    if (!object) return;
    menuObject_ = object;
    contextMenu_->DeleteAll();
    for (const char* entry : {"delete", "paste", "copy", "cut"}) {
        if (std::strcmp(entry, "paste") == 0 && !cutObject_.IsValid() && !copyRef_.IsValid()) continue;
        nContextMenuItem* e = contextMenu_->AddItem(entry);
        e->Place(e->GetX(), e->GetY(), 100, 20);
    }
    // The editors add their entries here; a bound function may delete this view.
    nRef<nRoot> self;
    self = this;
    Fire("nm_rclick", path);
    if (self.IsValid()) contextMenu_->ShowAtPointer();
}

void nTreeView::OnClick(int handle, bool twice) {
    const std::string path = GetItemPath(handle);
    if (!path.empty()) Fire(twice ? "nm_dbclick" : "nm_click", path);
}

nContextMenuItem* nTreeView::ContextAdd(const char* name) {
    return name ? contextMenu_->AddItem(name) : nullptr;
}

void nTreeView::ContextDel(const char* name) {
    if (name) contextMenu_->DeleteItem(name);
}

void nTreeView::ContextAddSized(const char* name, int width, int height, const char* function) {
    nContextMenuItem* entry = ContextAdd(name);
    if (!entry) return;
    if (entry->GetWidth() != width || entry->GetHeight() != height) entry->Place(entry->GetX(), entry->GetY(), width, height);
    FindOrCreateEvent(name, "s");
    AddEventFunction(name, function);
}

bool nTreeView::Protected(nRoot* object, const char* action, bool assigns) {
    for (nRoot* o = this; o; o = o->GetParent()) {
        if (o == object) {
            nKernelServer::ks->Print("%s: '%s' refused for '%s', which holds the tree view\n", GetFullName().c_str(),
                                     action, object->GetFullName().c_str());
            return true;
        }
    }
    if (object == nKernelServer::ks->GetRoot()) {
        nKernelServer::ks->Print("%s: '%s' refused for '/'\n", GetFullName().c_str(), action);
        return true;
    }
    // The engine's servers, what they hold and what holds them: without one the game stops.
    if (nRoot* servers = nKernelServer::ks->Lookup("/sys/servers")) {
        for (nRoot* o = servers; o; o = o->GetParent()) {
            if (o == object) {
                nKernelServer::ks->Print("%s: '%s' refused for '%s', which holds the engine's servers\n",
                                         GetFullName().c_str(), action, object->GetFullName().c_str());
                return true;
            }
        }
        for (nRoot* o = object->GetParent(); o; o = o->GetParent()) {
            if (o == servers) {
                nKernelServer::ks->Print("%s: '%s' refused for '%s': the engine's servers are not to be removed\n",
                                         GetFullName().c_str(), action, object->GetFullName().c_str());
                return true;
            }
        }
    }
    // The assigns the game runs on, and what holds them: without "bin:" or "save:" the
    // macros and the saves have nowhere to go.
    if (!assigns) return false;
    for (const nRef<nRoot>& ref : gameAssigns_) {
        nRoot* assign = ref.GetUnsafe();
        for (nRoot* o = assign; o; o = o->GetParent()) {
            if (o != object) continue;
            nKernelServer::ks->Print("%s: '%s' refused for '%s', %s\n", GetFullName().c_str(), action,
                                     object->GetFullName().c_str(),
                                     o == assign ? "an assign the game runs on" : "which holds the game's assigns");
            return true;
        }
    }
    return false;
}

bool nTreeView::KeptByPath(nRoot* object, const char* action) {
    if (object != nKernelServer::ks->Lookup("/scripts")) return false;
    nKernelServer::ks->Print("%s: '%s' refused for '/scripts': the macro buttons follow it by its path (its macros "
                             "may be cut, copied and renamed one by one)\n",
                             GetFullName().c_str(), action);
    return true;
}

void nTreeView::Paste(nRoot* target) {
    nKernelServer* ks = nKernelServer::ks;
    if (nRoot* cut = cutObject_.GetUnsafe()) {
        cutObject_.Invalidate();
        // Where its name is taken it comes in under a "_copy" name.
        if (cut->GetName() && target->FindChild(cut->GetName())) {
            cut->SetName((std::string(cut->GetName()) + "_copy" + std::to_string(pasteCounter++)).c_str());
        }
        target->AddTail(cut);
        if (cut->IsA("nvisnode")) static_cast<nVisNode*>(cut)->NotifyParents();
        return;
    }
    nRoot* copied = copyRef_.GetUnsafe();
    if (!copied || copied == target) return;
    for (nRoot* o = target; o; o = o->GetParent()) {
        if (o == copied) {
            ks->Print("%s: '%s' not pasted into its own subtree '%s'\n", GetFullName().c_str(),
                      copied->GetFullName().c_str(), target->GetFullName().c_str());
            return;
        }
    }
    const std::string name = copied->GetName() ? copied->GetName() : "";
    std::string as = name;
    if (target->FindChild(name)) as = name + "_copy" + std::to_string(pasteCounter++);
    ks->PushCwd(target);
    copied->Clone(as.c_str());
    ks->PopCwd();
}

void nTreeView::MenuPicked(const char* entry) {
    if (!entry) return;
    nKernelServer* ks = nKernelServer::ks;
    nRoot* object = menuObject_.GetUnsafe();
    if (object && FindEvent(entry)) {
        // A bound function may delete the object, or this view.
        nRef<nRoot> self;
        self = this;
        Fire(entry, object->GetFullName());
        if (!self.IsValid()) return;
        object = menuObject_.GetUnsafe();
    }
    if (std::strcmp(entry, "delete") == 0) {
        if (object && !Protected(object, "delete")) {
            if (nRoot* parent = object->GetParent()) ks->SetCwd(parent);
            menuObject_.Invalidate();
            object->Release();
        }
    } else if (std::strcmp(entry, "cut") == 0) {
        if (object && !Protected(object, "cut") && !KeptByPath(object, "cut")) {
            PutBackCut("the next cut");
            // Unlinked, the object lives on (its one reference now the view's) until pasted.
            cutFrom_ = object->GetParent();
            object->Remove();
            cutObject_ = object;
            copyRef_.Invalidate();
        }
    } else if (std::strcmp(entry, "copy") == 0) {
        // A pasted copy of a server is a second one that acts as the first (a plugin
        // server takes the tools' input).
        if (!object || !Protected(object, "copy", false)) {
            PutBackCut("a copy");
            copyRef_ = object;
        }
    } else if (std::strcmp(entry, "paste") == 0) {
        if (object) Paste(object);
    }
    menuObject_.Invalidate();
    Refresh();
}
