#include "tools/nMacroExec2.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <system_error>
#include <vector>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogFormat.h"
#include "kernel/nPersistServer.h"
#include "kernel/nString.h"
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

// A line for standard output (a run's result, as the console's) or standard error (where
// the person's macros went when the game ends), quoted as the log quotes, and only when the
// stream takes the line now, as the log's lines do.
__attribute__((format(printf, 2, 3))) void WriteLine(FILE* to, const char* fmt, ...) {
    if (!nLogFormat::TakesALine(to)) return;
    va_list args;
    va_start(args, fmt);
    nLogFormat::Write(to, fmt, args);
    va_end(args);
    std::fflush(to);
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

// Saves the macros below `scripts` as the file `name` (no ".n"). The file makes its macros
// under a plain "nroot" when loaded: a "/scripts" of another class (made anew by a script)
// lends them to one for the save, since its own commands would refuse the whole file.
bool SaveMacros(nRoot* scripts, const char* name) {
    if (scripts->GetClass() && std::strcmp(scripts->GetClass()->GetName(), "nroot") == 0) return scripts->SaveAs(name);
    nRoot* folder = nKernelServer::ks->NewUnnamed("nroot");
    if (!folder) return false;
    std::vector<nRoot*> macros;
    for (nRoot* macro = scripts->GetHead(); macro; macro = macro->GetSucc()) macros.push_back(macro);
    for (nRoot* macro : macros) {
        macro->Remove();
        folder->AddTail(macro);
    }
    const bool saved = folder->SaveAs(name);
    for (nRoot* macro : macros) {
        macro->Remove();
        scripts->AddTail(macro);
    }
    folder->Release();
    return saved;
}
}  // namespace

