#include "physics/nPhysikServer.h"

#include "kernel/nCmd.h"
#include "kernel/nKernelServer.h"
#include "physics/nPhysikBody.h"

namespace {

// Commands reach the operations only on a server with a world; on a bare
// nphysikserver they are script errors, not stops.
bool Scriptable(nPhysikServer* self, const char* cmd, const char* op) {
    if (self->HasWorld()) return true;
    n_error("%s: %s: nPhysikServer::%s is not implemented by an nphysikserver (use nodephysikserver)\n",
            self->GetFullName().c_str(), cmd, op);
    return false;
}

const nCmdDef<nPhysikServer> cmds[] = {
    {"v_setgravity_fff", "PSGV",
     [](nPhysikServer* self, nCmd* c) {
         float x = c->In()->GetF(), y = c->In()->GetF(), z = c->In()->GetF();
         if (Scriptable(self, "setgravity", "SetGravity")) self->SetGravity(vector3(x, y, z));
     }},
    {"fff_getgravity_v", "PGGV",
     [](nPhysikServer* self, nCmd* c) {
         vector3 g;
         if (Scriptable(self, "getgravity", "GetGravity")) g = self->GetGravity();
         c->Out()->SetF(g.x);
         c->Out()->SetF(g.y);
         c->Out()->SetF(g.z);
     }},
    {"v_setworlderp_f", "PSWE",
     [](nPhysikServer* self, nCmd* c) {
         float v = c->In()->GetF();
         if (Scriptable(self, "setworlderp", "SetWorldERP")) self->SetWorldERP(v);
     }},
    {"f_getworlderp_v", "PGWE",
     [](nPhysikServer* self, nCmd* c) {
         c->Out()->SetF(Scriptable(self, "getworlderp", "GetWorldERP") ? self->GetWorldERP() : 0.0f);
     }},
    {"v_setworldcfm_f", "PSWC",
     [](nPhysikServer* self, nCmd* c) {
         float v = c->In()->GetF();
         if (Scriptable(self, "setworldcfm", "SetWorldCFM")) self->SetWorldCFM(v);
     }},
    {"f_getworldcfm_v", "PGWC",
     [](nPhysikServer* self, nCmd* c) {
         c->Out()->SetF(Scriptable(self, "getworldcfm", "GetWorldCFM") ? self->GetWorldCFM() : 0.0f);
     }},
};

}  // namespace

const nClassInfo nPhysikServer::classInfo = nClassInfo::Make<nPhysikServer>("nphysikserver", "nroot", cmds);

#define N_PURE(name) nKernelServer::FatalError("nPhysikServer::" name ", pure virtual function call!\n")

nPhysikServer::nPhysikServer() = default;
nPhysikServer::~nPhysikServer() = default;

void nPhysikServer::WorldStep(float) { N_PURE("WorldStep"); }
void nPhysikServer::SetGravity(const vector3&) { N_PURE("SetGravity"); }
vector3 nPhysikServer::GetGravity() { N_PURE("GetGravity"); }
void nPhysikServer::SetWorldERP(float) { N_PURE("SetWorldERP"); }
float nPhysikServer::GetWorldERP() { N_PURE("GetWorldERP"); }
void nPhysikServer::SetWorldCFM(float) { N_PURE("SetWorldCFM"); }
float nPhysikServer::GetWorldCFM() { N_PURE("GetWorldCFM"); }
vector3 nPhysikServer::ImpulseToForce(float, const vector3&) { N_PURE("ImpulseToForce"); }
bool nPhysikServer::AddCollisionJoint(nPhysikBody*, const nCollideReport&) { N_PURE("AddCollisionJoint"); }
bool nPhysikServer::AddCollisionJoint(nPhysikBody*, nPhysikBody*, const nCollideReport&) {
    N_PURE("AddCollisionJoint");
}
nPhysikBody* nPhysikServer::CreateBody() { N_PURE("CreateBody"); }
nPhysikJoint* nPhysikServer::CreateJoint(int) { N_PURE("CreateJoint"); }
nPhysikMass* nPhysikServer::CreateMass(int) { N_PURE("CreateMass"); }

void nPhysikServer::Visualize(nGfxServer* gfx) {
    for (int i = 0; i < numBodies; i++) bodies[i]->Visualize(gfx);
}

bool nPhysikServer::AddBody(nPhysikBody* body) {
    if (!body || numBodies >= MaxBodies) return false;
    bodies[numBodies++] = body;
    return true;
}

void nPhysikServer::ForgetBody(const nPhysikBody* body) {
    int n = 0;
    for (int i = 0; i < numBodies; i++) {
        if (bodies[i] != body) bodies[n++] = bodies[i];
    }
    numBodies = n;
}
