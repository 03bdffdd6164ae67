// Saves read as values: every text the object writer writes reads back as it was, Lua's
// literals read as Lua reads them, and anything beyond the declared classes, commands,
// syntax and bounds is refused whole with one line naming file and line.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "kernel/nObjectCount.h"
#include "kernel/nObjectFileReader.h"
#include "kernel/nScriptServer.h"
#include "logic/nPersist.h"
#include "logic/nPersistVar.h"
#include "tests/logic/LogicFixture.h"

namespace {

class ObjectFileReaderTest : public nLogicFixture {
protected:
    // Reads `text` into a fresh scratch object; the scratch stays for the test to look at.
    bool Read(const std::string& text) {
        Drop();
        scratch = kernel->NewUnnamed("nroot");
        nObjectFileReader reader(nPersist::SaveFormat());
        const bool ok = reader.ReadText(text, "save:t.n", scratch);
        error = reader.GetError();
        keptBytes = reader.GetKeptBytes();
        return ok;
    }
    void Drop() {
        if (scratch) scratch->Release();
        scratch = nullptr;
    }
    void TearDown() override {
        Drop();
        nLogicFixture::TearDown();
    }
    nPersist* At(const char* path) {
        nRoot* o = scratch ? kernel->LookupFrom(scratch, path) : nullptr;
        return o && o->IsA("npersist") ? static_cast<nPersist*>(o) : nullptr;
    }
    // Every store below `root` with its variables, in order, bit for bit.
    static std::string Dump(nRoot* root, int depth = 0) {
        std::string out;
        for (nRoot* c = root->GetHead(); c; c = c->GetSucc()) {
            out += std::string(size_t(depth), ' ') + c->GetName() + ":" + c->GetClass()->GetName() + "\n";
            if (c->IsA("npersist")) {
                auto* p = static_cast<nPersist*>(c);
                for (nPersistVar* pv = p->GetFirstVar(); pv; pv = pv->GetSucc()) {
                    const nVariable& v = pv->Get();
                    out += std::string(pv->GetName()) + "=";
                    auto bits = [&](float f) {
                        uint32_t u;
                        std::memcpy(&u, &f, 4);
                        // Every NaN is one NaN to the writer.
                        out += std::isnan(f) ? std::string("nan") : std::to_string(u);
                        out += ' ';
                    };
                    switch (v.GetType()) {
                        case nVariable::Int: out += "i" + std::to_string(v.GetI()); break;
                        case nVariable::Float: out += "f", bits(v.GetF()); break;
                        case nVariable::String: out += std::string("s") + v.GetS(); break;
                        default:
                            out += "v";
                            for (int k = 0; k < 4; k++) bits(v.GetV4()[k]);
                    }
                    out += "\n";
                }
            }
            out += Dump(c, depth + 1);
        }
        return out;
    }

