#include "game/nbw2Observer.h"

#include "kernel/nCmdDef.h"

static const nCmdDef<nbw2Observer> cmds[] = {
    Bind<&nbwGameObserver::StartLevel>("v_startlevel_s", "LOSL"),
    Bind<&nbwGameObserver::GetLevel>("s_getlevel_v", "LOGL"),
    Bind<&nbwGameObserver::EndLevel>("v_endlevel_v", "LOEL"),
    Bind<&nbwGameObserver::LoadGame>("v_loadgame_s", "LOLG"),
    Bind<&nbwGameObserver::SaveGame>("v_savegame_s", "LOSG"),
    Bind<&nbwGameObserver::GetLastSaveOk>("b_getlastsaveok_v", "LOLO"),
    Bind<&nbwGameObserver::SetRotateCursor>("v_setrotatecursor_b", "LOSR"),
    Bind<&nbwGameObserver::GetGameState>("b_getgamestate_i", "BWIR"),
    Bind<&nbwGameObserver::SetGameStateCmd>("v_setgamestate_ib", "BWGR"),
    Bind<&nbwGameObserver::BindKey>("v_bindkey_ss", "BWBK"),
    Bind<&nbwGameObserver::GetKey>("s_getkey_s", "BWGK"),
    Bind<&nbwGameObserver::RestoreGame>("b_restoregame_v", "LORG"),
    Bind<&nbwGameObserver::GetHudPath>("s_gethud_v", "LOGH"),
    Bind<&nbw2Observer::GetDbgMode>("b_getdbgmode_v", "BWGD"),
    Bind<&nbw2Observer::SetDbgMode>("v_setdbgmode_b", "BWSD"),
};
const nClassInfo nbw2Observer::classInfo =
    nClassInfo::Make<nbw2Observer>("nbw2observer", "nbaseobserver", cmds, nbwGameObserver::DataSafe);
