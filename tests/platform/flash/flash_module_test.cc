#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "tests/platform/flash/MovieFixture.h"

namespace {

using flash::FlashModule;
using flash::MovieModule;

class FlashModuleTest : public MovieFixture {};

TEST_F(FlashModuleTest, LoadAndUnloadSucceedOnlyInThePlayersOrder) {
    AddMovie("m.lua", "stage(100, 100)\nfunction draw() clear(1, 1, 1, 1) end\n");
    MovieModule module(Host());
    std::vector<uint8_t> buffer(4 * 4 * 4, 0xAB);

    // Out of order: each fails and leaves the module where it was.
    EXPECT_LT(module.Initialize(0, 1), 0);
    EXPECT_LT(module.LoadMovie("m.lua"), 0);
    EXPECT_LT(module.IsReady(), 0);
    EXPECT_EQ(module.AttachWindow(uintptr_t(0x1234567890ull)), flash::Ok);
    EXPECT_EQ(module.GetWindow(), uintptr_t(0x1234567890ull));  // kept whole, not cut to 32 bits
    EXPECT_LT(module.LoadMovie("m.lua"), 0);                     // 7 before 6
    EXPECT_LT(module.Play(), 0);
    EXPECT_EQ(module.Initialize(0, 1), flash::Ok);
    EXPECT_LT(module.AttachWindow(1), 0);
    EXPECT_LT(module.Render(buffer.data(), 4, 4, 4), 0);  // 15 before 3
    EXPECT_EQ(module.LoadMovie("m.lua"), flash::Ok);
    EXPECT_EQ(module.IsReady(), 0);
    EXPECT_LT(module.Render(buffer.data(), 4, 4, 4), 0);
    EXPECT_LT(module.MouseEvent(flash::MouseDown, 0.5f, 0.5f, 1), 0);
    for (uint8_t b : buffer) ASSERT_EQ(b, 0xAB);  // refused renders write nothing
    EXPECT_LT(module.LoadMovie("m.lua"), 0);    // one movie a module
    EXPECT_EQ(module.Play(), flash::Ok);
    EXPECT_EQ(module.IsReady(), 1);
    EXPECT_EQ(module.Render(buffer.data(), 4, 4, 4), flash::Ok);
    EXPECT_EQ(buffer[0], 0xFF);

    EXPECT_LT(module.Unload(), 0);  // 8 before 4
    EXPECT_EQ(module.Stop(), flash::Ok);
    EXPECT_LT(module.Render(buffer.data(), 4, 4, 4), 0);
    EXPECT_LT(module.SetVariable("a", "b"), 0);
    EXPECT_EQ(module.Unload(), flash::Ok);
    // After 8 nothing is accepted.
    size_t length = 0;
    EXPECT_LT(module.Stop(), 0);
    EXPECT_LT(module.Unload(), 0);
    EXPECT_LT(module.IsReady(), 0);
    EXPECT_LT(module.CopyVariable("a", &length, nullptr), 0);
    EXPECT_LT(module.SetMessaging(true), 0);
    EXPECT_LT(module.SetMovieRect(0, 0, 1, 1), 0);
    EXPECT_TRUE(this->logs.empty());
}

TEST_F(FlashModuleTest, CreateRefusesOtherInterfacesAndTestsInstallTheirOwnModules) {
    EXPECT_EQ(flash::CreateFlashModule(nullptr), nullptr);
    EXPECT_EQ(flash::CreateFlashModule("{00000000-0000-0000-C000-000000000047}"), nullptr);
    FlashModule* player = flash::CreateFlashModule(flash::InterfaceId);
    ASSERT_NE(player, nullptr);
    EXPECT_NE(dynamic_cast<MovieModule*>(player), nullptr);
    flash::DeleteFlashModule(player);

    int made = 0;
    flash::SetModuleFactory([&made, this]() -> std::unique_ptr<FlashModule> {
        ++made;
        return std::make_unique<MovieModule>(Host());
    });
    FlashModule* own = flash::CreateFlashModule(flash::InterfaceId);
    EXPECT_EQ(made, 1);
    flash::DeleteFlashModule(own);
    flash::SetModuleFactory(nullptr);
    flash::DeleteFlashModule(flash::CreateFlashModule(flash::InterfaceId));
    EXPECT_EQ(made, 1);
    flash::DeleteFlashModule(nullptr);
}

TEST_F(FlashModuleTest, OnlyMoviesLoadAndTheirFailuresAreLoggedWithTheFileName) {
    this->files["menus/plain.lua"] = "function draw() end\n";
    this->files["menus/late.lua"] = "\n--tessel movie 1\n";
    AddMovie("menus/broken.lua", "function draw(\n");
    AddMovie("menus/throws.lua", "error('no stage here')\n");
    this->files["menus/windows.swf"] = "\xEF\xBB\xBF--tessel movie 1\r\nloaded = 'yes'\r\n";
    for (const char* bad : {"menus/plain.lua", "menus/late.lua", "menus/broken.lua", "menus/throws.lua", "menus/gone.lua"}) {
        MovieModule module(Host());
        module.AttachWindow(0);
        module.Initialize(0, 1);
        EXPECT_EQ(module.LoadMovie(bad), flash::MovieFailed) << bad;
        EXPECT_EQ(module.IsReady(), flash::OutOfOrder) << bad;
        EXPECT_EQ(Logged(std::string("'") + bad + "'"), 1) << bad;
    }
    EXPECT_EQ(Logged("no stage here"), 1);
    EXPECT_EQ(Logged("broken.lua:3:"), 1);  // the compiler's message names file and line

    // Marker lines with a byte-order mark and CR LF line ends; any extension; backslashes.
    auto module = Start("menus\\windows.swf");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Get(*module, "loaded"), "yes");
}

