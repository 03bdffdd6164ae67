#pragma once
#include <memory>
#include <string>

#include "kernel/nFileServer2.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"

class nScriptEvent;

// Loads a directory tree of script files into the object tree (script class
// "nrepository"): every file named "*.n" runs with a matching object below the
// repository current, one object per subdirectory, so the objects the scripts make
// land there. About once per second of loading it calls the script functions bound
// to its "onloadingfile" event, which lets a loading screen advance.
class nRepository : public nRoot {
public:
    static const nClassInfo classInfo;

    nRepository();
    ~nRepository() override;

    bool SaveCmds(nPersistServer* ps) override;

    // Stores the directory with its assign resolved, in canonical form.
    void SetDir(const char* path);
    const char* GetDir() const { return dir_.c_str(); }
    // Runs the scripts of the repository directory ("*") or of one of its
    // subdirectories ("/fish"), subdirectories included, CVS folders excepted.
    void Load(const char* name);
    // "*" releases every child of the repository; another name releases the child
    // object at that path below the repository.
    void Unload(const char* name);
    // Binds a script function to "onloadingfile" (once).
    void AddOnLoading(const char* funcName);
    nScriptEvent* GetOnLoadingEvent() const { return onLoading_.get(); }

    // Whether `fileName` (a name without directories) is a script file to run: its
    // first ".n", in any letter case, is also its end.
    static bool IsScriptFileName(const char* fileName);

private:
    nPathRef<nScriptServer> refScriptServer_;
    nPathRef<nFileServer2> refFileServer_;
    std::unique_ptr<nScriptEvent> onLoading_;
    std::string dir_;
    float callbackInterval_ = 1.0f;
    float loadTime_ = 0.0f;
    int loadDepth_ = -1;
};
