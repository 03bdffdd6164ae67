#include "scene/nShaderNode.h"

#include <cstring>

#include "gfx/nGfxServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nSceneGraph2.h"

namespace {

using Desc = nPixelShaderDesc;

struct StateEntry {
    const char* name;
    int code;
};

// Scripts may hand any name to any command: the table is not split by kind.
const StateEntry stateTable[] = {
    {"nearest", Desc::NEAREST},
    {"linear", Desc::LINEAR},
    {"nearest_mipmap_nearest", Desc::NEAREST_MIPMAP_NEAREST},
    {"linear_mipmap_nearest", Desc::LINEAR_MIPMAP_NEAREST},
    {"nearest_mipmap_linear", Desc::NEAREST_MIPMAP_LINEAR},
    {"linear_mipmap_linear", Desc::LINEAR_MIPMAP_LINEAR},
    {"zero", Desc::ZERO},
    {"one", Desc::ONE_},
    {"srccolor", Desc::SRCCOLOR},
    {"invsrccolor", Desc::INVSRCCOLOR},
    {"srcalpha", Desc::SRCALPHA},
    {"invsrcalpha", Desc::INVSRCALPHA},
    {"destalpha", Desc::DESTALPHA},
    {"invdestalpha", Desc::INVDESTALPHA},
    {"destcolor", Desc::DESTCOLOR},
    {"invdestcolor", Desc::INVDESTCOLOR},
    {"wrap", Desc::WRAP},
    {"clamp", Desc::CLAMP},
    {"never", Desc::NEVER},
    {"less", Desc::LESS},
    {"equal", Desc::EQUAL},
    {"lessequal", Desc::LESSEQUAL},
    {"greater", Desc::GREATER},
    {"notequal", Desc::NOTEQUAL},
    {"greaterequal", Desc::GREATEREQUAL},
    {"always", Desc::ALWAYS},
    {"none", Desc::CULL_NONE},
    {"cw", Desc::CULL_CW},
    {"ccw", Desc::CULL_CCW},
    {"material", Desc::CM_MATERIAL},
    {"diffuse", Desc::CM_DIFFUSE},
    {"emissive", Desc::CM_EMISSIVE},
    {"ambient", Desc::CM_AMBIENT},
    {"uv0", Desc::UV0},
    {"uv1", Desc::UV1},
    {"uv2", Desc::UV2},
    {"uv3", Desc::UV3},
    {"objectspace", Desc::OBJECTSPACE},
    {"eyespace", Desc::EYESPACE},
    {"spheremap", Desc::SPHEREMAP},
};

// Operations in code order, with the number of arguments each takes.
const char* const opNames[] = {"nop", "replace", "mul", "add", "adds", "ipol"};
const int opArgs[] = {0, 1, 2, 2, 2, 3};
const char* const argNames[] = {"noarg", "tex", "prev", "const", "prim"};

constexpr float DegToRad = 3.1415927f / 180.0f;

// The operation of a token: the first of these it contains ("adds" before "add").
uint32_t opOfToken(const char* token) {
    static const struct {
        const char* text;
        uint32_t op;
    } order[] = {{"nop", Desc::NOP},   {"mul", Desc::MUL}, {"replace", Desc::REPLACE},
                 {"adds", Desc::ADDS}, {"add", Desc::ADD}, {"ipol", Desc::IPOL}};
    for (const auto& o : order) {
        if (std::strstr(token, o.text)) return o.op;
    }
    return Desc::NOP;
}

// The argument code of a token; 0 when it names no source.
uint32_t argOfToken(const char* token) {
    static const char* const sources[] = {"tex", "prev", "const", "prim"};
    uint32_t arg = 0;
    for (uint32_t i = 0; i < 4 && !arg; i++) {
        if (std::strstr(token, sources[i])) arg = i + 1;
    }
    if (!arg) return 0;
    if (token[0] == '-') arg |= Desc::INV;
    if (std::strstr(token, ".a")) arg |= Desc::ALPHA;
    else if (std::strstr(token, ".c")) arg |= Desc::COLOR;
    return arg;
}

}  // namespace

