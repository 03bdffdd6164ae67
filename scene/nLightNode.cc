#include "scene/nLightNode.h"

#include <cstring>

#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {

const char* const typeNames[] = {"ambient", "point", "spot", "directional"};

}  // namespace

const nCmdDef<nLightNode> nLightNode::cmds[] = {
    Bind<&nLightNode::SetType>("v_settype_s", "STYP"),
    Bind<&nLightNode::GetType>("s_gettype_v", "GTYP"),
    Bind<&nLightNode::SetColor>("v_setcolor_ffff", "SCLR"),
    Bind<&nLightNode::SetR>("v_setr_f", "SETR"),
    Bind<&nLightNode::SetG>("v_setg_f", "SETG"),
    Bind<&nLightNode::SetB>("v_setb_f", "SETB"),
    Bind<&nLightNode::SetA>("v_seta_f", "SETA"),
    {"ffff_getcolor_v", "GCLR",
     [](nLightNode* self, nCmd* c) {
         c->Out()->SetF(self->light_.r);
         c->Out()->SetF(self->light_.g);
         c->Out()->SetF(self->light_.b);
         c->Out()->SetF(self->light_.a);
     }},
    Bind<&nLightNode::SetAttenuation>("v_setattenuation_fff", "SATT"),
    {"fff_getattenuation_v", "GATT",
     [](nLightNode* self, nCmd* c) {
         c->Out()->SetF(self->light_.attConst);
         c->Out()->SetF(self->light_.attLinear);
         c->Out()->SetF(self->light_.attQuadratic);
     }},
    Bind<&nLightNode::SetSpot>("v_setspot_ff", "SSPT"),
    {"ff_getspot_v", "GSPT",
     [](nLightNode* self, nCmd* c) {
         c->Out()->SetF(self->light_.spotCone);
         c->Out()->SetF(self->light_.unused);
     }},
    Bind<&nLightNode::SetCastShadows>("v_setcastshadows_b", "SCSH"),
    Bind<&nLightNode::GetCastShadows>("b_getcastshadows_v", "GCSH"),
};

const nClassInfo nLightNode::classInfo = nClassInfo::Make<nLightNode>("nlightnode", "nvisnode", cmds);

void nLightNode::SetType(const char* name) {
    for (int i = 0; i < 4; i++) {
        if (name && std::strcmp(name, typeNames[i]) == 0) {
            light_.type = i;
            return;
        }
    }
    n_error("%s: unknown light type '%s'\n", GetFullName().c_str(), name ? name : "");
}

const char* nLightNode::GetType() const {
    return light_.type >= 0 && light_.type < 4 ? typeNames[light_.type] : "<error>";
}

void nLightNode::SetColor(float r, float g, float b, float a) {
    light_.r = r, light_.g = g, light_.b = b, light_.a = a;
}

void nLightNode::SetAttenuation(float c, float l, float q) {
    light_.attConst = c, light_.attLinear = l, light_.attQuadratic = q;
}

void nLightNode::SetSpot(float cone, float v) {
    light_.spotCone = cone, light_.unused = v;
}

bool nLightNode::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->lightNode = this;
    return true;
}

void nLightNode::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->light = &light_;
}

bool nLightNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    const nLight& l = light_;
    // A type outside 0..3 cannot be set by script; save what reloads rather than "<error>".
    const char* type = light_.type >= 0 && light_.type < 4 ? typeNames[light_.type] : "ambient";
    return ps->Put(this, nId("STYP"), type) && ps->Put(this, nId("SCLR"), l.r, l.g, l.b, l.a) &&
           ps->Put(this, nId("SATT"), l.attConst, l.attLinear, l.attQuadratic) &&
           ps->Put(this, nId("SSPT"), l.spotCone, l.unused) && ps->Put(this, nId("SCSH"), l.castShadows);
}
