#include "logic/nLogicItem.h"

#include "kernel/nKernelServer.h"
#include "logic/nLogicEventHandler.h"

static const nCmdDef<nLogicItem> cmds[] = {
    Bind<&nLogicItem::UseByPath>("b_use_s", "IUSE"),
};
const nClassInfo nLogicItem::classInfo = nClassInfo::Make<nLogicItem>("nlogicitem", "nlogicphysik2", cmds);

nLogicItem::nLogicItem() {
    useHandler_ = AddHandler("onuse");
}

bool nLogicItem::Use(nRoot* /*user*/) {
    if (!useHandler_ || !useHandler_->IsBound()) return true;
    useHandler_->Queue();
    return false;
}

bool nLogicItem::UseByPath(const char* path) {
    nRoot* user = path && *path ? nKernelServer::ks->Lookup(path) : nullptr;
    return Use(user);
}
