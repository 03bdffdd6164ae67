#include "game/nbwRescue.h"

const nClassInfo nbwRescue::classInfo = nClassInfo::Make<nbwRescue>("nbwrescue", "nbwitem");