const nCmdDef<nShaderNode> nShaderNode::cmds[] = {
    Bind<&nShaderNode::SetRenderPri>("v_setrenderpri_i", "SRPR"),
    Bind<&nShaderNode::GetRenderPri>("i_getrenderpri_v", "GRPR"),
    Bind<&nShaderNode::SetNumStages>("v_setnumstages_i", "SNST"),
    Bind<&nShaderNode::GetNumStages>("i_getnumstages_v", "GNST"),
    Bind<&nShaderNode::SetColorOp>("b_setcolorop_is", "SPOP"),
    Bind<&nShaderNode::SetAlphaOp>("b_setalphaop_is", "SAOP"),
    Bind<&nShaderNode::GetColorOp>("s_getcolorop_i", "GPOP"),
    Bind<&nShaderNode::GetAlphaOp>("s_getalphaop_i", "GAOP"),
    {"v_setconst_iffff", "SCOT",
     [](nShaderNode* self, nCmd* c) {
         c->In()->GetI();  // every stage shares the one constant
         float r = c->In()->GetF(), g = c->In()->GetF(), b = c->In()->GetF(), a = c->In()->GetF();
         self->SetConst(r, g, b, a);
     }},
    {"ffff_getconst_i", "GCOT",
     [](nShaderNode* self, nCmd* c) {
         c->In()->GetI();
         for (float v : self->desc_.constColor) c->Out()->SetF(v);
     }},
    Bind<&nShaderNode::SetConst>("v_setconst0_ffff", "SCT0"),
    Bind<&nShaderNode::SetConst>("v_setconst1_ffff", "SCT1"),
    Bind<&nShaderNode::SetConst>("v_setconst2_ffff", "SCT2"),
    Bind<&nShaderNode::SetConst>("v_setconst3_ffff", "SCT3"),

    Bind<&nShaderNode::BeginTUnit>("v_begintunit_i", "BGTU"),
    {"v_endtunit_v", "EDTU", [](nShaderNode*, nCmd*) {}},
    Bind<&nShaderNode::SetAddress>("v_setaddress_ss", "SADR"),
    {"ss_getaddress_i", "GADR",
     [](nShaderNode* self, nCmd* c) {
         const Desc::Stage* st = self->unit(c->In()->GetI(), "getaddress");
         c->Out()->SetS(self->name(st ? st->addressU : Desc::CLAMP));
         c->Out()->SetS(self->name(st ? st->addressV : Desc::CLAMP));
     }},
    Bind<&nShaderNode::SetMinMagFilter>("v_setminmagfilter_ss", "SMMF"),
    {"ss_getminmagfilter_i", "GMMF",
     [](nShaderNode* self, nCmd* c) {
         const Desc::Stage* st = self->unit(c->In()->GetI(), "getminmagfilter");
         c->Out()->SetS(self->name(st ? st->minFilter : Desc::LINEAR));
         c->Out()->SetS(self->name(st ? st->magFilter : Desc::LINEAR));
     }},
    Bind<&nShaderNode::SetTexCoordSrc>("v_settexcoordsrc_s", "STCS"),
    {"s_gettexcoordsrc_i", "GTCS",
     [](nShaderNode* self, nCmd* c) {
         const Desc::Stage* st = self->unit(c->In()->GetI(), "gettexcoordsrc");
         c->Out()->SetS(self->name(st ? st->texCoordSrc : Desc::UV0));
     }},
    Bind<&nShaderNode::SetEnableTransform>("v_setenabletransform_b", "SENT"),
    {"b_getenabletransform_i", "GENT",
     [](nShaderNode* self, nCmd* c) {
         const Desc::Stage* st = self->unit(c->In()->GetI(), "getenabletransform");
         c->Out()->SetB(st && st->enableTransform);
     }},
#define BW_UNIT_XYZ(proto, id, fn, unitExpr)                                            \
    {proto, id, [](nShaderNode* self, nCmd* c) {                                        \
         float x = c->In()->GetF(), y = c->In()->GetF(), z = c->In()->GetF();          \
         self->fn(unitExpr, x, y, z);                                                   \
     }}
    BW_UNIT_XYZ("v_txyz_fff", "TXYZ", SetTranslate, self->curUnit_),
    BW_UNIT_XYZ("v_rxyz_fff", "RXYZ", SetRotate, self->curUnit_),
    BW_UNIT_XYZ("v_sxyz_fff", "SXYZ", SetScale, self->curUnit_),
#define BW_GET_XYZ(proto, id, field)                                                    \
    {proto, id, [](nShaderNode* self, nCmd* c) {                                        \
         const Desc::Stage* st = self->unit(c->In()->GetI(), proto);                   \
         const vector3 v = st ? st->field : vector3(0.0f, 0.0f, 0.0f);                 \
         c->Out()->SetF(v.x);                                                           \
         c->Out()->SetF(v.y);                                                           \
         c->Out()->SetF(v.z);                                                           \
     }}
    BW_GET_XYZ("fff_gett_i", "GETT", translate),
    BW_GET_XYZ("fff_getr_i", "GETR", rotate),
    BW_GET_XYZ("fff_gets_i", "GETS", scale),
    BW_UNIT_XYZ("v_txyz0_fff", "TXZ0", SetTranslate, 0),
    BW_UNIT_XYZ("v_txyz1_fff", "TXZ1", SetTranslate, 1),
    BW_UNIT_XYZ("v_txyz2_fff", "TXZ2", SetTranslate, 2),
    BW_UNIT_XYZ("v_txyz3_fff", "TXZ3", SetTranslate, 3),
    BW_UNIT_XYZ("v_rxyz0_fff", "RXZ0", SetRotate, 0),
    BW_UNIT_XYZ("v_rxyz1_fff", "RXZ1", SetRotate, 1),
    BW_UNIT_XYZ("v_rxyz2_fff", "RXZ2", SetRotate, 2),
    BW_UNIT_XYZ("v_rxyz3_fff", "RXZ3", SetRotate, 3),
    BW_UNIT_XYZ("v_sxyz0_fff", "SXZ0", SetScale, 0),
    BW_UNIT_XYZ("v_sxyz1_fff", "SXZ1", SetScale, 1),
    BW_UNIT_XYZ("v_sxyz2_fff", "SXZ2", SetScale, 2),
    BW_UNIT_XYZ("v_sxyz3_fff", "SXZ3", SetScale, 3),
#undef BW_UNIT_XYZ
#undef BW_GET_XYZ
    Bind<&nShaderNode::SetMipLodBias>("v_setmiplodbias_i", "SMLB"),
    {"i_getmiplodbias_v", "GMLB", [](nShaderNode* self, nCmd* c) { c->Out()->SetI(self->mipLodBias_); }},

#define BW_GET_COLOR(proto, id, field)                                                  \
    {proto, id, [](nShaderNode* self, nCmd* c) {                                        \
         for (float v : self->desc_.field) c->Out()->SetF(v);                           \
     }}
    Bind<&nShaderNode::SetDiffuse>("v_setdiffuse_ffff", "SDIF"),
    Bind<&nShaderNode::SetEmissive>("v_setemissive_ffff", "SEMV"),
    Bind<&nShaderNode::SetAmbient>("v_setambient_ffff", "SAMB"),
    BW_GET_COLOR("ffff_getdiffuse_v", "GDIF", diffuse),
    BW_GET_COLOR("ffff_getemissive_v", "GEMV", emissive),
    BW_GET_COLOR("ffff_getambient_v", "GAMB", ambient),
#undef BW_GET_COLOR
    {"v_setemissiver_f", "SEMR", [](nShaderNode* self, nCmd* c) { self->SetEmissiveComponent(0, c->In()->GetF()); }},
    {"v_setemissiveg_f", "SEMG", [](nShaderNode* self, nCmd* c) { self->SetEmissiveComponent(1, c->In()->GetF()); }},
    {"v_setemissiveb_f", "SEMB", [](nShaderNode* self, nCmd* c) { self->SetEmissiveComponent(2, c->In()->GetF()); }},
    {"v_setemissivea_f", "SEMA", [](nShaderNode* self, nCmd* c) { self->SetEmissiveComponent(3, c->In()->GetF()); }},

    Bind<&nShaderNode::SetLightEnable>("v_setlightenable_b", "SLEN"),
    Bind<&nShaderNode::SetAlphaEnable>("v_setalphaenable_b", "SAEN"),
    Bind<&nShaderNode::SetZWriteEnable>("v_setzwriteenable_b", "SZEN"),
    Bind<&nShaderNode::SetFogEnable>("v_setfogenable_b", "SFEN"),
    Bind<&nShaderNode::SetAlphaTestEnable>("v_setalphatestenable_b", "SATE"),
    {"b_getlightenable_v", "GLEN", [](nShaderNode* self, nCmd* c) { c->Out()->SetB(self->desc_.lightEnable); }},
    {"b_getalphaenable_v", "GAEN", [](nShaderNode* self, nCmd* c) { c->Out()->SetB(self->desc_.alphaEnable); }},
    {"b_getzwriteenable_v", "GZEN", [](nShaderNode* self, nCmd* c) { c->Out()->SetB(self->desc_.zwriteEnable); }},
    {"b_getfogenable_v", "GFEN", [](nShaderNode* self, nCmd* c) { c->Out()->SetB(self->desc_.fogEnable); }},
    {"b_getalphatestenable_v", "GATE",
     [](nShaderNode* self, nCmd* c) { c->Out()->SetB(self->desc_.alphaTestEnable); }},
    Bind<&nShaderNode::SetAlphaBlend>("v_setalphablend_ss", "SABL"),
    {"ss_getalphablend_v", "GABL",
     [](nShaderNode* self, nCmd* c) {
         c->Out()->SetS(self->name(self->desc_.srcBlend));
         c->Out()->SetS(self->name(self->desc_.destBlend));
     }},
    Bind<&nShaderNode::SetZFunc>("v_setzfunc_s", "SZFC"),
    Bind<&nShaderNode::SetCullMode>("v_setcullmode_s", "SCMD"),
    Bind<&nShaderNode::SetColorMaterial>("v_setcolormaterial_s", "SCOM"),
    Bind<&nShaderNode::SetAlphaFunc>("v_setalphafunc_s", "SAFC"),
    {"s_getzfunc_v", "GZFC", [](nShaderNode* self, nCmd* c) { c->Out()->SetS(self->name(self->desc_.zFunc)); }},
    {"s_getcullmode_v", "GCMD", [](nShaderNode* self, nCmd* c) { c->Out()->SetS(self->name(self->desc_.cullMode)); }},
    {"s_getcolormaterial_v", "GCLM",
     [](nShaderNode* self, nCmd* c) { c->Out()->SetS(self->name(self->desc_.colorMaterial)); }},
    {"s_getalphafunc_v", "GAFC",
     [](nShaderNode* self, nCmd* c) { c->Out()->SetS(self->name(self->desc_.alphaFunc)); }},
    Bind<&nShaderNode::SetAlphaRef>("v_setalpharef_f", "SARF"),
    {"f_getalpharef_v", "GARF", [](nShaderNode* self, nCmd* c) { c->Out()->SetF(self->desc_.alphaRef); }},
    // Kept so that old scripts run; the fixed pipeline here draws solid only.
    {"v_setwireframe_b", "SWIR", [](nShaderNode*, nCmd* c) { c->In()->GetB(); }},
};

