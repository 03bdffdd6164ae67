// Object values, command values and the conversion of arguments and results.
#include "tests/script/nScriptFixture.h"
#include "tests/script/nTestValue.h"

namespace {

class LuaBindingTest : public nScriptFixture {
protected:
    nTestValue* NewValue(const char* path) {
        return static_cast<nTestValue*>(kernel->New("ntestvalue", path));
    }
};

TEST_F(LuaBindingTest, BareCommandsActOnTheCurrentObject) {
    ASSERT_TRUE(Run("new('nroot','a'); sel('a'); setname('b')"));
    EXPECT_EQ(Lookup("/a"), nullptr);
    ASSERT_NE(Lookup("/b"), nullptr);
    ASSERT_TRUE(Run("r = obj('/b').getfullname()"));
    EXPECT_EQ(Global("r"), "/b");
    // An undefined name that is no command stays nil.
    ASSERT_TRUE(Run("r = nosuchthing"));
    EXPECT_EQ(Global("r"), "nil");
}

TEST_F(LuaBindingTest, WrongArgumentsDoNothingAndAreLogged) {
    nTestValue* v = NewValue("/v");
    v->i = 7;
    ASSERT_TRUE(Run("o = obj('/v'); r1 = o.seti(); r2 = o.seti(1, 2); r3 = o.seti('x'); r4 = o.seti({})"));
    EXPECT_EQ(v->i, 7);
    EXPECT_EQ(v->calls, 0);
    EXPECT_EQ(Global("r1"), "nil");
    EXPECT_EQ(Global("r4"), "nil");
    EXPECT_TRUE(LogHas("'seti' of class 'ntestvalue' takes 1 argument(s), got 0"));
    EXPECT_TRUE(LogHas("does not fit type 'i'"));
    // A command that returns something returns nothing on bad input.
    ASSERT_TRUE(Run("n = select('#', obj('/v').geti(5))"));
    EXPECT_EQ(Global("n"), "0");
}

TEST_F(LuaBindingTest, InputConversions) {
    nTestValue* v = NewValue("/v");
    ASSERT_TRUE(Run("o = obj('/v'); o.seti(-3.9)"));
    EXPECT_EQ(v->i, -3);
    ASSERT_TRUE(Run("o.seti(1e12)"));
    EXPECT_EQ(v->i, 2147483647);
    ASSERT_TRUE(Run("o.seti('12')"));
    EXPECT_EQ(v->i, 12);
    ASSERT_TRUE(Run("o.setf(2.5)"));
    EXPECT_FLOAT_EQ(v->f, 2.5f);
    ASSERT_TRUE(Run("o.sets(42)"));
    EXPECT_EQ(v->s, "42");

    // Bools: nil and false are false, everything else (0 too) true.
    ASSERT_TRUE(Run("o.setb(0)"));
    EXPECT_TRUE(v->b);
    ASSERT_TRUE(Run("o.setb(nil)"));
    EXPECT_FALSE(v->b);
    ASSERT_TRUE(Run("o.setb(true)"));
    EXPECT_TRUE(v->b);
    ASSERT_TRUE(Run("o.setb(false)"));
    EXPECT_FALSE(v->b);
}

TEST_F(LuaBindingTest, ObjectInputsTakeValuesPathsAndNil) {
    nTestValue* v = NewValue("/v");
    nRoot* target = kernel->New("nroot", "/t");
    ASSERT_TRUE(Run("obj('/v').seto(obj('/t'))"));
    EXPECT_EQ(v->o, target);
    ASSERT_TRUE(Run("obj('/v').seto(nil)"));
    EXPECT_EQ(v->o, nullptr);
    // Saved scripts write objects as paths.
    ASSERT_TRUE(Run("obj('/v').seto('/t')"));
    EXPECT_EQ(v->o, target);
    v->calls = 0;
    ASSERT_TRUE(Run("obj('/v').seto('/missing')"));
    EXPECT_EQ(v->o, target);
    EXPECT_EQ(v->calls, 0);
    EXPECT_TRUE(LogHas("no object at '/missing'"));
    ASSERT_TRUE(Run("r = obj('/t').getrelpath('/v')"));
    EXPECT_EQ(Global("r"), "../v");
}

TEST_F(LuaBindingTest, OutputConversions) {
    nTestValue* v = NewValue("/v");
    ASSERT_TRUE(Run("o = obj('/v'); o.setall(5, 2.5, 'text', 1, '/v')"));
    ASSERT_TRUE(Run("i, f, s, b, p = o.getall()"));
    EXPECT_EQ(GlobalType("i"), "integer");
    EXPECT_EQ(Global("i"), "5");
    EXPECT_EQ(GlobalType("f"), "float");
    EXPECT_EQ(Global("s"), "text");
    EXPECT_EQ(Global("b"), "1");
    EXPECT_EQ(Global("p"), "/v");
    EXPECT_STREQ(nLuaServer2::GetResult(), "5 2.500000 text true /v");

    v->hasText = false;
    v->b = false;
    v->o = nullptr;
    const char* result = nullptr;
    ASSERT_TRUE(server->Run("i, f, s, b, p = obj('/v').getall()", result));
    EXPECT_EQ(Global("s"), "nil");
    EXPECT_EQ(Global("b"), "nil");
    EXPECT_EQ(Global("p"), "");
    EXPECT_STREQ(result, "5 2.500000 nil false ");
}

TEST_F(LuaBindingTest, CommandValuesKeepTheirOwnObject) {
    kernel->New("nroot", "/a");
    kernel->New("nroot", "/b");
    ASSERT_TRUE(Run("f = obj('/a').getname; g = obj('/b').getname; r1 = f(); r2 = g()"));
    EXPECT_EQ(Global("r1"), "a");
    EXPECT_EQ(Global("r2"), "b");
    // Values of one object are one value.
    ASSERT_TRUE(Run("same = obj('/a') == obj('/a'); other = obj('/a') == obj('/b')"));
    EXPECT_EQ(Global("same"), "<boolean>");
    ASSERT_TRUE(Run("assert(same and not other)"));
    ASSERT_TRUE(Run("s1 = tostring(obj('/a')); s2 = __getstringval(f); s3 = __getstringval(__scriptserver)"));
    EXPECT_EQ(Global("s1"), "/a");
    EXPECT_EQ(Global("s2"), "/a.getname");
    EXPECT_EQ(Global("s3"), "Anonymous Userdata");
}

TEST_F(LuaBindingTest, DeadObjectsAreSilentNoOps) {
    nTestValue* v = NewValue("/v");
    ASSERT_TRUE(Run("o = obj('/v'); f = o.seti"));
    v->Release();
    ASSERT_EQ(Lookup("/v"), nullptr);
    log.text.clear();
    ASSERT_TRUE(Run("f(3); r = o.geti; n = select('#', f(4))"));
    EXPECT_EQ(Global("r"), "nil");
    EXPECT_EQ(Global("n"), "0");
    EXPECT_EQ(log.text, "");
    // A new object at the same path is a different value.
    NewValue("/v");
    ASSERT_TRUE(Run("assert(obj('/v') ~= o); obj('/v').seti(9); r = obj('/v').geti()"));
    EXPECT_EQ(Global("r"), "9");
    // A dead object as an argument refuses the call.
    nTestValue* w = NewValue("/w");
    kernel->New("nroot", "/gone");
    ASSERT_TRUE(Run("g = obj('/gone')"));
    Lookup("/gone")->Release();
    ASSERT_TRUE(Run("obj('/w').seto(g)"));
    EXPECT_EQ(w->calls, 0);
}

TEST_F(LuaBindingTest, BaseGlobalsDoNotShadowBareCommands) {
    nTestValue* v = NewValue("/v");
    ASSERT_TRUE(Run("sel('/v'); load('*')"));
    EXPECT_EQ(v->loaded, "*");
}

TEST_F(LuaBindingTest, CompatTagFunctions) {
    ASSERT_TRUE(Run("t1 = tag(obj('/')); t2 = tag(obj('/').getname); t3 = tag(nil)"));
    EXPECT_EQ(Global("t1"), Global("__tagval_nobjtag"));
    EXPECT_EQ(Global("t2"), Global("__tagval_ncmdobjtag"));
    EXPECT_EQ(Global("t3"), "1");
    ASSERT_TRUE(Run("m = gettagmethod(tag(nil), 'getglobal')"));
    EXPECT_EQ(Global("m"), "<function>");
    // Unknown events and tags are script errors, not crashes.
    EXPECT_FALSE(Run("settagmethod(__tagval_nobjtag, 'nosuchevent', print)"));
    EXPECT_FALSE(Run("settagmethod(999, 'gettable', print)"));
    // "_system" is read raw, also when it is missing.
    ASSERT_TRUE(Run("r = undefined_name"));
    ASSERT_TRUE(Run("_system = { flag = 5 }; r = flag"));
    EXPECT_EQ(Global("r"), "5");
}

}  // namespace
