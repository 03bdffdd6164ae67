#include "game/nbwCutTool.h"

const nClassInfo nbwCutTool::classInfo = nClassInfo::Make<nbwCutTool>("nbwcuttool", "nbwitem");