const nClassInfo nShaderNode::classInfo = nClassInfo::Make<nShaderNode>("nshadernode", "nvisnode", cmds);

nShaderNode::nShaderNode() = default;

nShaderNode::~nShaderNode() {
    if (nPixelShader* ps = refPixelShader_.GetUnsafe()) {
        refPixelShader_.Invalidate();
        ps->Release();
    }
}

// ---- names and operation texts ----

int nShaderNode::StateCode(const char* text) {
    if (!text) return -1;
    for (const StateEntry& e : stateTable) {
        if (std::strcmp(e.name, text) == 0) return e.code;
    }
    return -1;
}

const char* nShaderNode::StateName(int code) {
    for (const StateEntry& e : stateTable) {
        if (e.code == code) return e.name;
    }
    return nullptr;
}

bool nShaderNode::ParseOp(const char* text, bool alpha, Desc::StageOp& out) {
    // Texts are at most 31 characters; longer ones are cut.
    char buf[32];
    std::strncpy(buf, text ? text : "", sizeof(buf) - 1);
    buf[sizeof(buf) - 1] = 0;
    const char* tokens[5] = {};
    int n = 0;
    for (char* save = nullptr, *t = strtok_r(buf, " ", &save); t && n < 5; t = strtok_r(nullptr, " ", &save)) {
        tokens[n++] = t;
    }
    Desc::StageOp op;
    if (n > 0) op.op = opOfToken(tokens[0]);
    if (op.op == Desc::NOP) {
        // No operation: the alpha channel then follows the colour; colour needs one.
        if (!alpha) return false;
        out = op;
        return true;
    }
    const char* scale = tokens[0];
    op.scale = std::strstr(scale, ".1") ? Desc::ONE : std::strstr(scale, ".2") ? Desc::TWO
             : std::strstr(scale, ".4") ? Desc::FOUR : Desc::ONE;
    uint32_t* args[3] = {&op.arg0, &op.arg1, &op.arg2};
    for (int i = 0; i < opArgs[op.op]; i++) {
        if (i + 1 >= n) return false;
        *args[i] = argOfToken(tokens[i + 1]);
        if (!*args[i]) return false;
    }
    out = op;
    return true;
}

