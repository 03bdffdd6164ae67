#include "tests/script/nTestValue.h"

#include "kernel/nCmd.h"

static const nCmdDef<nTestValue> cmds[] = {
    {"v_seti_i", "SETI", [](nTestValue* t, nCmd* c) { t->i = c->In()->GetI(); t->calls++; }},
    {"i_geti_v", "GETI", [](nTestValue* t, nCmd* c) { c->Out()->SetI(t->i); }},
    {"v_setf_f", "SETF", [](nTestValue* t, nCmd* c) { t->f = c->In()->GetF(); t->calls++; }},
    {"f_getf_v", "GETF", [](nTestValue* t, nCmd* c) { c->Out()->SetF(t->f); }},
    {"v_setb_b", "SETB", [](nTestValue* t, nCmd* c) { t->b = c->In()->GetB(); t->calls++; }},
    {"b_getb_v", "GETB", [](nTestValue* t, nCmd* c) { c->Out()->SetB(t->b); }},
    {"v_sets_s", "SETS", [](nTestValue* t, nCmd* c) {
         const char* s = c->In()->GetS();
         t->hasText = s != nullptr;
         t->s = s ? s : "";
         t->calls++;
     }},
    {"s_gets_v", "GETS", [](nTestValue* t, nCmd* c) { c->Out()->SetS(t->hasText ? t->s.c_str() : nullptr); }},
    {"v_seto_o", "SETO", [](nTestValue* t, nCmd* c) { t->o = c->In()->GetO(); t->calls++; }},
    {"o_geto_v", "GETO", [](nTestValue* t, nCmd* c) { c->Out()->SetO(t->o); }},
    {"v_setall_ifsbo", "SALL", [](nTestValue* t, nCmd* c) {
         t->i = c->In()->GetI();
         t->f = c->In()->GetF();
         const char* s = c->In()->GetS();
         t->hasText = s != nullptr;
         t->s = s ? s : "";
         t->b = c->In()->GetB();
         t->o = c->In()->GetO();
         t->calls++;
     }},
    {"ifsbo_getall_v", "GALL", [](nTestValue* t, nCmd* c) {
         c->Out()->SetI(t->i);
         c->Out()->SetF(t->f);
         c->Out()->SetS(t->hasText ? t->s.c_str() : nullptr);
         c->Out()->SetB(t->b);
         c->Out()->SetO(t->o);
     }},
    {"v_load_s", "LOAD", [](nTestValue* t, nCmd* c) { t->loaded = c->In()->GetS(); t->calls++; }},
    {"v_quit_v", "QUIT", [](nTestValue* t, nCmd*) { t->quitCalls++; }},
};
const nClassInfo nTestValue::classInfo = nClassInfo::Make<nTestValue>("ntestvalue", "nroot", cmds);
