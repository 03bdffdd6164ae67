#include "game/nbwSandRemover.h"

#include "kernel/nPersistServer.h"

static const nCmdDef<nbwSandRemover> cmds[] = {
    Bind<&nbwSandRemover::GetSweepPower>("f_getsweeppower_v", "GSPO"),
    Bind<&nbwSandRemover::SetSweepPower>("v_setsweeppower_f", "SSPO"),
};
const nClassInfo nbwSandRemover::classInfo = nClassInfo::Make<nbwSandRemover>("nbwsandremover", "nbwitem", cmds);

bool nbwSandRemover::SaveCmds(nPersistServer* ps) {
    return nbwItem::SaveCmds(ps) && ps->Put(this, nId("SSPO"), sweepPower_);
}
