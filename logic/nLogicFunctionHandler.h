#pragma once
// Kind 2: runs a list of script lines, unchanged and in order of addition, with the
// owning node as the kernel's current object. The lines read the event object.
#include <vector>

#include "kernel/nArray.h"
#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicEventHandler.h"

class nLogicFunctionHandler : public nLogicEventHandler {
public:
    nLogicFunctionHandler(nRoot* owner, const char* eventName, nLogicEventRecord* record);

    // No script server is a program error: fatal "Aborting.". A line that destroys the
    // handler ends the run.
    void Fire() override;
    // True with at least one line.
    bool IsBound() const override;
    // Line `index`; an index past the end grows the list with empty lines up to it.
    const char* GetFunction(int index) override;
    void AddFunction(const char* line) override;
    // Removes the first line equal to `line`; the others keep their order.
    void RemoveFunction(const char* line) override;
    // Index of the first line equal to `line` byte for byte, -1 when none.
    int FindFunction(const char* line) const override;
    int GetNumFunctions() const { return lines_.Size(); }

private:
    nArray<nString> lines_;
    // The origin of the text that added each line, in step with lines_.
    std::vector<nScriptServer::Origin> origins_;
    // The lines that data added.
    nDataCharge charge_;
    nPathRef<nScriptServer> scriptServer_;
};