    nRoot* scratch = nullptr;
    std::string error;
    uint64_t keptBytes = 0;
};

// The values the writer finds hardest: every byte but NUL, quotes and backslashes beside
// line ends, NaN and the infinities, the largest and smallest floats, the longest names.
TEST_F(ObjectFileReaderTest, EverySaveTheWriterWritesReadsBackAsLuaReadsIt) {
    std::string bytes;
    for (int c = 1; c < 256; c++) bytes += char(c);
    const std::string longName(nPersist::MaxSaveNameBytes, 'n');
    // Every byte in the names of values, each name as long as a save takes.
    std::vector<std::string> byteNames;
    for (size_t at = 0; at < bytes.size(); at += nPersist::MaxSaveNameBytes) {
        byteNames.push_back(bytes.substr(at, nPersist::MaxSaveNameBytes));
    }
    kernel->New("nroot", "/usr/persist");
    auto* a = static_cast<nPersist*>(kernel->New("npersist", "/usr/persist/gamestatus"));
    auto* b = static_cast<nPersist*>(kernel->New("npersistlogic", ("/usr/persist/" + longName).c_str()));
    auto* c = static_cast<nPersist*>(kernel->New("npersistlogic", ("/usr/persist/" + longName + "/in.n-e_r").c_str()));
    kernel->New("nroot", "/usr/persist/camp");
    a->SetI("gamestate", INT32_MIN);
    a->SetI("max", INT32_MAX);
    a->SetS("all", bytes.c_str());
    a->SetS("quotes", "'\"\\\r\n\\\\\"'--[[ ]]");
    for (const std::string& n : byteNames) a->SetS(n.c_str(), "");
    const float inf = std::numeric_limits<float>::infinity();
    for (float f : {std::nanf(""), inf, -inf, FLT_MAX, -FLT_MAX, FLT_MIN, FLT_TRUE_MIN, -0.0f, 0.1f}) {
        b->SetF(("f" + std::to_string(b->GetNumVars())).c_str(), f);
    }
    b->SetV("v", std::nanf(""), -inf, FLT_TRUE_MIN, -FLT_MAX);
    c->SetS(longName.c_str(), (bytes + bytes).c_str());
    ASSERT_TRUE(Lookup("/usr/persist")->SaveAs(Path("save").c_str())) << log.text;
    const std::string text = Slurp(Path("save.n"));
    ASSERT_TRUE(Read(text)) << error;
    // As the file runs as Lua: the writer's fixed decimals lose the tiniest floats, the
    // same way for both.
    ASSERT_TRUE(LoadData(text)) << log.text;
    EXPECT_EQ(Dump(scratch), Dump(Lookup("/load")));
    nPersist* gs = At("gamestatus");
    ASSERT_NE(gs, nullptr);
    EXPECT_EQ(std::string(gs->GetS("all")), bytes);
    EXPECT_STREQ(gs->GetS("quotes"), a->GetS("quotes"));
    for (const std::string& n : byteNames) EXPECT_NE(gs->GetVar(n.c_str()), nullptr);
    nPersist* lb = At(longName.c_str());
    ASSERT_NE(lb, nullptr);
    EXPECT_TRUE(std::isnan(lb->GetF("f0")));
    EXPECT_EQ(lb->GetF("f2"), -inf);
    EXPECT_EQ(lb->GetF("f3"), FLT_MAX);
    EXPECT_EQ(lb->GetF("f5"), 0.0f);  // the writer's fixed decimals lose the tiniest floats
    EXPECT_TRUE(std::signbit(lb->GetF("f7")));
    EXPECT_EQ(std::string(At((longName + "/in.n-e_r").c_str())->GetS(longName.c_str())), bytes + bytes);
    // What it counts as kept is never less than the writer writes.
    EXPECT_GE(keptBytes, text.size());
    // The values keep data's origin, and the objects are charged to data.
    EXPECT_EQ(At("gamestatus")->FindVar("all")->origin, nScriptServer::Origin::Data);
    EXPECT_NE(kernel->LookupFrom(scratch, "camp")->GetDataRun(), 0u);
}

// Lua's own literal forms, as a person may write a save by hand.
TEST_F(ObjectFileReaderTest, LuasLiteralsReadAsLuaReadsThem) {
    const std::string text =
        "--[==[ a long\n comment ]] ]==] -- and a short one\n"
        "new(\"npersist\", [[gamestatus]]); sel 'x'\n";
    EXPECT_FALSE(Read(text));  // a call without its parentheses
    ASSERT_TRUE(Read("new(\"npersist\", [[gamestatus]]);;\nsel('./gamestatus')\n"
                     "sets('esc', '\\a\\b\\f\\n\\r\\t\\v\\\\\\\"\\'\\65\\0661\\x41\\u{48}\\u{20AC}\\u{7FFFFFFF}\\z  \n  end')\n"
                     "sets('long', [==[\nfirst ]] ]=] line\r\nsecond]==])\n"
                     "sets('cont', 'a\\\nb')\n"
                     "seti('hex', 0xFFFFFFFFFFFFFFFF) seti('neg', - -3) seti('trunc', -2.9) seti('big', 1e30)\n"
                     "setf('hexf', 0x1.8p1) setf('exp', 2.5E-1) setf('dot', .5) setf('nan', 0/0) setf('inf', -1/0)\n"
                     "sets('num', 5) sets('numf', 1.5) sets('numi', 2.0)\n"
                     "setv('v', 1, -2, 3e2, 0x10)\nup()\n"))
        << error;
    nPersist* p = At("gamestatus");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p->GetS("esc")), std::string("\a\b\f\n\r\t\v\\\"'AB1AH\xE2\x82\xAC\xFD\xBF\xBF\xBF\xBF\xBF" "end"));
    EXPECT_STREQ(p->GetS("long"), "first ]] ]=] line\nsecond");
    EXPECT_STREQ(p->GetS("cont"), "a\nb");
    EXPECT_EQ(p->GetI("hex"), -1);
    EXPECT_EQ(p->GetI("neg"), 3);
    EXPECT_EQ(p->GetI("trunc"), -2);
    EXPECT_EQ(p->GetI("big"), INT32_MAX);
    EXPECT_FLOAT_EQ(p->GetF("hexf"), 3.0f);
    EXPECT_FLOAT_EQ(p->GetF("exp"), 0.25f);
    EXPECT_FLOAT_EQ(p->GetF("dot"), 0.5f);
    EXPECT_TRUE(std::isnan(p->GetF("nan")));
    EXPECT_EQ(p->GetF("inf"), -std::numeric_limits<float>::infinity());
    EXPECT_STREQ(p->GetS("num"), "5");
    EXPECT_STREQ(p->GetS("numf"), "1.5");
    EXPECT_STREQ(p->GetS("numi"), "2.0");
    float v[4];
    p->GetV("v", v[0], v[1], v[2], v[3]);
    EXPECT_EQ(v[2], 300.0f);
    EXPECT_EQ(v[3], 16.0f);
}

