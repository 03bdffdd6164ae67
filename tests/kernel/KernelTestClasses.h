#pragma once
// Small classes the kernel tests register through their own package function.
#include <gtest/gtest.h>

#include <string>

#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"

// A node with a value of every argument type and a few commands.
class nTestNode : public nRoot {
public:
    static const nClassInfo classInfo;
    static int liveCount;
    nTestNode() { liveCount++; }
    ~nTestNode() override { liveCount--; }
    void Initialize() override { initialized = true; }

    bool initialized = false;
    int i = 0;
    float f = 0.0f;
    std::string s;
    nRoot* o = nullptr;
    int nestedDepth = 0;
};
inline int nTestNode::liveCount = 0;

inline const nCmdDef<nTestNode> testNodeCmds[] = {
    {"v_setall_ifsob", "SALL",
     [](nTestNode* self, nCmd* c) {
         self->i = c->In()->GetI();
         self->f = c->In()->GetF();
         const char* s = c->In()->GetS();
         self->s = s ? s : "";
         self->o = c->In()->GetO();
         if (c->In()->GetB()) self->i = -self->i;
     }},
    {"ifs_getall_v", "GALL",
     [](nTestNode* self, nCmd* c) {
         c->Out()->SetI(self->i);
         c->Out()->SetF(self->f);
         c->Out()->SetS(self->s.c_str());
     }},
    // Calls itself by id `depth` times: nested calls of one command get private copies.
    {"i_nest_i", "NEST",
     [](nTestNode* self, nCmd* c) {
         int depth = c->In()->GetI();
         int result = depth;
         if (depth > 0) {
             nArg out;
             self->Call(nId("NEST"), &out, depth - 1);
             result += out.GetI();
         }
         c->Out()->SetI(result);
     }},
};
inline const nClassInfo nTestNode::classInfo =
    nClassInfo::Make<nTestNode>("ntestnode", "nroot", testNodeCmds);

// Inherits every command of nTestNode without adding any.
class nTestPlain : public nTestNode {
public:
    static const nClassInfo classInfo;
};
inline const nClassInfo nTestPlain::classInfo = nClassInfo::Make<nTestPlain>("ntestplain", "ntestnode");

// Adds commands of its own below a class without commands.
class nTestLeaf : public nTestPlain {
public:
    static const nClassInfo classInfo;
};
inline const nCmdDef<nTestLeaf> testLeafCmds[] = {
    {"i_getdouble_v", "GDBL", [](nTestLeaf* self, nCmd* c) { c->Out()->SetI(self->i * 2); }},
};
inline const nClassInfo nTestLeaf::classInfo =
    nClassInfo::Make<nTestLeaf>("ntestleaf", "ntestplain", testLeafCmds);

inline void TestPackage(nKernelServer* ks) {
    nKernelPackage(ks);
    ks->AddClass(nTestNode::classInfo);
    ks->AddClass(nTestPlain::classInfo);
    ks->AddClass(nTestLeaf::classInfo);
}

// A kernel with the test classes for one test; nothing may outlive it.
class KernelTest : public ::testing::Test {
protected:
    void SetUp() override { kernel = new nKernelServer(TestPackage); }
    void TearDown() override {
        delete kernel;
        EXPECT_EQ(nKernelServer::ks, nullptr);
        EXPECT_EQ(nTestNode::liveCount, 0);
    }
    nKernelServer* kernel = nullptr;
};