TEST_F(FlashModuleTest, VariablesAreTheMoviesStringGlobals) {
    auto module = StartMovie(R"lua(
        _root = { update_tex = "" }
        seen = ""
        Tessel_script = "hud:show()"
        net_msg_output = "hud^show()^menu^hide()"
        cursor_mode = "1"
        count = 42
        function on_value(name, text) seen = seen .. name .. "=" .. text .. ";" end
    )lua");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Get(*module, "Tessel_script"), "hud:show()");
    EXPECT_EQ(Get(*module, "net_msg_output"), "hud^show()^menu^hide()");
    EXPECT_EQ(Get(*module, "cursor_mode"), "1");
    EXPECT_EQ(Get(*module, "count"), "42");
    EXPECT_EQ(Get(*module, "nothing"), "");
    EXPECT_EQ(Get(*module, "_root.update_tex"), "");
    EXPECT_EQ(Get(*module, "on_value"), "");  // functions are no text

    EXPECT_EQ(module->SetVariable("_root.update_tex", "1"), flash::Ok);
    EXPECT_EQ(module->SetVariable("input", "_root.mousein()"), flash::Ok);
    EXPECT_EQ(module->SetVariable("Tessel_script", ""), flash::Ok);
    EXPECT_EQ(module->SetVariable("menu.page.title", "Größe"), flash::Ok);  // tables made on the way
    EXPECT_EQ(Get(*module, "_root.update_tex"), "1");
    EXPECT_EQ(Get(*module, "Tessel_script"), "");
    EXPECT_EQ(Get(*module, "menu.page.title"), "Größe");
    EXPECT_EQ(Get(*module, "seen"),
              "_root.update_tex=1;input=_root.mousein();Tessel_script=;menu.page.title=Größe;");
    // A step that is no table, and names with empty steps, are refused.
    EXPECT_LT(module->SetVariable("count.x", "1"), 0);
    EXPECT_EQ(Get(*module, "count"), "42");
    for (const char* bad : {"", ".a", "a.", "a..b"}) EXPECT_EQ(module->SetVariable(bad, "1"), flash::BadArgument);
    EXPECT_EQ(module->SetVariable(nullptr, "1"), flash::BadArgument);
    EXPECT_EQ(module->SetVariable("a", nullptr), flash::BadArgument);

    // 21: length alone, a short buffer (cut and terminated), a missing variable.
    size_t length = 0;
    EXPECT_EQ(module->CopyVariable("net_msg_output", &length, nullptr), flash::Ok);
    EXPECT_EQ(length, 22u);
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    length = 5;
    EXPECT_EQ(module->CopyVariable("net_msg_output", &length, buffer), flash::Ok);
    EXPECT_EQ(length, 22u);
    EXPECT_STREQ(buffer, "hud^");
    EXPECT_EQ(buffer[5], 'x');
    length = sizeof buffer;
    EXPECT_EQ(module->CopyVariable("nothing", &length, buffer), flash::Ok);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(module->CopyVariable("count", nullptr, buffer), flash::BadArgument);
    // Variables read before the movie plays (7 done, 3 not yet).
    AddMovie("early.lua", "greeting = 'hallo'\n");
    MovieModule early(Host());
    early.AttachWindow(0);
    early.Initialize(0, 1);
    EXPECT_LT(early.SetVariable("a", "b"), 0);
    ASSERT_EQ(early.LoadMovie("early.lua"), flash::Ok);
    EXPECT_EQ(Get(early, "greeting"), "hallo");
}

