// Cavities: a land character in the stick zone is held, a rescue item used on the cavity
// is used up and moves the held character to the first free rescue zone in the frame
// after next, and the zones are kept in order through a save.
#include <gtest/gtest.h>

#include <string>

#include "game/nbwCavity.h"
#include "game/nbwContainer.h"
#include "game/nbwRescue.h"
#include "game/nbwStartPoint.h"
#include "tests/game/CharacterFixture.h"
#include "tests/logic/CommandTable.h"

namespace {

constexpr float kDt = 0.05f;

class CavityTest : public CharacterFixture {
protected:
    void SetUp() override {
        CharacterFixture::SetUp();
        // The cavity at (0, 0.5, 4) with a stick zone of radius 1.5 around it, two rescue
        // zones relative to it, and the hero standing inside the zone.
        ASSERT_TRUE(Run("new('nbwcavity', '/usr/logic/cavity') sel('/usr/logic/cavity') txyz(0, 0.5, 4)"
                        " new('nmodsimplecollision', 'zone') sel('zone') setcollclass('ghost') setradius(1.5) setdynamic(true)"
                        " sel('..') addcollision('stickzone', 'zone') setcollcontext('stickzone', 'physik')"
                        " new('nbwstartpoint', '/usr/logic/exit1') sel('/usr/logic/exit1') txyz(-3, 0, -2)"
                        " new('nbwstartpoint', '/usr/logic/exit2') sel('/usr/logic/exit2') txyz(-6, 0, -2)"
                        " sel('/usr/logic/cavity') addrescuezone('../exit1') addrescuezone('/usr/logic/exit2')"
                        " addrescuezone('../exit1')"
                        " function entered(c, who) enters = (enters or '') .. who .. ';' end"
                        " function rescued(c, who) rescues = (rescues or '') .. c .. '>' .. who .. ';' end"
                        " addeventfunction('onenter', 'entered') addeventfunction('onrescue', 'rescued')"));
        cavity = static_cast<nbwCavity*>(Lookup("/usr/logic/cavity"));
        // The hero has the cavity as its target, so it owns it and may use things on it.
        ASSERT_TRUE(Run("sel('/usr/logic/hero') setgravity(false) txyz(0, 0.5, 4)"
                        " setpath('target', '/usr/logic/cavity')"));
        // An inventory with two rescue items, each with its store.
        for (const char* name : {"inv", "inv/rope", "inv/rope2"}) {
            const std::string store = std::string("/usr/persist/") + name, path = std::string("/usr/logic/") + name;
            const char* cls = std::string(name) == "inv" ? "nbwcontainer" : "nbwrescue";
            ASSERT_TRUE(Run("new('npersistlogic', '" + store + "') new('" + cls + "', '" + path + "') sel('" + path +
                            "') setpersist('" + store + "')"));
        }
        static_cast<nbwItem*>(Lookup("/usr/logic/inv"))->SetFloat(nbwContainer::MaxCapacity, 10.0f);
    }
    static std::string Str(const vector3& v) {
        return std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.z);
    }

    nbwCavity* cavity = nullptr;
};

