#pragma once
#include "kernel/nArg.h"
#include "kernel/nArray.h"
#include "kernel/nDataCharge.h"
#include "kernel/nScriptServer.h"
#include "kernel/nString.h"

#include <string>
#include <vector>

class nScriptServer;

// A named event that scripts subscribe to by function name. Firing it calls every
// bound function, in binding order, with the event's current arguments.
class nScriptEvent {
public:
    // One argument per type letter: 'b', 'f', 'i', 's'; 'v' adds none. Any other
    // letter is a programming error and stops the program.
    nScriptEvent(const char* name, const char* argLetters);
    virtual ~nScriptEvent() = default;
    nScriptEvent(const nScriptEvent&) = delete;
    nScriptEvent& operator=(const nScriptEvent&) = delete;

    const char* GetName() const { return name_.Get(); }

    int GetNumArgs() const { return args_.Size(); }
    // The argument at `index`; an index past the end grows the list.
    nArg& GetArg(int index) { return args_.At(index); }

    // Binds a script function unless it is bound already.
    void AddFunction(const char* funcName);
    // Unbinds a function; an unknown name changes nothing.
    void RemoveFunction(const char* funcName);
    int GetNumFunctions() const { return functions_.Size(); }
    const char* GetFunction(int index) const;
    // The origin of the text that bound function `index` (data's when there is none).
    nScriptServer::Origin GetOrigin(int index) const {
        return index >= 0 && size_t(index) < origins_.size() ? origins_[size_t(index)] : nScriptServer::Origin::Data;
    }

    // The event's line in an event listing: its name, "_", one letter an argument (d for
    // int and bool, f float, s text, v others) and a line feed, appended to `text`.
    void AppendListing(std::string& text) const;

    // The call text for one bound function: name(arg,arg,...). Texts become quoted
    // script strings with quotes, backslashes and line breaks escaped, so an argument can never
    // end the string early and run as code.
    nString ComposeCall(const char* funcName) const;
    // Runs the call of every bound function through the script server; false when
    // any of them failed (the others still run).
    bool Fire(nScriptServer* server);

private:
    nArray<nArg> args_;
    nArray<nString> functions_;
    // The origin of the text that bound each function, in step with functions_.
    std::vector<nScriptServer::Origin> origins_;
    // The functions that data bound.
    nDataCharge charge_;
    nString name_;
};