// The movie's events in stage units: a button that asks for a script on a click inside.
TEST_F(FlashModuleTest, MouseAndKeyMessagesReachTheMoviesHandlers) {
    auto module = StartMovie(R"lua(
        stage(400, 200)
        keys = ""
        function on_mouse(kind, x, y, flags)
            last = string.format("%s %g %g %d", kind, x, y, flags)
            if kind == "down" and x >= 100 and x < 200 and y >= 50 and y < 100 and messaging() then
                Tessel_script = "/usr/menu.start()"
            end
        end
        function on_key(kind, vkey) keys = keys .. kind .. vkey .. " " end
        function on_char(text) keys = keys .. "[" .. text .. "]" end
    )lua");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->MouseEvent(flash::MouseMove, 0.5f, 0.25f, 0), flash::Ok);
    EXPECT_EQ(Get(*module, "last"), "move 200 50 0");
    // Outside the button, then inside while messaging is off, then on.
    EXPECT_EQ(module->MouseEvent(flash::MouseDown, 0.75f, 0.375f, 1), flash::Ok);
    EXPECT_EQ(module->SetMessaging(false), flash::Ok);
    EXPECT_EQ(module->MouseEvent(flash::MouseDown, 0.375f, 0.375f, 1), flash::Ok);
    EXPECT_EQ(Get(*module, "Tessel_script"), "");
    EXPECT_EQ(module->SetMessaging(true), flash::Ok);
    EXPECT_EQ(module->MouseEvent(flash::MouseDown, 0.375f, 0.375f, 1), flash::Ok);
    EXPECT_EQ(Get(*module, "Tessel_script"), "/usr/menu.start()");
    EXPECT_EQ(module->MouseEvent(flash::MouseUp, 0.375f, 0.375f, 0), flash::Ok);
    EXPECT_EQ(Get(*module, "last"), "up 150 75 0");
    EXPECT_EQ(module->MouseEvent(0x203, 0.5f, 0.5f, 0), flash::BadArgument);
    EXPECT_EQ(module->MouseEvent(flash::MouseMove, std::numeric_limits<float>::quiet_NaN(), 0.5f, 0), flash::BadArgument);

    EXPECT_EQ(module->KeyEvent(flash::KeyDown, 0x41, 0), flash::Ok);
    EXPECT_EQ(module->KeyEvent(flash::KeyUp, 0x41, 0), flash::Ok);
    EXPECT_EQ(module->KeyEvent(flash::Character, 0xE4, 0), flash::Ok);  // ä in Windows-1252
    EXPECT_EQ(module->KeyEvent(flash::Character, 0x80, 0), flash::Ok);  // the euro sign
    EXPECT_EQ(module->KeyEvent(flash::Character, 0x81, 0), flash::BadArgument);  // no character
    EXPECT_EQ(module->KeyEvent(flash::Character, 300, 0), flash::BadArgument);
    EXPECT_EQ(module->KeyEvent(0x104, 1, 0), flash::BadArgument);
    EXPECT_EQ(Get(*module, "keys"), "down65 up65 [ä][€]");

    // A movie without handlers takes every event.
    auto quiet = StartMovie("x = 1\n");
    ASSERT_NE(quiet, nullptr);
    EXPECT_EQ(quiet->MouseEvent(flash::MouseDown, 0.1f, 0.1f, 1), flash::Ok);
    EXPECT_EQ(quiet->KeyEvent(flash::Character, 'a', 0), flash::Ok);
}

}  // namespace
