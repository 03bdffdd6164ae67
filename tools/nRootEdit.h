#pragma once
// The root editor (script class "nrootedit"): any object as Lua text, a header with its
// path and class and then the commands it saves; "Ausführen" runs the text with the
// object current and shows its new state (a failed run keeps the text and shows why);
// Ctrl+Space lists the object's commands.
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
    // A failure keeps the text and shows the error in the window; a good run shows the
    // object's new state.
    void Run(nScriptEditDlg* dialog, nRoot* object) override;
    // The header follows the object's path.
    void Moved(nScriptEditDlg* dialog, nRoot* object, const std::string& from) override;
    bool Completes() const override { return true; }
    std::string CompletionList(nRoot* object) override { return Commands(object); }
};
