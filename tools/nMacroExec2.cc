#include "tools/nMacroExec2.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <system_error>
#include <vector>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogFormat.h"
#include "kernel/nPersistServer.h"
#include "kernel/nString.h"
#include "kernel/nTimeServer.h"
#include "platform/ui/Host.h"
#include "platform/system/Disk.h"
#include "platform/ui/ToolWindow.h"
#include "script/nScriptlet.h"

const nClassInfo nMacroExec2::classInfo = nClassInfo::Make<nMacroExec2>("nmacroexec2", "nplugin");

namespace {
constexpr int kDialog = 126;
constexpr const char* kScriptsPath = "/scripts";

bool IsDataText(const nRoot* obj) {
    auto* scriptlet = dynamic_cast<const nScriptlet*>(obj);
    return scriptlet && scriptlet->GetOrigin() == nScriptServer::Origin::Data;
}

// The run's result goes to standard output, as the console's do, quoted as the log quotes,
// and only when it takes the line now, as the log's lines do.
__attribute__((format(printf, 1, 2))) void ShowResult(const char* fmt, ...) {
    if (!nLogFormat::TakesALine(stdout)) return;
    va_list args;
    va_start(args, fmt);
    nLogFormat::Write(stdout, fmt, args);
    va_end(args);
    std::fflush(stdout);
}

// The macros below `root` as text: each one's class, name and saved commands, its children
// nested; macros of equal text write equal files. False when a command cannot be read.
bool MacrosText(nRoot* root, std::string& text) {
    nPersistServer* ps = nKernelServer::ks->GetPersistServer();
    if (!ps) return false;
    text += '{';
    for (nRoot* child = root->GetHead(); child; child = child->GetSucc()) {
        nString cmds;
        if (!ps->CaptureCmds(child, cmds)) return false;
        text += child->GetClass() ? child->GetClass()->GetName() : "";
        text += '\n';
        text += child->GetName() ? child->GetName() : "";
        text += '\n';
        text.append(cmds.Get(), cmds.Length());
        if (!MacrosText(child, text)) return false;
    }
    text += '}';
    return true;
}

std::string OnDisk(const char* name) {
    nFileServer2* fs = nKernelServer::ks->GetFileServer();
    return fs ? sys::Disk::Resolve(fs->ManglePath(name)) : "";
}

bool Exists(const std::string& file) {
    std::error_code ignored;
    return !file.empty() && std::filesystem::symlink_status(file, ignored).type() != std::filesystem::file_type::not_found;
}

// The macros file is the person's, as the start scripts beside it are: the text of
// every scriptlet it made runs with the person's reach.
void TrustAsPerson(nRoot* obj) {
    if (auto* scriptlet = dynamic_cast<nScriptlet*>(obj)) scriptlet->SetOrigin(nScriptServer::Origin::Person);
    for (nRoot* child = obj->GetHead(); child; child = child->GetSucc()) TrustAsPerson(child);
}

// Takes the scriptlets that data's text planted or edited out of the tree below `root`
// for as long as it lives, and then puts them back in their places: the macros file
// may not carry them, since what it holds runs as the person's when loaded again.
class LeaveOutDataText {
public:
    explicit LeaveOutDataText(nRoot* root) { Walk(root); }
    ~LeaveOutDataText() {
        for (auto& [parent, children] : parents_) {
            for (nRoot* child : children) parent->AddTail(child);
        }
    }
    LeaveOutDataText(const LeaveOutDataText&) = delete;
    LeaveOutDataText& operator=(const LeaveOutDataText&) = delete;

private:
    void Walk(nRoot* obj) {
        std::vector<nRoot*> children;
        bool any = false;
        for (nRoot* child = obj->GetHead(); child; child = child->GetSucc()) {
            children.push_back(child);
            any = any || IsDataText(child);
        }
        for (nRoot* child : children) {
            if (!IsDataText(child)) {
                Walk(child);
                continue;
            }
            nKernelServer::ks->Print("nmacroexec2: '%s' holds text of data and is not written to bin:scripts.n\n",
                                     child->GetFullName().c_str());
            child->Remove();
        }
        if (any) parents_.emplace_back(obj, std::move(children));
    }

    std::vector<std::pair<nRoot*, std::vector<nRoot*>>> parents_;
};
}  // namespace