// Whatever is not a value of a declared command is refused whole, with the line it is on;
// a second setter of a value, of its type or another, is refused, never fatal.
TEST_F(ObjectFileReaderTest, AnythingBeyondTheDeclaredValuesIsRefusedWholeWithItsLine) {
    const std::string head = "-- header\nnew('npersistlogic', 'level1')\nsel('level1')\nseti('a', 1)\n";
    const struct {
        const char* tail;
        const char* why;
    } cases[] = {
        {"new('nmacroexec2', 'macros')\n", "'new' of the class 'nmacroexec2'"},
        {"new('nbwlevel', 'trick')\n", "'new' of the class 'nbwlevel'"},
        {"addtimer('t', 'loop', 0, 1, 'x()')\n", "'addtimer', which a save may not call"},
        {"setowner('/usr/logic/level1')\n", "'setowner', which a save may not call"},
        {"seteventscript('onstartup', 'endlevel()')\n", "'seteventscript', which a save may not call"},
        {"for i = 1, 2 do end\n", "'for', which a save may not call"},
        {"x = 1\n", "'x', which a save may not call"},
        {"sets('a', 'x')\n", "the store 'level1' sets 'a' a second time"},
        {"setf('a', 1)\n", "sets 'a' a second time"},
        {"sets('b', 'x' .. 'y')\n", "with something other than values"},
        {"sets('b', gets('c'))\n", "'gets', which is no value"},
        {"seti('b', 2^3)\n", "with something other than values"},
        {"seti('b')\n", "'seti' with 1 values, not 2"},
        {"seti('b', 'x')\n", "a value of another type at place 2"},
        {"up() up()\n", "'up' above the loaded objects"},
        {"sel('/usr/persist')\n", "outside the loaded objects"},
        {"sel('../..')\n", "outside the loaded objects"},
        {"sel('nothing')\n", "which is not there"},
        {"new('npersist', 'a b')\n", "the name 'a b'"},
        {"new('npersist', 'x/y')\n", "a path, not a name"},
        {"new('npersist', 'a')\nnew('nroot', 'a')\n", "where one of class 'npersist' is"},
        {"new('npersist', 'a')\nsel('a')\nseti('b', 1)\nup()\nnew('npersist', 'a')\n", "a second 'new' of 'a' in one place"},
        {"sets('b', 'open\n", "an unfinished string"},
        {"sets('b', [==[ open ]=])\n", "an unfinished long string"},
        {"seti('b', 0x)\n", "the malformed number '0x'"},
        {"seti('b', 1e)\n", "the malformed number '1e'"},
        {"sets('b', '\\q')\n", "an escape that Lua does not know"},
        {"sets('b', '\\256')\n", "a decimal escape past 255"},
        {"sets('b', '\\u{80000000}')\n", "past 7FFFFFFF"},
        {"--[[ open comment\n", "an unfinished long comment"},
        {"\x01", "where a call may stand"},
        {"", "it ends inside 'level1', which it never closes"},
        {"new('npersistlogic', 'd')\nsel('d')\nseti('b', 1)\n", "it ends inside 'level1/d'"},
    };
    for (const auto& c : cases) {
        log.text.clear();
        EXPECT_FALSE(Read(head + c.tail)) << c.tail;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.tail << " -> " << error;
        EXPECT_NE(log.text.find("'save:t.n' refused: line "), std::string::npos) << log.text;
        EXPECT_EQ(log.text.find('\n'), log.text.size() - 1) << "one line: " << log.text;
    }
    // The line is the one the fault is on.
    log.text.clear();
    EXPECT_FALSE(Read(head + "\n\n  seti('b', 1) addtimer()\n"));
    EXPECT_NE(log.text.find("line 7: 'addtimer'"), std::string::npos) << log.text;
    EXPECT_EQ(kernel->Lookup("/level1"), nullptr);
}