std::string nShaderNode::PrintOp(const Desc::StageOp& op) {
    std::string s = op.op < 6 ? opNames[op.op] : "nop";
    if (op.scale == Desc::TWO) s += ".2";
    else if (op.scale == Desc::FOUR) s += ".4";
    for (uint32_t arg : {op.arg0, op.arg1, op.arg2}) {
        if (!arg) continue;
        s += ' ';
        if (arg & Desc::INV) s += '-';
        const uint32_t src = arg & Desc::SRCMASK;
        s += argNames[src <= 4 ? src : 0];
        if (arg & Desc::COLOR) s += ".c";
        else if (arg & Desc::ALPHA) s += ".a";
    }
    if (s.size() > 31) s.resize(31);
    return s;
}

const char* nShaderNode::name(int code) const {
    if (const char* n = StateName(code)) return n;
    n_error("%s: state code %d has no name\n", GetFullName().c_str(), code);
    return "<error>";
}

bool nShaderNode::lookup(const char* text, int& code) const {
    code = StateCode(text);
    if (code >= 0) return true;
    n_error("%s: unknown state name '%s'\n", GetFullName().c_str(), text ? text : "");
    return false;
}

// ---- setters ----

void nShaderNode::setCode(int& field, const char* text) {
    int code;
    if (!lookup(text, code)) return;
    field = code;
    desc_.renderStatesChanged = true;
}

