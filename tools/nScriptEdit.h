#pragma once
// The script editor (script class "nscriptedit"): a scriptlet's script text, shown and
// stored back as it is; "Ausführen" gives the scriptlet the text (which runs it when
// its autorun is on).
#include "tools/nEditPlugin.h"

class nScriptEdit : public nEditPlugin {
public:
    static const nClassInfo classInfo;

    nScriptEdit() : nEditPlugin("editscript") {}

protected:
    bool Edits(nRoot* object) const override { return object->IsA("nscriptlet"); }
    std::string TextOf(nRoot* object) override;
    void Run(nScriptEditDlg* dialog, nRoot* object) override;
};
