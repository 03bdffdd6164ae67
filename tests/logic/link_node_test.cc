// The logic link node in a recorded scene: the visible visual logic node that its text
// channel names is advanced, triggered once and drawn in place; anything else shows
// nothing; its channel reaches the parents' channel sets; it saves target then channel;
// and a node whose own picture holds the link is drawn once, not without end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logic/nLogicLinkNode.h"
#include "logic/nLogicVisual2.h"
#include "logic/nModule.h"
#include "scene/nChannelSet.h"
#include "tests/logic/GraphFixture.h"

namespace {

using Strings = std::vector<std::string>;

class LinkNodeTest : public GraphFixture {
protected:
    void SetUp() override {
        GraphFixture::SetUp();
        channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
        channels->SetChannel1f(channels->GenChannel("frametime"), 0.25f);
        channels->SetChannel1f(channels->GenChannel("level"), 7.0f);
        // The shown node: an animator that logs each trigger with the node's time, a
        // visualizer that logs each draw and one that draws a template.
        NewModule("/usr/modules/anim", nModule::Animator);
        NewModule("/usr/modules/vis", nModule::Visualizer);
        ASSERT_TRUE(Run("new('n3dnode', '/tmpl') new('nmodvisualizer', '/usr/modules/pic')"
                        " sel('/usr/modules/pic') setvisual('/tmpl')"
                        " new('nlogicvisual2', '/usr/shown') sel('/usr/shown') txyz(5, 0, 0)"
                        " addanimator('default', '/usr/modules/anim') addvisualizer('default', '/usr/modules/vis')"
                        " addvisualizer('default', '/usr/modules/pic') sel('/')"));
        shown = static_cast<nLogicVisual2*>(Lookup("/usr/shown"));
        scene = Transform("/scene", 0, 0, 0);
        scene->ownContext = true;
        link = static_cast<nLogicLinkNode*>(kernel->New("nlogiclinknode", "/scene/link"));
        link->SetChannel("shown");
        // A sibling after the link reads its parent's context.
        after = Transform("/scene/after", 0, 0, 0);
        after->channels = {"level"};
    }
    void Show(const char* value) { channels->SetChannelString(channels->GenChannel("shown"), value); }

    nChannelServer* channels = nullptr;
    nLogicVisual2* shown = nullptr;
    nTestVisNode* scene = nullptr;
    nTestVisNode* after = nullptr;
    nLogicLinkNode* link = nullptr;
};

TEST_F(LinkNodeTest, TheNamedNodeIsAdvancedTriggeredOnceAndDrawnInPlace) {
    Show("/usr/shown");
    Frame(scene);
    Frame(scene);
    EXPECT_EQ(Events("animate"), (Strings{"animate anim 0.25", "animate anim 0.5"}));
    EXPECT_EQ(Events("visualize"), (Strings{"visualize vis", "visualize vis"}));
    EXPECT_EQ(shown->GetTime(), 0.5f);
    // Shown at the link's place: its own position is replaced by the unit matrix.
    EXPECT_EQ(shown->GetMatrix(), matrix44());
    ASSERT_NE(Lookup("/usr/modules/pic/ref_pic"), nullptr);
    // The template's context did not replace the parent's for the link's sibling.
    EXPECT_EQ(after->read, std::vector<float>{7.0f});
    // Without a link target only the channel is collected, logged once.
    scene->NotifyParents();
    Frame(scene);
    EXPECT_EQ(Count(log.text, "/scene/link: no link target"), 1);
}

TEST_F(LinkNodeTest, NothingElseIsShownOrTriggered) {
    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/hidden') sel('/usr/hidden')"
                    " addvisualizer('default', '/usr/modules/vis') addanimator('default', '/usr/modules/anim')"
                    " setvisible(false) new('nlogicnode', '/usr/plain') sel('/')"));
    for (const char* value : {"", "/usr/nothing", "/usr/hidden", "/usr/plain", "/tmpl", "/usr"}) {
        SCOPED_TRACE(value);
        logicEvents.clear();
        Show(value);
        Frame(scene);
        Frame(scene);
        EXPECT_TRUE(Events("animate").empty());
        EXPECT_TRUE(Events("visualize").empty());
        EXPECT_EQ(after->read, std::vector<float>{7.0f});
    }
    EXPECT_EQ(static_cast<nLogicVisual2*>(Lookup("/usr/hidden"))->GetTime(), 0.0f);
    // An object of another kind is logged once for its value.
    EXPECT_EQ(Count(log.text, "'/usr/plain', which is no visual logic node"), 1);
    EXPECT_EQ(Count(log.text, "'/tmpl', which is no visual logic node"), 1);
    EXPECT_EQ(Count(log.text, "/usr/nothing"), 0);
}

TEST_F(LinkNodeTest, ANewChannelNameReachesTheParentsSets) {
    Show("/usr/shown");
    Frame(scene);
    ASSERT_TRUE(Run("sel('/scene/link') setchannel('other')"));
    EXPECT_EQ(Eval("getchannel()"), "other");
    channels->SetChannelString(channels->GenChannel("other"), "/usr/shown");
    logicEvents.clear();
    Frame(scene);
    nChannelSet* set = scene->GetChannelSet();
    bool found = false;
    for (int i = 0; i < set->GetNumChannels(); i++) found |= set->GetChannelAt(i) == channels->GenChannel("other");
    EXPECT_TRUE(found);
    EXPECT_EQ(Events("visualize"), Strings{"visualize vis"});
}

TEST_F(LinkNodeTest, ATargetsChannelsAreCollectedAndTheSavedLinesAreTargetThenChannel) {
    nTestVisNode* target = Node("/target", nTestVisNode::Group);
    target->channels = {"fromtarget"};
    ASSERT_TRUE(Run("sel('/scene/link') settarget('/target')"));
    scene->NotifyParents();
    Frame(scene);
    EXPECT_EQ(target->collects, 1);
    EXPECT_EQ(Count(log.text, "no link target"), 0);

    ASSERT_TRUE(link->SaveAs(Path("link").c_str()));
    EXPECT_EQ(Slurp(Path("link.n")),
              "-- ----- $parser:nluaserver2$ $class:nlogiclinknode$-- ---\n"
              "settarget( \"/target\" )\n"
              "setchannel( \"shown\" )\n"
              "\n"
              "-- ----- EOF\n");
}

TEST_F(LinkNodeTest, ANodeWhosePictureHoldsTheLinkIsDrawnOnceAFrame) {
    // The template shows a link to the node that the template pictures.
    ASSERT_TRUE(Run("new('n3dnode', '/mirror') sel('/mirror') new('nlogiclinknode', 'link') sel('link')"
                    " setchannel('self') new('nmodvisualizer', '/usr/modules/mirror') sel('/usr/modules/mirror')"
                    " setvisual('/mirror') new('nlogicvisual2', '/usr/logic/v') sel('/usr/logic/v')"
                    " addvisualizer('default', '/usr/modules/mirror') addvisualizer('default', '/usr/modules/vis')"
                    " sel('/')"));
    channels->SetChannelString(channels->GenChannel("self"), "/usr/logic/v");
    LogicFrame(0.0f);
    // Once by the logic graph, once through the link in its own picture.
    EXPECT_EQ(Events("visualize"), (Strings{"visualize vis", "visualize vis"}));
    auto* copy = static_cast<nLogicLinkNode*>(Lookup("/usr/modules/mirror/ref_mirror/link"));
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetChannel(), "self");
}

}  // namespace
