#include "game/nNetwork.h"

const nClassInfo nNetwork::classInfo = nClassInfo::Make<nNetwork>("nnetwork", "nroot");