nMacroExec2::nMacroExec2() {
    if (ui::Host* host = GetUiHost()) {
        window_ = host->MakeDialog(kDialog);
        if (window_) {
            window_->SetUserData(this);
            window_->onCommand = [this](int button) { Press(button); };
            window_->onClose = [this] { SetActive(false); };
            // Shown as made, without the keyboard.
            window_->Show(false);
        }
    }
    nRoot* scripts = FindOrMakeScripts();
    if (!scripts) return;
    Load(scripts);
}

void nMacroExec2::Load(nRoot* scripts) {
    // No macros yet is the first state of every installation: nothing to say.
    const std::string file = OnDisk("bin:scripts.n");
    std::error_code ignored;
    if (file.empty() || !std::filesystem::exists(file, ignored)) return;
    onDiskStamp_ = StampOf(file);
    began_ = LoadFile("bin:scripts.n", scripts, onDisk_);
    if (began_ == Began::Macros) return;
    // The file was refused or held none: the person's macros are those of the backup, which
    // no save replaces by it. They show as they are, and written only once they change.
    if (!Exists(OnDisk("bin:scripts.bak"))) return;
    const Began backup = LoadFile("bin:scripts.bak", scripts, backupText_);
    backupRefused_ = backup == Began::Refused;
    if (backup != Began::Macros) return;
    nKernelServer::ks->Print("nmacroexec2: bin:scripts.n %s; the macros of bin:scripts.bak are shown\n",
                             began_ == Began::Refused ? "was refused at its load" : "held no macros");
}

nMacroExec2::Began nMacroExec2::LoadFile(const char* name, nRoot* scripts, std::string& text) {
    nKernelServer* ks = nKernelServer::ks;
    nScriptServer* script = refScript_.Resolve();
    if (!script) {
        ks->Print("nmacroexec2: no script server to load %s\n", name);
        return Began::Refused;
    }
    // The file loads under a data file's bounds, so that a broken one cannot take the game
    // down: it builds into a scratch object, and its macros join "/scripts" only when all
    // of it loaded.
    nRoot* scratch = ks->NewUnnamed("nroot");
    const char* result = nullptr;
    Began began = Began::Refused;
    nScriptlet::HoldAutoRun hold;
    // The macros are the person's, and so are their names, as the tools gave them.
    nScriptServer::PersonNamesScope names;
    if (script->RunDataFile(name, scratch, result)) {
        autoRuns_ = std::move(hold.held);
        ShowResult("%s\n", result ? result : "");
        TrustAsPerson(scratch);
        began = scratch->GetHead() ? Began::Macros : Began::NoMacros;
        if (began == Began::Macros && !MacrosText(scratch, text)) text.clear();
        // One already in "/scripts" (a macro that stayed in memory when the tools could not
        // write it) is the person's later one and stays.
        while (nRoot* macro = scratch->GetHead()) {
            macro->Remove();
            if (scripts->Find(macro->GetName())) {
                ks->Print("nmacroexec2: '%s' of %s not loaded: '%s' is in memory already\n", macro->GetName(), name,
                          scripts->Find(macro->GetName())->GetFullName().c_str());
                macro->Release();
                continue;
            }
            scripts->AddTail(macro);
        }
    } else {
        ks->Print("nmacroexec2: %s not loaded; no macros from it\n", name);
    }
    scratch->Release();
    return began;
}

nMacroExec2::~nMacroExec2() {
    const bool saved = Save();
    buttons_.clear();
    // Macros that could not be written stay in memory.
    nRoot* scripts = scripts_.GetUnsafe();
    if (scripts && saved) scripts->Release();
}

nRoot* nMacroExec2::FindOrMakeScripts() {
    nRoot* scripts = nKernelServer::ks->NewNoFail("nroot", kScriptsPath);
    if (!scripts) nKernelServer::ks->Print("nmacroexec2: '%s' cannot be made\n", kScriptsPath);
    scripts_ = scripts;
    return scripts;
}

nMacroButton* nMacroExec2::GetButton(int index) const {
    if (index < 0 || index >= GetNumButtons()) return nullptr;
    return buttons_[size_t(index)].get();
}

void nMacroExec2::SetActive(bool active) {
    nPlugin::SetActive(active);
    if (!window_) return;
    if (active) {
        window_->Show();
    } else {
        window_->Hide();
    }
}