TEST_F(CavityTest, AHeldCharacterIsRescuedToTheFirstFreeZoneByAUsedRescueItem) {
    EXPECT_EQ(OwnCommands(kernel, "nbwcavity", {{"v_addrescuezone_s", "CARZ"}, {"v_rescue_v", "CRES"}}),
              (CommandTable{{"v_addrescuezone_s", "CARZ"}, {"v_rescue_v", "CRES"}}));
    EXPECT_TRUE(OwnCommands(kernel, "nbwrescue", {}).empty());
    // The same path twice is one zone.
    ASSERT_EQ(cavity->GetNumZones(), 2);

    for (int i = 0; i < 4; i++) GameFrame(kDt);
    EXPECT_TRUE(hero->GetFlag(nbwCharacter::Freeze));
    EXPECT_EQ(Eval("enters"), "/usr/logic/hero;");

    // The first zone is taken: the rescue goes to the second.
    static_cast<nbwStartPoint*>(Lookup("/usr/logic/exit1"))->SetEmptyStatus(false);
    auto* rope = static_cast<nbwItem*>(Lookup("/usr/logic/inv/rope"));
    EXPECT_EQ(Eval("obj('/usr/logic/cavity').use('/usr/logic/inv/rope')"), "nil");
    EXPECT_FALSE(rope->GetActive());
    EXPECT_EQ(Lookup("/usr/persist/inv/rope"), nullptr);
    EXPECT_TRUE(cavity->IsRescueRequested());
    // Assigned in the collision pass, moved and released in the next frame's step.
    GameFrame(kDt);
    EXPECT_EQ(cavity->GetRescued(), hero);
    EXPECT_EQ(cavity->GetRescueZoneIndex(), 1);
    EXPECT_TRUE(hero->GetFlag(nbwCharacter::Freeze));
    EXPECT_FALSE(cavity->IsRescueRequested());
    GameFrame(kDt);
    EXPECT_EQ(cavity->GetRescued(), nullptr);
    EXPECT_EQ(cavity->GetRescueZoneIndex(), -1);
    EXPECT_FALSE(hero->GetFlag(nbwCharacter::Freeze));
    EXPECT_TRUE(Near(hero->GetPosition(), vector3(-6.0f, 0.5f, 2.0f), 0.01f)) << Str(hero->GetPosition());
    EXPECT_EQ(Eval("rescues"), "nil");
    GameFrame(kDt);
    EXPECT_EQ(Eval("rescues"), "/usr/logic/cavity>/usr/logic/hero;");
    EXPECT_EQ(Eval("enters"), "/usr/logic/hero;");
    EXPECT_FALSE(hero->GetFlag(nbwCharacter::Freeze));
}

TEST_F(CavityTest, RequestsAreUsedUpByEachPassAndRescueOneCharacterEach) {
    // Nobody held yet: the item is used up and the request dropped.
    ASSERT_TRUE(Run("sel('/usr/logic/hero') txyz(-10, 0.5, -10)"));
    GameFrame(kDt);
    EXPECT_EQ(Eval("obj('/usr/logic/cavity').use('/usr/logic/inv/rope')"), "nil");
    EXPECT_EQ(Lookup("/usr/persist/inv/rope"), nullptr);
    GameFrame(kDt);
    EXPECT_FALSE(cavity->IsRescueRequested());
    ASSERT_TRUE(Run("sel('/usr/logic/hero') txyz(0, 0.5, 4)"));
    nbwCharacter* second = NewCharacter("/usr/logic/second", 0.5f);
    ASSERT_TRUE(Run("setgravity(false) txyz(0.5, 0.5, 3.5)"));
    for (int i = 0; i < 3; i++) GameFrame(kDt);
    EXPECT_TRUE(hero->GetFlag(nbwCharacter::Freeze));
    EXPECT_TRUE(second->GetFlag(nbwCharacter::Freeze));
    EXPECT_EQ(Eval("rescues"), "nil");

    // Two requests in one frame rescue one character.
    ASSERT_TRUE(Run("sel('/usr/logic/cavity') rescue() rescue()"));
    for (int i = 0; i < 3; i++) GameFrame(kDt);
    const bool heroOut = !hero->GetFlag(nbwCharacter::Freeze);
    EXPECT_NE(heroOut, !second->GetFlag(nbwCharacter::Freeze));
    nbwCharacter* out = heroOut ? hero : second;
    EXPECT_TRUE(Near(out->GetPosition(), vector3(-3.0f, 0.5f, 2.0f), 0.01f)) << Str(out->GetPosition());
    EXPECT_EQ(Count(Eval("rescues"), ";"), 1);

    // No free zone: the request is dropped and the other stays held.
    for (const char* zone : {"/usr/logic/exit1", "/usr/logic/exit2"}) {
        ASSERT_TRUE(Run(std::string("sel('") + zone + "') new('nmodsimplecollision', 's') sel('s')"
                        " setcollclass('ghost') setradius(10) setdynamic(true) sel('..') addcollision('startpoint', 's')"
                        " setcollcontext('startpoint', 'physik')"));
    }
    // Touched from the next pass on.
    GameFrame(kDt);
    ASSERT_TRUE(Run("sel('/usr/logic/cavity') rescue()"));
    for (int i = 0; i < 3; i++) GameFrame(kDt);
    EXPECT_FALSE(cavity->IsRescueRequested());
    EXPECT_TRUE((heroOut ? second : hero)->GetFlag(nbwCharacter::Freeze));
    EXPECT_EQ(Count(Eval("rescues"), ";"), 1);
}

