// OpenGL and its driver stay loaded once a display has opened: a driver unloaded with the
// last display leaves its blocks without a module name, and the leak check then blames us.
// Meaningful as CTest runs it, in a process where no other test loaded OpenGL first.
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
            for (const char* part : {"_dri.so", "libGL", "libEGL", "libOpenGL", "glapi", "nvidia"})
                if (path.find(part, path.rfind('/') + 1) != std::string::npos)
                    static_cast<std::set<std::string>*>(data)->insert(path);
            return 0;
        },
        &names);
    return names;
}

class DisplayReopenTest : public GfxTestKernel {};

TEST_F(DisplayReopenTest, TheOpenGlDriverStaysLoadedAfterEveryDisplayHasClosed) {
    // Two servers one after the other, each opening and closing its display at a mode of its own.
    std::set<std::string> whileOpen;
    for (const char* mode : {"w(320)-h(200)-zbuf(16)", "w(640)-h(480)-zbuf(16)"}) {
        auto* gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        ASSERT_TRUE(gfx->SetDisplayMode(mode) && gfx->OpenDisplay()) << mode;
        if (whileOpen.empty()) whileOpen = GlObjects();
        gfx->CloseDisplay();
        gfx->Release();
    }
    ASSERT_FALSE(whileOpen.empty());
    const std::set<std::string> after = GlObjects();
    for (const std::string& name : whileOpen) EXPECT_EQ(after.count(name), 1u) << name << " was unloaded";
}

}  // namespace