void nMacroExec2::Minimize() {
    if (window_) window_->Minimise();
}

bool nMacroExec2::Trigger() {
    nTimeServer* time = nKernelServer::ks->GetTimeServer();
    const double now = time ? time->GetTime() : 0.0;
    if (now - lastUpdate_ > 5.0 || lastUpdate_ == 0.0) {
        Update();
        Layout();
        lastUpdate_ = now;
    }
    // The file's auto-run macros run once, as the person's, at the tools' first pass: not
    // while the plugin is made, since a macro may delete the server that is adding it.
    // They may delete this plugin too: nothing of it is used after them.
    if (!autoRuns_.empty()) {
        std::vector<nRef<nRoot>> runs;
        runs.swap(autoRuns_);
        for (const nRef<nRoot>& ref : runs) {
            if (auto* scriptlet = dynamic_cast<nScriptlet*>(ref.GetUnsafe())) scriptlet->RunScriptlet();
        }
    }
    return true;
}

void nMacroExec2::Update() {
    nRoot* scripts = scripts_.GetUnsafe();
    if (!scripts) {
        nKernelServer::ks->Print("nmacroexec2: '%s' was deleted; made again\n", kScriptsPath);
        scripts = FindOrMakeScripts();
        if (!scripts) return;
    }
    for (nRoot* macro = scripts->GetHead(); macro; macro = macro->GetSucc()) {
        auto it = std::find_if(buttons_.begin(), buttons_.end(),
                               [macro](const auto& b) { return b->GetMacro() == macro; });
        if (it == buttons_.end()) {
            buttons_.push_back(std::make_unique<nMacroButton>(window_.get(), macro));
        } else if ((*it)->GetName() != (macro->GetName() ? macro->GetName() : "")) {
            (*it)->SetName(macro->GetName());
        }
    }
    std::erase_if(buttons_, [scripts](const auto& b) {
        nRoot* macro = b->GetMacro();
        return !macro || macro->GetParent() != scripts;
    });
}

void nMacroExec2::Layout() {
    int column = 0;
    int row = 0;
    for (const auto& b : buttons_) {
        if (column == 4) {
            column = 0;
            row++;
        }
        b->Place(float(column * 80), float(row * 25), 80.0f, 25.0f);
        column++;
    }
    if (!buttons_.empty() && window_) {
        window_->SetSize(std::min(GetNumButtons(), 4) * 80 + 5, (row + 2) * 25);
    }
}

bool nMacroExec2::Press(int button) {
    auto it = std::find_if(buttons_.begin(), buttons_.end(), [button](const auto& b) { return b->GetButton() == button; });
    if (it == buttons_.end()) return false;
    nRoot* macro = (*it)->GetMacro();
    nRoot* scripts = scripts_.GetUnsafe();
    if (scripts) WriteChanged(scripts);
    if (!macro) return true;
    auto* scriptlet = dynamic_cast<nScriptlet*>(macro);
    if (!scriptlet) {
        nKernelServer::ks->Print("nmacroexec2: '%s' is no nscriptlet and is not run\n", macro->GetFullName().c_str());
        return true;
    }
    // The macro may delete this plugin, its window or the server: nothing follows it.
    scriptlet->RunScriptlet();
    return true;
}

bool nMacroExec2::Save() {
    nRoot* scripts = scripts_.GetUnsafe();
    if (scripts && scripts->GetHead()) return WriteChanged(scripts);
    // No macros left: the file the session began with is only the backup, and what this
    // session wrote goes. A file that was refused or held none is the person's to mend
    // and stays with its backup, as does one another program wrote meanwhile.
    const std::string file = OnDisk("bin:scripts.n");
    if (!Exists(file) || StampOf(file) != onDiskStamp_) return true;
    if (movedAside_) {
        std::remove(file.c_str());
    } else if (began_ == Began::Macros && !sys::Disk::Replace(file, OnDisk("bin:scripts.bak"))) {
        nKernelServer::ks->Print("nmacroexec2: bin:scripts.n, with no macros left, cannot become bin:scripts.bak; "
                                 "both stay\n");
    }
    return true;
}

nMacroExec2::Stamp nMacroExec2::StampOf(const std::string& file) {
    Stamp stamp;
    std::error_code error;
    stamp.size = std::filesystem::file_size(file, error);
    if (error) return stamp;
    stamp.time = std::filesystem::last_write_time(file, error);
    stamp.exists = !error;
    return stamp;
}

