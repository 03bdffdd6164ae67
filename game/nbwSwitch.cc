#include "game/nbwSwitch.h"

#include <cstring>

#include "logic/nLogicEventHandler.h"

static const nCmdDef<nbwSwitch> cmds[] = {
    Bind<&nbwSwitch::OpenDoor>("v_opendoor_v", "OPDO"),
    Bind<&nbwSwitch::CloseDoor>("v_closedoor_v", "CLDO"),
    Bind<&nbwSwitch::SetOpen>("v_setopen_b", "SDOP"),
    Bind<&nbwSwitch::GetOpen>("b_getopen_v", "GDOP"),
};
const nClassInfo nbwSwitch::classInfo = nClassInfo::Make<nbwSwitch>("nbwswitch", "nbwitem", cmds);

nbwSwitch::nbwSwitch() = default;
nbwSwitch::~nbwSwitch() = default;

bool nbwSwitch::Use(nRoot* user) {
    nLogicEventHandler* onUse = GetUseHandler();
    if (onUse && onUse->IsBound()) {
        onUse->Queue();
        return true;
    }
    nbwItem* item = AsItem(user);
    if (item && std::strcmp(item->GetString(Type), "hand") == 0) {
        OpenDoor();
        return false;
    }
    return true;
}
