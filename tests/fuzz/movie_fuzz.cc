// Plays arbitrary text as a movie under small limits, as the Flash node would: load,
// play, three renders at both depths and a movie rectangle, mouse and key messages and
// variable traffic. Whatever the movie does, every call returns and the module unloads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/flash/MovieModule.h"

namespace {

// A 2 x 2 24-bit BMP, bottom row first.
const uint8_t Picture[] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0,
                           0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string movie(reinterpret_cast<const char*>(data), size);
    flash::MovieHost host;
    host.readFile = [&movie](const std::string& path, std::string& bytes) {
        if (path == "fuzz/movie.lua") {
            bytes = movie;
        } else if (path == "fuzz/pic.bmp") {
            bytes.assign(reinterpret_cast<const char*>(Picture), sizeof Picture);
        } else {
            return false;
        }
        return true;
    };
    host.log = [](const std::string&) {};
    flash::LuaSandbox::Limits limits;
    limits.instructions = 200000;
    limits.memoryBytes = 4u << 20;
    limits.seconds = 1.0;
    flash::MovieModule module(host, limits);
    if (module.AttachWindow(1) < 0 || module.Initialize(0, 1) < 0) std::abort();
    if (module.LoadMovie("fuzz/movie.lua") >= 0) {
        if (module.Play() < 0 || module.IsReady() != 1) std::abort();
        std::vector<uint8_t> frame(64 * 48 * 4);
        module.Render(frame.data(), 64, 48, 4);
        module.MouseEvent(flash::MouseMove, 0.5f, 0.5f, 0);
        module.MouseEvent(flash::MouseDown, 0.25f, 0.75f, 1);
        module.KeyEvent(flash::KeyDown, 0x41, 0);
        module.KeyEvent(flash::Character, 0xE4, 0);
        module.SetVariable("input", "_root.mousein()");
        module.SetVariable("_root.update_tex", "");
        module.Render(frame.data(), 64, 48, 2);
        module.SetMovieRect(8, 4, 40, 36);
        module.Render(frame.data(), 64, 48, 4);
        char text[16];
        size_t length = sizeof text;
        module.CopyVariable("Tessel_script", &length, text);
        const char* value = nullptr;
        if (module.GetVariable("net_msg_output", &value, &length) >= 0 && value == nullptr) std::abort();
    }
    module.Stop();
    if (module.Unload() < 0) std::abort();
    return 0;
}
