// nEnv: typed values, neutral getters and object values held by reference (how
// values save is checked with the object files).
#include <gtest/gtest.h>

#include <string>

#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"

namespace {

class EnvTest : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer();
        env = static_cast<nEnv*>(kernel->New("nenv", "/sys/env/test"));
    }
    void TearDown() override { delete kernel; }

    nArg Get(const char* id) {
        nArg out;
        EXPECT_TRUE(env->Call(nId(id), &out));
        return out;
    }

    nKernelServer* kernel = nullptr;
    nEnv* env = nullptr;
};

TEST_F(EnvTest, SettersChangeTypeAndGettersCheckIt) {
    // A new value is void, and every getter gives its neutral answer.
    ASSERT_NE(env, nullptr);
    EXPECT_STREQ(Get("GTYP").GetS(), "void");
    EXPECT_STREQ(Get("GETS").GetS(), "<error>");
    EXPECT_FALSE(Get("GETB").GetB());
    EXPECT_EQ(Get("GETO").GetO(), nullptr);
    EXPECT_EQ(env->GetS(), nullptr);

    ASSERT_TRUE(env->Call(nId("SETF"), nullptr, 2.5f));
    EXPECT_STREQ(Get("GTYP").GetS(), "float");
    EXPECT_EQ(Get("GETI").GetI(), 0);
    EXPECT_EQ(Get("GETF").GetF(), 2.5f);

    ASSERT_TRUE(env->Call(nId("SETS"), nullptr, "first"));
    ASSERT_TRUE(env->Call(nId("SETS"), nullptr, "second"));  // the first text is freed
    EXPECT_STREQ(Get("GETS").GetS(), "second");
    EXPECT_EQ(Get("GETF").GetF(), 0.0f);

    // A number over a string frees the text (the sanitizer build checks).
    ASSERT_TRUE(env->Call(nId("SETI"), nullptr, -7));
    EXPECT_EQ(Get("GETI").GetI(), -7);
    EXPECT_STREQ(Get("GETS").GetS(), "<error>");
    EXPECT_STREQ(Get("GTYP").GetS(), "int");

    ASSERT_TRUE(env->Call(nId("SETB"), nullptr, true));
    EXPECT_TRUE(Get("GETB").GetB());
    EXPECT_EQ(Get("GETI").GetI(), 0);

    env->SetS(nullptr);
    EXPECT_STREQ(env->GetS(), "");
    env->Clear();
    EXPECT_STREQ(env->GetTypeName(), "void");
}

TEST_F(EnvTest, ObjectValueReadsNullOnceTheObjectDies) {
    nRoot* obj = kernel->New("nroot", "/usr/target");
    ASSERT_TRUE(env->Call(nId("SETO"), nullptr, obj));
    EXPECT_STREQ(Get("GTYP").GetS(), "object");
    EXPECT_EQ(Get("GETO").GetO(), obj);
    EXPECT_EQ(obj->GetRefCount(), 1);  // a value does not keep its object alive
    obj->Release();
    EXPECT_EQ(Get("GETO").GetO(), nullptr);
    EXPECT_STREQ(Get("GTYP").GetS(), "object");

    // Switching to another type lets go of the object.
    nRoot* other = kernel->New("nroot", "/usr/other");
    env->SetO(other);
    env->SetI(3);
    EXPECT_EQ(env->GetO(), nullptr);
    other->Release();
    EXPECT_EQ(env->GetI(), 3);

    // An env may hold its own parent; releasing the parent takes both down.
    nEnv* inner = static_cast<nEnv*>(kernel->New("nenv", "/usr/holder/inner"));
    inner->SetO(kernel->Lookup("/usr/holder"));
    kernel->Lookup("/usr/holder")->Release();
    EXPECT_EQ(kernel->Lookup("/usr/holder"), nullptr);
}

}  // namespace
