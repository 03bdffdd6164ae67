#include "game/nbwObserver.h"

#include "kernel/nCmdDef.h"

static const nCmdDef<nbwObserver> cmds[] = {
    Bind<&nbwGameObserver::StartLevel>("v_startlevel_s", "LOSL"),
    Bind<&nbwGameObserver::GetLevel>("s_getlevel_v", "LOGL"),
    Bind<&nbwGameObserver::EndLevel>("v_endlevel_v", "LOEL"),
    Bind<&nbwGameObserver::LoadGame>("v_loadgame_s", "LOLG"),
    Bind<&nbwGameObserver::SaveGame>("v_savegame_s", "LOSG"),
    Bind<&nbwGameObserver::GetLastSaveOk>("b_getlastsaveok_v", "LOLO"),
    Bind<&nbwGameObserver::SetRotateCursor>("v_setrotatecursor_b", "LOSR"),
    Bind<&nbwGameObserver::GetGameState>("b_getgamestate_i", "BWIR"),
    Bind<&nbwGameObserver::SetGameState>("v_setgamestate_ib", "BWGR"),
};
// Open to data's text: the reads of the game's state, and what the main menu's line runs
// (a new game ends the level and starts level 1; "Spiel laden" loads the quick save and
// starts its level; both set the game state as the menu closes).
static const char* const dataSafe[] = {
    "getlevel", "getlastsaveok", "getgamestate", "startlevel", "endlevel", "loadgame", "setgamestate",
};
const nClassInfo nbwObserver::classInfo =
    nClassInfo::Make<nbwObserver>("nbwobserver", "nbaseobserver", cmds, dataSafe);
