#pragma once
// The persistence server (script class "npersistserver", "/sys/servers/persist"):
// the one place through which objects are written as script files, copied, and
// loaded back from object files.
//
// Saving and cloning share one walk (nRoot::SaveAs): each object announces itself
// with BeginObject, hands its state over as commands through its SaveCmds (PutCmd),
// and ends with EndObject. In save mode the commands go to a saver, a script server
// that writes them as script text; in clone mode they are replayed on a fresh copy; in
// string mode each is appended to a text as one object-file line (CaptureCmds).
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "kernel/nCmd.h"
#include "kernel/nCmdDef.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nCmd;
class nFile;
class nFileServer2;
class nScriptServer;
class nString;

class nPersistServer : public nRoot {
public:
    static const nClassInfo classInfo;

    enum Mode { SaveMode = 0, CloneMode = 1, StringMode = 2 };

    // Size of the buffer a header tag's value is copied into (the value is cut to
    // one less).
    static constexpr size_t MaxTagLength = 128;
    // The header tags must lie within this many bytes from the file's start.
    static constexpr size_t TagScanSize = 256;

    nPersistServer();
    ~nPersistServer() override;

    // Begins an object that the script creates ("new" form). The outermost object of a
    // save opens the file "<name>.n"; false when it cannot be opened.
    bool BeginObject(nRoot* obj, const char* name);
    // Begins an object that the script reaches with a constructor command, or with
    // `cmd` null only selects. The command is given back to its prototype.
    bool BeginObjectWithCmd(nRoot* obj, nCmd* cmd, const char* name);
    // Ends the object begun last. `complete` false marks the open save or clone as
    // failed: the outermost end then keeps nothing (no file replaced, no copy left) and
    // returns false.
    bool EndObject(bool complete = true);
    // Takes a filled command and consumes it: written by the saver, or run on the copy.
    // Skipped when the save level is above `level`. False when it could not be written
    // or run.
    bool PutCmd(nCmd* cmd, int level = 0);
    // The short form of SaveCmds: the command `id` of obj's class, filled with `values`
    // in order and handed to PutCmd at level 0:
    //   return ps->Put(this, nId("SSPD"), GetSpeed());
    // The number and types of the values are checked against the prototype (an int
    // does not fill an 'f'); false, logged, and the save marked failed, when the class
    // has no such command or the values do not fit.
    template <class... V>
    bool Put(nRoot* obj, uint32_t id, V... values);

    void SetMode(Mode mode) { open_.mode = mode; }
    Mode GetMode() const { return open_.mode; }
    // The text string mode appends to (not owned; null for none).
    void SetStringTarget(nString* text) { stringTarget_ = text; }
    nString* GetStringTarget() const { return stringTarget_; }
    // Appends obj's SaveCmds to `text`, one line a command, in string mode. A save or
    // clone open meanwhile is set aside and goes on untouched; the mode and the target
    // come back afterwards. False when a command could not be written.
    bool CaptureCmds(nRoot* obj, nString& text);
    void SetSaveLevel(int level) { saveLevel_ = level; }
    int GetSaveLevel() const { return saveLevel_; }

    // Makes the script server of `className` the saver: "/sys/servers/script" when it
    // is of that class, else this server's child of that name, made when missing.
    // False (logged, saver unchanged) for a class that is not a script server.
    bool SetSaverClass(const char* className);
    // The saver's class name; fatal "Aborting." when there is no saver.
    const char* GetSaverClass();

    // The copy the last clone made (its top-level object).
    nRoot* GetCloneObject() const { return open_.cloneObject.GetUnsafe(); }
    // True while a save or clone is open.
    bool IsBusy() const { return !open_.objStack.empty(); }

    // The state of an open save or clone, set aside while another runs inside it (a
    // clone started by a command while objects are being written or copied).
    struct OpenState {
        nFile* file = nullptr;
        std::vector<nRef<nRoot>> objStack;
        Mode mode = SaveMode;
        nRef<nRoot> cloneObject;
        nRef<nRoot> cloneOrigin;
        // The top-level copy was made by this clone (not an object that existed already).
        bool cloneMadeTop = false;
        bool failed = false;
    };
    // Takes the open state out, leaving the server idle in save mode.
    OpenState Suspend();
    void Resume(OpenState& state);

    // Loads an object file into a new object under the kernel's current object, named
    // after the file ("scene.n" gives "scene"); a name without such a file is tried as
    // a directory with its script in "_main.n2". Null (logged) when nothing loads;
    // nothing half-built stays in the tree.
    nRoot* LoadObject(const char* fileName);

    // The value of the header tag `key` ("parser", "class") of an object file, read from
    // its first TagScanSize bytes; false when there is none or the tags are broken
    // (reported through the kernel's Message).
    bool ReadHeaderTag(const char* fileName, const char* key, std::string& value);

    // The object name LoadObject gives a file: its last path component without the
    // extension from the last '.' on, when at least one character follows that '.'.
    static std::string ObjectNameOf(const char* fileName);

private:
    // Null (logged, the save marked failed) when `obj` has no command `id` taking
    // values of the letters `have` (0-terminated; 'n' for a null pointer).
    nCmd* NewPutCmd(nRoot* obj, uint32_t id, const char* have);
    template <class V>
    static constexpr char PutLetter() {
        if constexpr (std::is_null_pointer_v<V>) return 'n';
        else return nArgLetterOf<V>();
    }
    template <class V>
    static void PutValue(nArg* arg, const V& value) {
        if constexpr (std::is_null_pointer_v<V>) {
            if (arg->GetType() == nArg::Object) arg->SetO(nullptr);
            else if (arg->GetType() == nArg::Code) arg->SetC(nullptr);
            else arg->SetS(nullptr);
        } else {
            nArgWrite(arg, value);
        }
    }
    nScriptServer* GetSaver();
    // The saver object for `className`, found or made; null (logged) when the class is
    // missing or is no script server.
    nRoot* FindSaver(const char* className);
    nFileServer2* GetFileServer();
    nRoot* LoadObjectFile(const char* fileName, const std::string& objName);
    bool HasTrailer(const char* fileName);
    bool BeginSave(nRoot* obj, nCmd* cmd, const char* name, bool newForm);
    bool BeginClone(nRoot* obj, const char* name);
    bool EndSave();
    bool EndClone();

    nPathRef<nFileServer2> refFileServer_;
    // The saver: the object chosen by SetSaverClass, else the path's target.
    nPathRef<nRoot> refSaverPath_;
    nRef<nRoot> refSaver_;
    bool saverChosen_ = false;

    // The open save or clone; its stack holds references, not pointers, so an entry
    // whose object died pops as the root.
    OpenState open_;
    int saveLevel_ = 0;
    nString* stringTarget_ = nullptr;
};

template <class... V>
bool nPersistServer::Put(nRoot* obj, uint32_t id, V... values) {
    static_assert(((PutLetter<V>() != 0) && ...), "no prototype letter carries one of these values");
    static constexpr char have[sizeof...(V) + 1] = {PutLetter<V>()..., 0};
    nCmd* cmd = NewPutCmd(obj, id, have);
    if (!cmd) return false;
    (PutValue(cmd->In(), values), ...);
    return PutCmd(cmd, 0);
}
