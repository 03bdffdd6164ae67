#include "logic/nModPhysik.h"

#include "kernel/nPersistServer.h"
#include "physics/nPhysikMass.h"
#include "physics/nPhysikServer.h"

static const nCmdDef<nModPhysik> cmds[] = {
    {"v_setweight_f", "PSWG", [](nModPhysik*, nCmd* c) { c->In()->GetF(); }},
    Bind<&nModPhysik::SetDensity>("v_setdensity_f", "PSDE"),
    Bind<&nModPhysik::GetTypeName>("s_gettype_v", "PGTY"),
    Bind<&nModPhysik::SetSphere>("v_setsphere_f", "PSSP"),
    Bind<&nModPhysik::GetSphere>("f_getsphere_v", "PGSP"),
    Bind<&nModPhysik::SetBox>("v_setbox_fff", "PSBX"),
    {"fff_getbox_v", "PGBX",
     [](nModPhysik* self, nCmd* c) {
         vector3 b = self->GetBox();
         c->Out()->SetF(b.x);
         c->Out()->SetF(b.y);
         c->Out()->SetF(b.z);
     }},
    Bind<&nModPhysik::SetCylinder>("v_setcylinder_ff", "PSCY"),
    {"ff_getcylinder_v", "PGCY",
     [](nModPhysik* self, nCmd* c) {
         float r = 0.0f, l = 0.0f;
         self->GetCylinder(r, l);
         c->Out()->SetF(r);
         c->Out()->SetF(l);
     }},
};
const nClassInfo nModPhysik::classInfo = nClassInfo::Make<nModPhysik>("nmodphysik", "nmodtransformer", cmds);

nModPhysik::nModPhysik() = default;

nModPhysik::~nModPhysik() {
    delete mass_;
}

void nModPhysik::SetScale(const vector3& s) {
    if (s.x != 1.0f || s.y != 1.0f || s.z != 1.0f) {
        n_error("%s: a physics module cannot be scaled (%g %g %g)\n", GetFullName().c_str(), s.x, s.y, s.z);
        return;
    }
    nModTransformer::SetScale(s);
}

nPhysikMass* nModPhysik::MassOfKind(int kind) {
    if (mass_ && mass_->GetType() != kind) {
        delete mass_;
        mass_ = nullptr;
    }
    if (!mass_) mass_ = refPhysikServer_.Get()->CreateMass(kind);
    return mass_;
}

nPhysikMass* nModPhysik::Mass(const char* what) {
    if (!mass_) n_error("%s: %s: the module has no mass yet\n", GetFullName().c_str(), what);
    return mass_;
}

void nModPhysik::SetSphere(float radius) {
    MassOfKind(nPhysikMass::SPHERE)->SetRadius(radius);
}

void nModPhysik::SetBox(float x, float y, float z) {
    MassOfKind(nPhysikMass::BOX)->SetBox(vector3(x, y, z));
}

void nModPhysik::SetCylinder(float radius, float length) {
    const float rl[2] = {radius, length};
    MassOfKind(nPhysikMass::CYLINDER)->SetCylinder(rl);
}

void nModPhysik::SetDensity(float d) {
    if (nPhysikMass* m = Mass("v_setdensity_f")) m->SetDensity(d);
}

const char* nModPhysik::GetTypeName() {
    nPhysikMass* m = Mass("s_gettype_v");
    if (!m) return "";
    switch (m->GetType()) {
    case nPhysikMass::SPHERE: return "sphere";
    case nPhysikMass::BOX: return "box";
    case nPhysikMass::CYLINDER: return "cylinder";
    default: nKernelServer::FatalError("Aborting, unknown mass type!\n");
    }
}

float nModPhysik::GetSphere() {
    nPhysikMass* m = Mass("f_getsphere_v");
    return m ? m->GetRadius() : 0.0f;
}

vector3 nModPhysik::GetBox() {
    nPhysikMass* m = Mass("fff_getbox_v");
    return m ? m->GetBox() : vector3();
}

void nModPhysik::GetCylinder(float& radius, float& length) {
    nPhysikMass* m = Mass("ff_getcylinder_v");
    radius = length = 0.0f;
    if (!m) return;
    const float* rl = m->GetCylinder();
    radius = rl[0];
    length = rl[1];
}

bool nModPhysik::SaveCmds(nPersistServer* ps) {
    if (!nModTransformer::SaveCmds(ps)) return false;
    if (!mass_) return true;
    bool ok;
    switch (mass_->GetType()) {
    case nPhysikMass::SPHERE: ok = ps->Put(this, nId("PSSP"), mass_->GetRadius()); break;
    case nPhysikMass::BOX: {
        const vector3& b = mass_->GetBox();
        ok = ps->Put(this, nId("PSBX"), b.x, b.y, b.z);
        break;
    }
    case nPhysikMass::CYLINDER: {
        const float* rl = mass_->GetCylinder();
        ok = ps->Put(this, nId("PSCY"), rl[0], rl[1]);
        break;
    }
    default: nKernelServer::FatalError("nModPhysik::SaveCmds, unknown mass type!\n");
    }
    return ok && ps->Put(this, nId("PSDE"), mass_->GetDensity());
}
