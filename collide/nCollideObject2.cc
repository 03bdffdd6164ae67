#include "collide/nCollideObject2.h"

#include "collide/nCollideServer2.h"

nCollideObject2::~nCollideObject2() {
    if (nCollideServer2* server = server_.GetUnsafe()) server->ForgetObject(this);
}
