// The OpenGL library and its driver stay loaded once a display has opened. A driver
// unloaded when the last display closes leaves the blocks it allocated without a module
// name, so the leak check can no longer tell them from our own. Run as CTest runs it (a
// process of its own): no other test may have loaded OpenGL first.
#include <gtest/gtest.h>
#include <link.h>

#include <set>
#include <string>

#include "gfx/nD3D8Server.h"
#include "tests/gfx/GfxTestKernel.h"

namespace {

// The loaded objects that belong to OpenGL: dispatch libraries and drivers.
std::set<std::string> GlObjects() {
    std::set<std::string> names;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const std::string path = info->dlpi_name ? info->dlpi_name : "";
            const std::string file = path.substr(path.rfind('/') + 1);
            for (const char* part : {"_dri.so", "libGL", "libEGL", "libOpenGL", "glapi", "nvidia"})
                if (file.find(part) != std::string::npos) static_cast<std::set<std::string>*>(data)->insert(path);
            return 0;
        },
        &names);
    return names;
}

class DisplayReopenTest : public GfxTestKernel {};

TEST_F(DisplayReopenTest, TheOpenGlDriverStaysLoadedAfterEveryDisplayHasClosed) {
    // Two servers one after the other, each opening and closing its display at its own
    // mode, as the mode fallback and a server made again do.
    std::set<std::string> whileOpen;
    for (const char* mode : {"w(320)-h(200)-zbuf(16)", "w(640)-h(480)-zbuf(16)"}) {
        SCOPED_TRACE(mode);
        auto* gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        ASSERT_NE(gfx, nullptr);
        ASSERT_TRUE(gfx->SetDisplayMode(mode));
        ASSERT_TRUE(gfx->OpenDisplay());
        if (whileOpen.empty()) whileOpen = GlObjects();
        gfx->CloseDisplay();
        gfx->Release();
    }
    ASSERT_FALSE(whileOpen.empty());
    const std::set<std::string> after = GlObjects();
    for (const std::string& name : whileOpen) EXPECT_EQ(after.count(name), 1u) << name << " was unloaded";
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