// Each bound refuses the file that passes it, and a file just within loads.
TEST_F(ObjectFileReaderTest, TheBoundsOnSizeObjectsDepthValuesAndKeptBytesEachRefuse) {
    auto reads = [&](const nObjectFileReader::Limits& lim, const std::string& text) {
        Drop();
        scratch = kernel->NewUnnamed("nroot");
        nObjectFileReader::Format f = nPersist::SaveFormat();
        f.limits = lim;
        nObjectFileReader reader(f);
        const bool ok = reader.ReadText(text, "b.n", scratch);
        error = reader.GetError();
        return ok;
    };
    const nObjectFileReader::Limits wide = {1 << 20, 100, 8, 100, 1 << 20};
    std::string three = "new('nroot', 'a') new('nroot', 'b') new('nroot', 'c')";
    EXPECT_TRUE(reads(wide, three)) << error;
    auto lim = wide;
    lim.fileBytes = three.size() - 1;
    EXPECT_FALSE(reads(lim, three));
    lim = wide;
    lim.objects = 2;
    EXPECT_FALSE(reads(lim, three));
    EXPECT_NE(error.find("more than 2 objects"), std::string::npos);
    lim = wide;
    lim.depth = 2;
    EXPECT_TRUE(reads(lim, "new('nroot', 'a') sel('a') new('nroot', 'b') up()"));
    EXPECT_FALSE(reads(lim, "new('nroot', 'a') sel('a') new('nroot', 'b') sel('b') new('nroot', 'c')"));
    lim = wide;
    lim.commandsAnObject = 2;
    const std::string sets = "new('npersist', 'a') sel('a') seti('x', 1) seti('y', 1)";
    EXPECT_TRUE(reads(lim, sets + " up()"));
    EXPECT_FALSE(reads(lim, sets + " seti('x', 2)"));
    // A text the writer escapes byte for byte counts twice.
    lim = wide;
    // The line "  sets( \"x\", \"y...\" )": indent, name, parentheses, both texts quoted.
    lim.keptBytes = 128 + nObjectFileReader::WrittenObjectBytes("npersist", "a", 0) + 2 + 4 + 5 + 4 + 2 + 2002;
    const std::string big = "new('npersist', 'a') sel('a') sets('x', '" + std::string(1000, 'y') + "')";
    EXPECT_TRUE(reads(lim, big + " up()")) << error;
    EXPECT_FALSE(reads(lim, "new('npersist', 'a') sel('a') sets('x', '" + std::string(1001, 'y') + "')"));
    EXPECT_NE(error.find("would be written again as more than"), std::string::npos) << error;
    // A name and a text, each at its bound and one past it.
    lim = wide;
    lim.nameBytes = 3;
    lim.textBytes = 8;  // "npersist" is a text too
    EXPECT_TRUE(reads(lim, "new('npersist', 'abc') sel('abc') sets('x', 'yyyyyyyy') up()")) << error;
    EXPECT_FALSE(reads(lim, "new('npersist', 'abcd')"));
    EXPECT_NE(error.find("of more than 3 bytes"), std::string::npos) << error;
    EXPECT_FALSE(reads(lim, "new('npersist', 'abc') sel('abc') sets('x', 'yyyyyyyyy')"));
    EXPECT_NE(error.find("a text of more than 8 bytes"), std::string::npos) << error;
}