std::string nMacroExec2::KeepAside(const std::string& file) {
    for (int n = 1; n <= 99; n++) {
        const std::string asideName = "bin:scripts.kept" + (n > 1 ? std::to_string(n) : std::string());
        const std::string name = OnDisk(asideName.c_str());
        if (!Exists(name) && sys::Disk::Link(file, name)) return asideName;
    }
    return {};
}

bool nMacroExec2::WriteChanged(nRoot* scripts) {
    nKernelServer* ks = nKernelServer::ks;
    LeaveOutDataText personsOnly(scripts);
    if (!scripts->GetHead()) return true;
    const std::string file = OnDisk("bin:scripts.n");
    std::string text;
    const bool known = MacrosText(scripts, text);
    // Another program wrote or removed the file since it was loaded or written here.
    const bool changed = StampOf(file) != onDiskStamp_, changedOnDisk = changed && Exists(file);
    if (known && text == onDisk_ && !changed) return true;
    // The backup's macros, shown for a file refused or holding none, are safe where they are
    // while that file stays: the next session shows them again.
    if (known && !movedAside_ && !backupText_.empty() && text == backupText_ && !changed) return true;

    // The file the session began with keeps a second name while the new one is written: a
    // write that fails changes nothing.
    std::string aside, asideName;
    bool toBackup = false;
    const char* why = began_ == Began::NoFile ? "which came after the tools were made"
                      : changedOnDisk         ? "which another program changed meanwhile"
                      : began_ == Began::Refused ? "refused at its load"
                                                 : "which held no macros";
    const std::string backup = OnDisk("bin:scripts.bak");
    if ((!movedAside_ || changedOnDisk) && Exists(file)) {
        toBackup = began_ == Began::Macros && !movedAside_ && !changedOnDisk;
        std::error_code ignored;
        if (toBackup && std::filesystem::symlink_status(backup, ignored).type() ==
                            std::filesystem::file_type::directory && !std::filesystem::is_empty(backup, ignored)) {
            ks->Print("nmacroexec2: bin:scripts.bak is a folder with entries; bin:scripts.n not written, the macros "
                      "stay in memory\n");
            return false;
        }
        if (toBackup) {
            aside = backup + ".new";
            if (!sys::Disk::Link(file, aside)) {
                ks->Print("nmacroexec2: bin:scripts.bak.new cannot be made; bin:scripts.n not written, the macros "
                          "stay in memory\n");
                return false;
            }
        } else {
            // Never the backup over one that may hold macros, and never lost: it keeps a
            // name of its own that is not taken yet.
            asideName = KeepAside(file);
            if (asideName.empty()) {
                ks->Print("nmacroexec2: bin:scripts.n, %s, cannot be kept under another name; not written, the "
                          "macros stay in memory\n",
                          why);
                return false;
            }
            aside = OnDisk(asideName.c_str());
        }
    }
    if (!scripts->SaveAs("bin:scripts")) {
        if (!aside.empty()) std::remove(aside.c_str());
        ks->Print("nmacroexec2: bin:scripts.n not written; the macros stay in memory\n");
        return false;
    }
    onDisk_ = known ? text : std::string();
    onDiskStamp_ = StampOf(file);
    const bool first = !movedAside_;
    movedAside_ = true;
    if (!asideName.empty()) {
        ks->Print("nmacroexec2: bin:scripts.n, %s, is kept as %s; bin:scripts.bak stays\n", why, asideName.c_str());
    } else if (toBackup && !sys::Disk::Replace(aside, backup)) {
        ks->Print("nmacroexec2: bin:scripts.bak not made; the file before the macros is bin:scripts.bak.new\n");
    }
    // A backup refused at its load is the person's to mend, as the file is: the next session
    // would make the file it begins with the backup over it.
    if (first && backupRefused_ && Exists(backup)) {
        const std::string keptName = KeepAside(backup);
        if (!keptName.empty()) {
            std::remove(backup.c_str());
            ks->Print("nmacroexec2: bin:scripts.bak, refused at its load, is kept as %s\n", keptName.c_str());
        } else {
            ks->Print("nmacroexec2: bin:scripts.bak, refused at its load, cannot be kept under another name\n");
        }
    }
    return true;
}
