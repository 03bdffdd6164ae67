#include "logic/nLogicIntruder.h"

#include "logic/nLogicNode.h"

nLogicIntruder::nLogicIntruder(nLogicNode* node, int state) : node_(node), state_(state) {}

nLogicIntruder::~nLogicIntruder() {
    state_ = None;
    node_.Invalidate();
}
