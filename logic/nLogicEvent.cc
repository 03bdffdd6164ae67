#include "logic/nLogicEvent.h"

const nClassInfo nLogicEvent::classInfo = nClassInfo::Make<nLogicEvent>("nlogicevent", "npersist");
