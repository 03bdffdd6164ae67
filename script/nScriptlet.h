#pragma once

#include <vector>

#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/nString.h"
#include "kernel/nScriptServer.h"

// An object of the tree that holds a piece of script text and runs it through the
// script server on demand, or at once when the text is set while auto-run is on
// (script class "nscriptlet"). Text and flag are saved with the object, so an object
// file can carry code that runs when it is loaded.
class nScriptlet : public nRoot {
public:
    static const nClassInfo classInfo;

    nScriptlet();
    ~nScriptlet() override;

    bool SaveCmds(nPersistServer* ps) override;

    // Reads the text from a file; the base knows no script language and refuses.
    virtual bool ParseFile(const char* fileName);
    // Runs the text; its result text, or null when there is no text.
    virtual const char* RunScriptlet();

    // Stores the text (null: none) and runs it when auto-run is on (or keeps the scriptlet
    // in the innermost HoldAutoRun).
    void SetScript(const char* text);
    // As SetScript, for text that runs as data's whoever sets it: a data-made scriptlet
    // is written with it, so that it stays data's in any file that loads it again.
    void SetDataScript(const char* text);
    // The text, null when there is none.
    const char* GetScript() const { return hasScript_ ? script_.Get() : nullptr; }
    // Only sets the flag; nothing runs now.
    void SetAutoRun(bool on) { autoRun_ = on; }
    bool GetAutoRun() const { return autoRun_; }
    // The origin that the text runs with. Only a loader that knows its file to be a
    // person's sets it (the macro executor, for the macros file); no script command does.
    // Text that came as data's (SetDataScript) stays data's.
    nScriptServer::Origin GetOrigin() const { return origin_; }
    void SetOrigin(nScriptServer::Origin origin) {
        if (!dataText_) origin_ = origin;
    }

    // While one lives, a text set with auto-run on is stored, not run, and its scriptlet
    // kept in `held` in order: a loader that may run no text (the macros file under a data
    // file's bounds) runs them once it is done.
    class HoldAutoRun {
    public:
        HoldAutoRun() : outer_(hold_) { hold_ = this; }
        ~HoldAutoRun() { hold_ = outer_; }
        HoldAutoRun(const HoldAutoRun&) = delete;
        HoldAutoRun& operator=(const HoldAutoRun&) = delete;

        std::vector<nRef<nRoot>> held;

    private:
        HoldAutoRun* outer_;
    };

protected:
    // Stores the text without running it, with the origin of the text running now, or
    // data's when `asData`.
    void SetScriptText(const char* text, size_t len, bool asData = false);

    nPathRef<nScriptServer> refScriptServer_;

private:
    // Runs the text now when auto-run is on (or holds it, see HoldAutoRun).
    void RunIfAuto();

    static HoldAutoRun* hold_;

    nString script_;
    // The origin of the text that set the script: it runs with it.
    nScriptServer::Origin origin_ = nScriptServer::Origin::Person;
    // The text was set as data's (SetDataScript).
    bool dataText_ = false;
    bool hasScript_ = false;
    nDataCharge charge_;
    bool autoRun_ = false;
    nString result_;
};