void nShaderNode::setSwitch(bool& field, bool on) {
    field = on;
    desc_.renderStatesChanged = true;
}

void nShaderNode::SetNumStages(int n) {
    if (n < 0 || n > MaxStages) {
        n_error("%s: setnumstages %d: at most %d stages\n", GetFullName().c_str(), n, MaxStages);
        return;
    }
    desc_.numStages = n;
    desc_.renderStatesChanged = true;
}

bool nShaderNode::validUnit(int index, const char* what) const {
    if (index >= 0 && index < MaxStages) return true;
    n_error("%s: %s: stage %d is not 0..3\n", GetFullName().c_str(), what, index);
    return false;
}

Desc::Stage* nShaderNode::unit(int index, const char* what) {
    return validUnit(index, what) ? &desc_.stages[index] : nullptr;
}

bool nShaderNode::setOp(int stage, const char* text, bool alpha) {
    if (!validUnit(stage, alpha ? "setalphaop" : "setcolorop")) return false;
    Desc::StageOp op;
    if (!ParseOp(text, alpha, op)) {
        n_error("%s: bad %s operation '%s' for stage %d\n", GetFullName().c_str(), alpha ? "alpha" : "colour",
                text ? text : "", stage);
        return false;
    }
    (alpha ? desc_.alphaOp : desc_.colorOp)[stage] = op;
    desc_.renderStatesChanged = true;
    return true;
}