TEST_F(CavityTest, OnlyCharactersAreHeldAndOnlyRescueItemsRescue) {
    // A test actor (no "freeze" flag) and a plain body in the zone are not held, and do
    // not keep the character behind them from being held.
    ASSERT_TRUE(Run("sel('/usr/logic/hero') txyz(-10, 0.5, -10)"));
    nTestActor* other = NewActor("/usr/logic/other");
    ASSERT_TRUE(Run("sel('/usr/logic/other') txyz(0, 0.5, 4) new('nmodsimplecollision', 's') sel('s')"
                    " setcollclass('solid') setradius(0.5) sel('..') addcollision('physik', 's')"
                    " setcollcontext('physik', 'physik')"));
    for (int i = 0; i < 3; i++) GameFrame(kDt);
    EXPECT_EQ(Eval("enters"), "nil");
    EXPECT_FALSE(other->GetFlag(0));
    ASSERT_TRUE(Run("sel('/usr/logic/hero') txyz(0.5, 0.5, 4)"));
    for (int i = 0; i < 3; i++) GameFrame(kDt);
    EXPECT_EQ(Eval("enters"), "/usr/logic/hero;");

    // Another item used on the cavity is left alone and asks for nothing.
    auto* plain = static_cast<nbwItem*>(kernel->New("nbwitem", "/usr/logic/inv/plain"));
    EXPECT_EQ(Eval("obj('/usr/logic/cavity').use('/usr/logic/inv/plain')"), "1");
    EXPECT_FALSE(cavity->IsRescueRequested());
    EXPECT_TRUE(plain->GetActive());
    for (int i = 0; i < 3; i++) GameFrame(kDt);
    EXPECT_TRUE(hero->GetFlag(nbwCharacter::Freeze));
}

TEST_F(CavityTest, ASavedCavityLoadsItsZonesBackInOrder) {
    ASSERT_TRUE(Run("sel('/usr/logic/cavity') addrescuezone('zone c') addrescuezone('/usr/logic/exit2')"));
    ASSERT_TRUE(cavity->SaveAs(Path("cavity").c_str()));
    const std::string text = Slurp(Path("cavity.n"));
    const size_t a = text.find("addrescuezone( \"../exit1\" )"),
                 b = text.find("addrescuezone( \"/usr/logic/exit2\" )"), c = text.find("addrescuezone( \"zone c\" )");
    ASSERT_NE(c, std::string::npos) << text;
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    ASSERT_TRUE(Run("delete('/usr/logic/cavity')"));
    kernel->SetCwd(Lookup("/usr/logic"));
    auto* back = static_cast<nbwCavity*>(kernel->Load(Path("cavity.n").c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    ASSERT_EQ(back->GetNumZones(), 3);
    EXPECT_STREQ(back->GetZonePath(0), "../exit1");
    EXPECT_STREQ(back->GetZonePath(1), "/usr/logic/exit2");
    EXPECT_STREQ(back->GetZonePath(2), "zone c");
    EXPECT_EQ(back->FindRescueZone("../exit1"), Lookup("/usr/logic/exit1"));
    // A zone that names no start point is skipped, logged once.
    EXPECT_EQ(back->FindRescueZone("zone c"), nullptr);
    EXPECT_EQ(back->FindRescueZone("zone c"), nullptr);
    EXPECT_EQ(Count(log.text, "rescue zone 'zone c' names no nbwstartpoint"), 1);
}

}  // namespace
