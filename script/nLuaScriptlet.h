#pragma once
#include "kernel/nFileServer2.h"
#include "kernel/nPathRef.h"
#include "script/nScriptlet.h"

// A scriptlet of Lua text that can also read its text from a file (script class
// "nluascriptlet", no commands of its own).
class nLuaScriptlet : public nScriptlet {
public:
    static const nClassInfo classInfo;

    nLuaScriptlet();

    // The whole file becomes the text; it is never run here, whatever auto-run says.
    // False (text unchanged) when the file cannot be opened or read.
    bool ParseFile(const char* fileName) override;

private:
    nPathRef<nFileServer2> refFileServer_;
};