bool nShaderNode::SetColorOp(int stage, const char* text) { return setOp(stage, text, false); }
bool nShaderNode::SetAlphaOp(int stage, const char* text) { return setOp(stage, text, true); }

std::string nShaderNode::GetColorOp(int stage) const {
    return validUnit(stage, "getcolorop") ? PrintOp(desc_.colorOp[stage]) : "nop";
}

std::string nShaderNode::GetAlphaOp(int stage) const {
    return validUnit(stage, "getalphaop") ? PrintOp(desc_.alphaOp[stage]) : "nop";
}

void nShaderNode::SetConst(float r, float g, float b, float a) {
    float* c = desc_.constColor;
    c[0] = r, c[1] = g, c[2] = b, c[3] = a;
    desc_.constColorChanged = true;
}

void nShaderNode::BeginTUnit(int index) {
    if (validUnit(index, "begintunit")) curUnit_ = index;
}

void nShaderNode::SetAddress(const char* u, const char* v) {
    int cu, cv;
    Desc::Stage* st = unit(curUnit_, "setaddress");
    if (!st || !lookup(u, cu) || !lookup(v, cv)) return;
    st->addressU = cu, st->addressV = cv;
    desc_.renderStatesChanged = true;
}

void nShaderNode::SetMinMagFilter(const char* min, const char* mag) {
    int cmin, cmag;
    Desc::Stage* st = unit(curUnit_, "setminmagfilter");
    if (!st || !lookup(min, cmin) || !lookup(mag, cmag)) return;
    st->minFilter = cmin, st->magFilter = cmag;
    desc_.renderStatesChanged = true;
}

void nShaderNode::SetTexCoordSrc(const char* src) {
    if (Desc::Stage* st = unit(curUnit_, "settexcoordsrc")) setCode(st->texCoordSrc, src);
}

void nShaderNode::SetEnableTransform(bool on) {
    if (Desc::Stage* st = unit(curUnit_, "setenabletransform")) setSwitch(st->enableTransform, on);
}

void nShaderNode::SetTranslate(int index, float x, float y, float z) {
    Desc::Stage* st = unit(index, "txyz");
    if (!st) return;
    st->translate.set(x, y, z);
    st->matrixChanged = desc_.transformChanged = true;
}

void nShaderNode::SetRotate(int index, float x, float y, float z) {
    Desc::Stage* st = unit(index, "rxyz");
    if (!st) return;
    st->rotate.set(x * DegToRad, y * DegToRad, z * DegToRad);
    st->matrixChanged = desc_.transformChanged = true;
}

void nShaderNode::SetScale(int index, float x, float y, float z) {
    Desc::Stage* st = unit(index, "sxyz");
    if (!st) return;
    st->scale.set(x, y, z);
    st->matrixChanged = desc_.transformChanged = true;
}

void nShaderNode::SetDiffuse(float r, float g, float b, float a) {
    float* c = desc_.diffuse;
    c[0] = r, c[1] = g, c[2] = b, c[3] = a;
    desc_.materialChanged = true;
}

void nShaderNode::SetEmissive(float r, float g, float b, float a) {
    float* c = desc_.emissive;
    c[0] = r, c[1] = g, c[2] = b, c[3] = a;
    desc_.materialChanged = true;
}

void nShaderNode::SetAmbient(float r, float g, float b, float a) {
    float* c = desc_.ambient;
    c[0] = r, c[1] = g, c[2] = b, c[3] = a;
    desc_.materialChanged = true;
}

void nShaderNode::SetEmissiveComponent(int i, float v) {
    desc_.emissive[i & 3] = v;
    desc_.materialChanged = true;
}

void nShaderNode::SetAlphaBlend(const char* src, const char* dest) {
    int cs, cd;
    if (!lookup(src, cs) || !lookup(dest, cd)) return;
    desc_.srcBlend = cs, desc_.destBlend = cd;
    desc_.renderStatesChanged = true;
}

void nShaderNode::SetAlphaRef(float ref) {
    desc_.alphaRef = ref;
    desc_.renderStatesChanged = true;
}

// ---- scene graph ----

