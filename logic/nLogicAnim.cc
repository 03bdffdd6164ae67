#include "logic/nLogicAnim.h"

const nClassInfo nLogicAnim::classInfo = nClassInfo::Make<nLogicAnim>("nlogicanim", "nlogicvisual2");
