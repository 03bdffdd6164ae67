#include "collide/nCollideSetup.h"

#include "collide/nCollideServer2.h"

void nCollideDefaultSetup(nCollideServer2* server) {
    for (const char* ctx : {"physik", "trigger", "damage", "picking"}) server->NewContext(ctx);

    server->BeginCollClasses();
    for (const char* cls : {"triggerzone", "damagezone", "diver", "diverview", "divertrigger", "item", "dokuzone",
                            "static", "force", "startpoint", "view", "dynamic", "staticnodiver", "diveronly", "fish",
                            "boid", "bwitems"}) {
        server->AddCollClass(cls);
    }
    server->EndCollClasses();

    struct Pair {
        const char* a;
        const char* b;
        nCollType type;
    };
    static const Pair pairs[] = {
        {"triggerzone", "divertrigger", COLLTYPE_QUICK}, {"damagezone", "divertrigger", COLLTYPE_QUICK},
        {"startpoint", "divertrigger", COLLTYPE_QUICK},  {"dokuzone", "item", COLLTYPE_QUICK},
        {"dokuzone", "diver", COLLTYPE_QUICK},           {"dokuzone", "boid", COLLTYPE_QUICK},
        {"diverview", "item", COLLTYPE_QUICK},           {"diver", "diver", COLLTYPE_EXACT},
        {"diver", "dynamic", COLLTYPE_EXACT},            {"diver", "diveronly", COLLTYPE_EXACT},
        {"divertrigger", "fish", COLLTYPE_QUICK},        {"static", "diver", COLLTYPE_EXACT},
        {"static", "dynamic", COLLTYPE_EXACT},           {"static", "bwitems", COLLTYPE_EXACT},
        {"force", "diver", COLLTYPE_QUICK},              {"force", "dynamic", COLLTYPE_QUICK},
        {"view", "dynamic", COLLTYPE_CONTACT},           {"view", "diver", COLLTYPE_CONTACT},
        {"dynamic", "dynamic", COLLTYPE_EXACT},          {"dynamic", "staticnodiver", COLLTYPE_EXACT},
        {"boid", "dynamic", COLLTYPE_EXACT},             {"boid", "staticnodiver", COLLTYPE_EXACT},
        {"boid", "static", COLLTYPE_EXACT},              {"boid", "diver", COLLTYPE_EXACT},
    };
    server->BeginCollTypes();
    for (const Pair& p : pairs) server->AddCollType(p.a, p.b, p.type);
    server->EndCollTypes();
}