void nShaderNode::makePixelShader() {
    if (refPixelShader_.IsValid() || shaderFailed_) return;
    nGfxServer* gfx = refGfx.Get();
    nPixelShader* ps = gfx ? gfx->NewPixelShader(nullptr) : nullptr;
    if (!ps) {
        // Logged once: the node then draws with the device's current state.
        shaderFailed_ = true;
        n_error("%s: the graphics server makes no pixel shader\n", GetFullName().c_str());
        return;
    }
    refPixelShader_.Set(ps);
    ps->SetShaderDesc(&desc_);
    desc_.SetAllChanged();
}

nPixelShader* nShaderNode::GetPixelShader() {
    makePixelShader();
    return refPixelShader_.GetUnsafe();
}

bool nShaderNode::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return true;
    rec->shaderNode = this;
    rec->shaderPriority = int16_t(renderPri_);
    if (desc_.alphaEnable) rec->flags &= uint8_t(~nSceneNodeRecord::Opaque);
    else rec->flags |= nSceneNodeRecord::Opaque;
    return true;
}

void nShaderNode::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nPixelShader* ps = GetPixelShader();
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->pixelShader = ps;
}

void nShaderNode::Preload() {
    makePixelShader();
    nVisNode::Preload();
}

bool nShaderNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    const Desc& d = desc_;
    bool ok = ps->Put(this, nId("SRPR"), renderPri_) && ps->Put(this, nId("SNST"), d.numStages);
    for (int i = 0; ok && i < d.numStages; i++) {
        ok = ps->Put(this, nId("SPOP"), i, PrintOp(d.colorOp[i]).c_str()) &&
             ps->Put(this, nId("SAOP"), i, PrintOp(d.alphaOp[i]).c_str());
    }
    const float* k = d.constColor;
    for (int i = 0; ok && i < d.numStages; i++) ok = ps->Put(this, nId("SCOT"), i, k[0], k[1], k[2], k[3]);
    for (int i = 0; ok && i < d.numStages; i++) {
        const Desc::Stage& st = d.stages[i];
        const vector3 deg = st.rotate * (1.0f / DegToRad);
        ok = ps->Put(this, nId("BGTU"), i) && ps->Put(this, nId("SADR"), name(st.addressU), name(st.addressV)) &&
             ps->Put(this, nId("SMMF"), name(st.minFilter), name(st.magFilter)) &&
             ps->Put(this, nId("STCS"), name(st.texCoordSrc)) && ps->Put(this, nId("SENT"), st.enableTransform) &&
             ps->Put(this, nId("TXYZ"), st.translate.x, st.translate.y, st.translate.z) &&
             ps->Put(this, nId("RXYZ"), deg.x, deg.y, deg.z) &&
             ps->Put(this, nId("SXYZ"), st.scale.x, st.scale.y, st.scale.z) && ps->Put(this, nId("EDTU"));
    }
    const float *df = d.diffuse, *em = d.emissive, *am = d.ambient;
    return ok && ps->Put(this, nId("SDIF"), df[0], df[1], df[2], df[3]) &&
           ps->Put(this, nId("SEMV"), em[0], em[1], em[2], em[3]) &&
           ps->Put(this, nId("SAMB"), am[0], am[1], am[2], am[3]) && ps->Put(this, nId("SLEN"), d.lightEnable) &&
           ps->Put(this, nId("SAEN"), d.alphaEnable) && ps->Put(this, nId("SZEN"), d.zwriteEnable) &&
           ps->Put(this, nId("SFEN"), d.fogEnable) &&
           ps->Put(this, nId("SABL"), name(d.srcBlend), name(d.destBlend)) &&
           ps->Put(this, nId("SZFC"), name(d.zFunc)) && ps->Put(this, nId("SCMD"), name(d.cullMode)) &&
           ps->Put(this, nId("SCOM"), name(d.colorMaterial)) && ps->Put(this, nId("SATE"), d.alphaTestEnable) &&
           ps->Put(this, nId("SARF"), d.alphaRef) && ps->Put(this, nId("SAFC"), name(d.alphaFunc)) &&
           ps->Put(this, nId("SMLB"), mipLodBias_);
}