nMacroExec2::nMacroExec2() {
    if (ui::Host* host = GetUiHost()) {
        window_ = host->MakeDialog(kDialog);
        if (window_) {
            window_->SetUserData(this);
            window_->onCommand = [this](int button) { Press(button); };
            window_->onClose = [this] { window_->Hide(); };
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
        WriteLine(stdout, "%s\n", result ? result : "");
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
    if (!saved) KeepUnwritten();
    // A plugin server that is going has no layer left to ask.
    if (!unwritable_.empty()) {
        if (ui::Host* host = GetUiHost()) host->SetNotice("");
    }
    buttons_.clear();
    // Macros that could not be written stay in memory as well.
    nRoot* scripts = scripts_.GetUnsafe();
    if (scripts && saved) scripts->Release();
}

nRoot* nMacroExec2::Follow(bool make) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* scripts = scripts_.GetUnsafe();
    nRoot* there = ks->Lookup(kScriptsPath);
    // Asked by its place rather than by a look-up, which finds nothing once the kernel ends.
    const bool inPlace = scripts && scripts->GetParent() && scripts->GetParent() == ks->GetRoot() &&
                         scripts->GetName() && std::strcmp(scripts->GetName(), kScriptsPath + 1) == 0;
    if (scripts && !inPlace && there) {
        // A script renamed or moved it (the tree view refuses to) and a "/scripts" stands
        // anew: the person makes their macros there. The folder moved keeps its objects.
        ks->Print("nmacroexec2: '%s' was moved to '%s'; the macros are those under '%s' from now on\n", kScriptsPath,
                  scripts->GetFullName().c_str(), kScriptsPath);
        scripts_.Invalidate();
        scripts = nullptr;
    }
    // Moved with nothing in its place, it still holds the macros the person has.
    if (scripts) return scripts;
    if (there) {
        scripts_ = there;
        return there;
    }
    if (!make) return nullptr;
    ks->Print("nmacroexec2: '%s' was deleted; made again\n", kScriptsPath);
    return FindOrMakeScripts();
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

bool nMacroExec2::IsShown() const {
    return GetActive() && (!window_ || window_->IsVisible());
}

void nMacroExec2::Minimize() {
    if (window_) window_->Minimise();
}

bool nMacroExec2::Trigger() {
    // New macros get their buttons while the game's clock stands (the menu over a game,
    // the viewer).
    const double now = ToolTime();
    // A new macro is looked at in the frame it came, so that it gets its button and a "bin:"
    // that cannot take it is said at once; the rest (deletes, renames, edits) waits for the
    // 5 s look.
    const nRoot* scripts = scripts_.GetUnsafe();
    const int macros = scripts ? scripts->GetNumChildren() : 0;
    seenMacros_ = std::min(seenMacros_, macros);
    if (now - lastUpdate_ > 5.0 || now < lastUpdate_ || lastUpdate_ == 0.0 || macros > seenMacros_) {
        Update();
        Layout();
        CheckWritable();
        lastUpdate_ = now;
        scripts = scripts_.GetUnsafe();
        seenMacros_ = scripts ? scripts->GetNumChildren() : 0;
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
    nRoot* scripts = Follow(true);
    if (!scripts) return;
    // Each macro's button found by the macro, not by a search of them all: thousands of
    // macros cost a walk, not millions of steps every look.
    buttonOf_.clear();
    for (const auto& b : buttons_) buttonOf_.emplace(b->GetMacro(), b.get());
    for (nRoot* macro = scripts->GetHead(); macro; macro = macro->GetSucc()) {
        auto it = buttonOf_.find(macro);
        if (it == buttonOf_.end()) {
            buttons_.push_back(std::make_unique<nMacroButton>(window_.get(), macro));
        } else if (it->second->GetName() != (macro->GetName() ? macro->GetName() : "")) {
            it->second->SetName(macro->GetName());
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
    if (nRoot* scripts = Follow(false)) {
        if (WriteChanged(scripts)) {
            SetUnwritable("");
        } else {
            const std::string why = WhyUnwritable(0);
            SetUnwritable(why.empty() ? "see the log" : why);
        }
    }
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
    // A "/scripts" made anew since the last look is the one whose macros are saved.
    nRoot* scripts = Follow(false);
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
    if (!SaveMacros(scripts, "bin:scripts")) {
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

void nMacroExec2::CheckWritable() {
    nRoot* scripts = scripts_.GetUnsafe();
    std::string text;
    if (!scripts || !scripts->GetHead() || !MacrosText(scripts, text)) {
        // Nothing to write: nothing to say.
        SetUnwritable("");
        return;
    }
    // What bin:scripts.n (or the backup shown for it) holds already waits for nothing.
    if (text == onDisk_ || (!movedAside_ && text == backupText_)) {
        probed_ = std::move(text);
        SetUnwritable("");
        return;
    }
    // The same macros once found writable need no second look; unwritable ones are looked
    // at again, so the word goes once the place is mended.
    if (text == probed_ && unwritable_.empty()) return;
    SetUnwritable(WhyUnwritable(text.size()));
    probed_ = std::move(text);
}

std::string nMacroExec2::WhyUnwritable(size_t bytes) const {
    nFileServer2* fs = nKernelServer::ks->GetFileServer();
    if (!fs || !fs->GetAssign("bin")) return "there is no assign 'bin'";
    const std::string file = OnDisk("bin:scripts.n");
    if (file.empty()) return "the assign 'bin' names no folder";
    // The names a write must take over, as WriteChanged takes them: a folder with entries
    // under one stops it.
    std::vector<std::string> names{"bin:scripts.n"};
    if (began_ == Began::Macros && !movedAside_ && Exists(file) && StampOf(file) == onDiskStamp_) {
        names.insert(names.end(), {"bin:scripts.bak", "bin:scripts.bak.new"});
    }
    for (const std::string& name : names) {
        const std::string path = OnDisk(name.c_str());
        std::error_code error;
        if (std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::directory &&
            !std::filesystem::is_empty(path, error)) {
            return name + " is a folder with entries";
        }
    }
    // A file of the macros' size made new beside it and taken away again: what a write
    // would meet (a folder that is read-only or gone, a full disk).
    std::string probe = std::filesystem::path(file).parent_path().string() + "/scripts.n.probe.XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return std::string("no file can be made in bin: (") + std::strerror(errno) + ")";
    std::string why;
    const std::string block(4096, '\n');
    for (size_t left = bytes; left > 0 && why.empty();) {
        const ssize_t n = ::write(fd, block.data(), std::min(left, block.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) why = std::string("bin: takes no more bytes (") + std::strerror(n < 0 ? errno : ENOSPC) + ")";
        else left -= size_t(n);
    }
    if (::close(fd) != 0 && why.empty()) why = std::string("bin: takes no more bytes (") + std::strerror(errno) + ")";
    ::unlink(probe.c_str());
    return why;
}

void nMacroExec2::SetUnwritable(const std::string& why) {
    if (why == unwritable_) return;
    unwritable_ = why;
    ui::Host* host = GetUiHost();
    if (why.empty()) {
        nKernelServer::ks->Print("nmacroexec2: bin:scripts.n can take the macros again\n");
        if (host) host->SetNotice("");
        return;
    }
    nKernelServer::ks->Print("nmacroexec2: bin:scripts.n cannot take the macros (%s); they stay in memory and go to a "
                             "file of their own at the end\n",
                             why.c_str());
    if (host) {
        host->SetNotice("Makros: bin:scripts.n kann nicht geschrieben werden (" + why +
                        "). Sie bleiben im Speicher und kommen am Ende in eine eigene Datei (im Log genannt).");
    }
}

void nMacroExec2::KeepUnwritten() {
    nRoot* scripts = Follow(false);
    if (!scripts || !scripts->GetHead()) return;
    nKernelServer* ks = nKernelServer::ks;
    std::vector<std::string> folders;
    nFileServer2* fs = ks->GetFileServer();
    if (fs && fs->GetAssign("save")) folders.push_back(OnDisk("save:"));
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (!error) folders.push_back(temp.string());
    for (const std::string& folder : folders) {
        const std::string kept = KeepIn(folder);
        if (kept.empty()) continue;
        ks->Print("nmacroexec2: the macros that bin:scripts.n could not take are kept in '%s'\n", kept.c_str());
        WriteLine(stderr, "Brinewick: the macros that bin:scripts.n could not take are kept in '%s'\n", kept.c_str());
        return;
    }
    ks->Print("nmacroexec2: the macros that bin:scripts.n could not take could be kept nowhere\n");
    WriteLine(stderr, "Brinewick: the macros that bin:scripts.n could not take could be kept nowhere; see the log\n");
}

std::string nMacroExec2::KeepIn(const std::string& place) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* scripts = Follow(false);
    std::string folder = place;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat st {};
    // The folder itself, never what a link under its name points to.
    if (folder.empty() || folder[0] != '/' || ::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        ks->Print("nmacroexec2: the macros are not kept in '%s': no folder\n", place.c_str());
        return {};
    }
    if (!scripts || !scripts->GetHead()) return {};
    // The saver works in a folder of our own, so that no file of the person's is touched;
    // the whole file then takes a name that nothing holds yet, in one step.
    std::string work;
    for (int n = 0; n < 100 && work.empty(); n++) {
        const std::string name = folder + "/.brinewick-macros-" + std::to_string(::getpid()) + "-" + std::to_string(n);
        if (::mkdir(name.c_str(), 0700) == 0) work = name;
        else if (errno != EEXIST) break;
    }
    if (work.empty()) {
        ks->Print("nmacroexec2: the macros are not kept in '%s': %s\n", folder.c_str(), std::strerror(errno));
        return {};
    }
    std::string kept;
    {
        LeaveOutDataText personsOnly(scripts);
        const std::string written = work + "/macros.n";
        if (scripts->GetHead() && SaveMacros(scripts, (work + "/macros").c_str())) {
            for (int n = 1; n <= 99 && kept.empty(); n++) {
                const std::string name = folder + "/brinewick-macros" + (n > 1 ? std::to_string(n) : "") + ".n";
                if (::link(written.c_str(), name.c_str()) == 0) kept = name;
                else if (errno != EEXIST) break;
            }
            if (kept.empty()) {
                ks->Print("nmacroexec2: the macros are not kept in '%s': no name of its own (%s)\n", folder.c_str(),
                          std::strerror(errno));
            }
        } else {
            ks->Print("nmacroexec2: the macros are not kept in '%s': not written\n", folder.c_str());
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return kept;
}
