#pragma once
// The root editor (script class "nrootedit"): any object as Lua text, a header with its
// path and class and then the commands it saves; "Ausführen" runs the text with the
// object current and shows its new state; Ctrl+Space lists the object's commands.
#include "tools/nEditPlugin.h"

class nRootEdit : public nEditPlugin {
public:
    static const nClassInfo classInfo;

    nRootEdit() : nEditPlugin("editroot") {}

    // The header and the object's captured commands.
    static std::string ObjectText(nRoot* object);
    // "name(int,string)" per command of the class and its superclasses, space-separated.
    static std::string Commands(nRoot* object);

protected:
    bool Edits(nRoot*) const override { return true; }
    std::string TextOf(nRoot* object) override { return ObjectText(object); }
    void Run(nScriptEditDlg* dialog, nRoot* object) override;
    bool Completes() const override { return true; }
    std::string CompletionList(nRoot* object) override { return Commands(object); }
};
