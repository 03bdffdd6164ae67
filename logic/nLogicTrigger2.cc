#include "logic/nLogicTrigger2.h"

const nClassInfo nLogicTrigger2::classInfo = nClassInfo::Make<nLogicTrigger2>("nlogictrigger2", "nlogiccollision2");