// The file's bound of a save is what the object writer writes at most within the others
// (each of which the demo game's tests take to its limit and one past), below what a data
// file may be: a full store at the deepest with the longest names and texts stays within
// its share, and reads back.
TEST_F(ObjectFileReaderTest, ASavesFileBoundHoldsWhatTheWriterWritesWithinTheOthers) {
    const size_t name = nPersist::MaxSaveNameBytes;
    EXPECT_EQ(nObjectFileReader(nPersist::SaveFormat()).GetFormat().limits.fileBytes, nPersist::MaxSaveBytes);
    EXPECT_LT(nPersist::MaxSaveBytes, uint64_t(64) << 20);
    // A full store at the deepest with the longest names and texts: the writer stays
    // within its share of the bound.
    kernel->New("nroot", "/usr/persist");
    std::string path = "/usr/persist";
    for (int d = 1; d <= nPersist::MaxSaveDepth; d++) {
        path += "/" + std::string(name - 2, 'a') + (d < 10 ? "0" : "") + std::to_string(d);
        kernel->New("npersistlogic", path.c_str());
    }
    auto* full = static_cast<nPersist*>(Lookup(path.c_str()));
    std::string crlf;
    for (size_t k = 0; k < nPersist::MaxSaveTextBytes; k++) crlf += k % 2 ? '\r' : '\n';
    for (int i = 0; full->GetNumVars() < nPersist::MaxSaveValuesAStore; i++) {
        full->SetS((std::string(name - 3, 'v') + std::to_string(100 + i)).c_str(), crlf.c_str());
    }
    ASSERT_TRUE(Lookup("/usr/persist")->SaveAs(Path("deep").c_str())) << log.text;
    const std::string written = Slurp(Path("deep.n"));
    // Each of its lines is as long as the bound counts a line, and each object no longer.
    const uint64_t line = nObjectFileReader::WrittenLineBytes(
        4, nObjectFileReader::WrittenTextBytes(name) + nObjectFileReader::WrittenTextBytes(nPersist::MaxSaveTextBytes), 2,
        nPersist::MaxSaveDepth);
    const uint64_t object = nObjectFileReader::WrittenObjectBytes(13, name, nPersist::MaxSaveDepth - 1);
    EXPECT_GE(written.size(), nPersist::MaxSaveValuesAStore * line);
    EXPECT_LE(written.size(), nObjectFileReader::HeaderBytes + nPersist::MaxSaveDepth * object +
                                  nPersist::MaxSaveValuesAStore * line);
    ASSERT_TRUE(Read(written)) << error;
    EXPECT_EQ(At(path.substr(std::strlen("/usr/persist/")).c_str())->GetNumVars(), nPersist::MaxSaveValuesAStore);
}

// A store keeps at most as many values as a save holds: a new name past them is not kept,
// logged once; what it holds still changes.
TEST_F(ObjectFileReaderTest, AStoreKeepsNoMoreValuesThanASaveHolds) {
    auto* p = static_cast<nPersist*>(kernel->New("npersist", "/full"));
    for (int i = 0; i < nPersist::MaxSaveValuesAStore; i++) p->SetI(("v" + std::to_string(i)).c_str(), i);
    log.text.clear();
    p->SetI("more", 1);
    nVariable v;
    v.SetS("x");
    EXPECT_EQ(p->SetVar("andmore", v), nullptr);
    EXPECT_EQ(p->GetNumVars(), nPersist::MaxSaveValuesAStore);
    EXPECT_EQ(p->GetVar("more"), nullptr);
    EXPECT_EQ(log.text.find('\n'), log.text.size() - 1) << "one line: " << log.text;
    EXPECT_NE(log.text.find("/full: holds 64 values, the most a store keeps: 'more'"), std::string::npos) << log.text;
    p->SetI("v3", 33);
    EXPECT_EQ(p->GetI("v3"), 33);
    p->RemoveVar("v0");
    p->SetI("more", 1);
    EXPECT_EQ(p->GetI("more"), 1);
    p->Release();
}

}  // namespace

namespace {

// A file within the size bound that holds far more calls or values than the objects it
// may make is refused at the first one past them, before it takes memory many times its
// size (a call of eight million values took over a gigabyte to learn that it had too many).
TEST_F(ObjectFileReaderTest, CallsAndValuesPastWhatTheObjectsTakeAreRefusedAtTheFirst) {
    const size_t bound = nPersist::MaxSaveBytes;
    std::string values = "new('npersist', 'a') sel('a') seti('x'";
    while (values.size() + 3 < bound) values += ",0";
    values += ")";
    EXPECT_FALSE(Read(values));
    EXPECT_NE(error.find("'seti' with more than 2 values"), std::string::npos) << error;
    EXPECT_EQ(scratch->GetHead(), nullptr);
    // The writer writes "new", "sel", the commands and "up" for each object: one call more
    // than the most that many objects take is refused, however small each call is.
    const uint64_t calls = (nPersist::MaxSaveObjects + 1) * (nPersist::MaxSaveValuesAStore + 3);
    std::string ups = "new('nroot', 'a')";
    for (uint64_t i = 1; i < calls; i++) ups += i % 2 ? "sel('a')" : "up()";
    EXPECT_TRUE(Read(ups)) << error;
    EXPECT_FALSE(Read(ups + "up()"));
    EXPECT_NE(error.find("more than " + std::to_string(calls) + " calls"), std::string::npos) << error;
    std::string many;
    while (many.size() + 4 < bound) many += "up()";
    EXPECT_FALSE(Read(many));
    EXPECT_NE(error.find("calls"), std::string::npos) << error;
    // Semicolons between calls are no calls.
    EXPECT_TRUE(Read("new('nroot', 'a')" + std::string(100000, ';'))) << error;
}

}  // namespace
