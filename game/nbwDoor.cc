#include "game/nbwDoor.h"

#include "kernel/nPersistServer.h"

static const nCmdDef<nbwDoor> cmds[] = {
    Bind<&nbwDoor::OpenDoor>("v_opendoor_v", "OPDO"),
    Bind<&nbwDoor::CloseDoor>("v_closedoor_v", "CLDO"),
    Bind<&nbwDoor::SetOpen>("v_setopen_b", "SDOP"),
    Bind<&nbwDoor::GetOpen>("b_getopen_v", "GDOP"),
    Bind<&nbwDoor::SetIllumination>("v_setillumination_f", "SILM"),
    Bind<&nbwDoor::GetIllumination>("f_getillumination_v", "GILM"),
};
const nClassInfo nbwDoor::classInfo = nClassInfo::Make<nbwDoor>("nbwdoor", "nbwitem", cmds);

nbwDoor::nbwDoor() = default;
nbwDoor::~nbwDoor() = default;

bool nbwDoor::SaveCmds(nPersistServer* ps) {
    if (!nbwOpenable::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SILM"), illumination_);
}

void nbwDoor::TakeDamage(nbwItem* tool) {
    const float d = tool->GetFloat(Damage) - GetFloat(Armor);
    if (d > 0.0f) SetFloat(Hitpoints, GetFloat(Hitpoints) - d);
}

bool nbwDoor::Use(nRoot* user) {
    if (!nbwItem::Use(user)) return false;
    nbwItem* tool = AsItem(user);
    if (!tool || !tool->IsA("nbwcuttool")) return true;
    TakeDamage(tool);
    if (GetFloat(Hitpoints) <= 0.0f) OpenDoor();
    SetString(Owner, "none");
    return false;
}
