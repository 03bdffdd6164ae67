// One 800 x 600 frame of a menu-like movie (a clear, 40 rectangles of which half are
// half transparent, 8 images drawn scaled, 20 lines of text) through the Flash module's
// render call, against a plain C++ loop doing the same clear, fills, blits and glyph
// blends into a buffer of the same size. The plain loop blits the images already decoded
// and scaled and blends glyph coverage already rasterised; our side is timed after a
// first frame has filled the module's caches, so what is measured is the movie's draw(),
// its API calls and the blending; both blend with the same inline source-over. Both
// frames are compared once before timing. The
// counter "allocs" is the C++ allocations per frame on our side (none wanted).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchAllocations.h"
#include "platform/flash/Canvas.h"
#include "platform/flash/GlyphCache.h"
#include "platform/flash/ImageCache.h"
#include "platform/flash/MovieModule.h"
#include "platform/window/KeyInput.h"
#include "tests/gfx/BmpBytes.h"

namespace {

constexpr int Width = 800, Height = 600;
constexpr int Rects = 40, Images = 8, Lines = 20;
constexpr int ImageWidth = 64, ImageHeight = 48, DrawnWidth = 90, DrawnHeight = 60;
constexpr int TextSize = 20;
const char* const Line = "Menüeintrag: Größe, Tiefe und Luft";

const char* const Movie = R"lua(--tessel movie 1
stage(800, 600)
local line = "Menüeintrag: Größe, Tiefe und Luft"
function draw()
    clear(20 / 255, 30 / 255, 60 / 255, 1)
    for i = 0, 39 do
        rect((i % 8) * 100, (i // 8) * 90, 90, 80, (i * 6) / 255, (200 - i * 4) / 255, 128 / 255,
             i % 2 == 0 and 1 or 128 / 255)
    end
    for j = 0, 7 do image("tile.bmp", 10 + j * 98, 460, 90, 60) end
    for k = 0, 19 do text(40, 10 + k * 28, line, 20, 1, 1, 200 / 255, 1) end
end
)lua";

// A 64 x 48 24-bit BMP with a colour ramp, bottom row first.
std::string TileBmp() {
    BmpBytes bmp;
    bmp.width = ImageWidth;
    bmp.height = ImageHeight;
    for (int y = 0; y < ImageHeight; ++y) {
        for (int x = 0; x < ImageWidth; ++x) {
            bmp.pixels.insert(bmp.pixels.end(), {uint8_t(x * 4), uint8_t(y * 5), uint8_t(255 - x * 2)});
        }
    }
    const std::vector<uint8_t> bytes = bmp.Build();
    return std::string(bytes.begin(), bytes.end());
}

flash::MovieHost Host(const std::string& tile) {
    flash::MovieHost host;
    host.readFile = [tile](const std::string& path, std::string& bytes) {
        if (path == "bench/menu.lua") {
            bytes = Movie;
        } else if (path == "bench/tile.bmp") {
            bytes = tile;
        } else {
            return false;
        }
        return true;
    };
    host.log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    return host;
}

struct Plain {
    flash::ImageCache::Image tile;  // decoded and scaled once
    flash::GlyphCache glyphs;
    flash::GlyphCache::Font* font = nullptr;
    std::string line;  // Windows-1252

    bool Prepare(const std::string& bmp) {
        std::string error;
        flash::ImageCache::Image decoded;
        if (!flash::ImageCache::Decode(bmp, decoded, error)) return false;
        flash::ImageCache::Scale(decoded, DrawnWidth, DrawnHeight, this->tile);
        this->font = this->glyphs.Get(flash::MovieModule::DefaultFace, TextSize, error);
        if (this->font == nullptr) return false;
        window::AppendCp1252FromUtf8(Line, std::strlen(Line), this->line);
        for (char c : this->line) this->glyphs.GlyphOf(*this->font, uint8_t(c));
        return true;
    }

    void Frame(uint32_t* pixels) {
        std::memset(pixels, 0, size_t(Width) * Height * 4);
        for (size_t i = 0; i < size_t(Width) * Height; ++i) pixels[i] = 0xFF141E3Cu;
        for (int i = 0; i < Rects; ++i) {
            const uint32_t colour = uint32_t(i % 2 == 0 ? 255 : 128) << 24 | uint32_t(i * 6) << 16 |
                                    uint32_t(200 - i * 4) << 8 | 128u;
            const int x0 = (i % 8) * 100, y0 = (i / 8) * 90;
            for (int y = y0; y < y0 + 80; ++y) {
                for (int x = x0; x < x0 + 90; ++x) {
                    pixels[y * Width + x] = flash::Canvas::Over(pixels[y * Width + x], colour);
                }
            }
        }
        for (int j = 0; j < Images; ++j) {
            const int x0 = 10 + j * 98, y0 = 460;
            for (int y = 0; y < DrawnHeight; ++y) {
                for (int x = 0; x < DrawnWidth && x0 + x < Width; ++x) {
                    uint32_t& p = pixels[(y0 + y) * Width + x0 + x];
                    p = flash::Canvas::Over(p, this->tile.pixels[size_t(y) * DrawnWidth + x]);
                }
            }
        }
        for (int k = 0; k < Lines; ++k) {
            int penX = 40;
            const int penY = 10 + k * 28;
            for (char c : this->line) {
                const flash::GlyphCache::Glyph& g = this->font->glyphs[uint8_t(c)];
                for (int y = 0; y < g.height; ++y) {
                    for (int x = 0; x < g.width; ++x) {
                        const uint32_t coverage = g.coverage[size_t(y) * g.width + x];
                        if (coverage == 0) continue;
                        uint32_t& p = pixels[(penY + g.top + y) * Width + penX + g.left + x];
                        p = flash::Canvas::Over(p, ((coverage * 255 + 127) / 255) << 24 | 0xFFFFC8u);
                    }
                }
                penX += this->font->face->GetAdvance(uint8_t(c));
            }
        }
    }
};

struct Fixture {
    std::unique_ptr<flash::MovieModule> module;
    std::vector<uint8_t> ours = std::vector<uint8_t>(size_t(Width) * Height * 4);
    std::vector<uint32_t> plainPixels = std::vector<uint32_t>(size_t(Width) * Height);
    Plain plain;
    std::string error;

    Fixture() {
        const std::string tile = TileBmp();
        this->module = std::make_unique<flash::MovieModule>(Host(tile));
        if (this->module->AttachWindow(0) < 0 || this->module->Initialize(0, 1) < 0 ||
            this->module->LoadMovie("bench/menu.lua") < 0 || this->module->Play() < 0) {
            this->error = "the movie does not load";
        } else if (!this->plain.Prepare(tile)) {
            this->error = "the plain side cannot decode its image or open its face";
        } else if (this->module->Render(this->ours.data(), Width, Height, 4) < 0) {
            this->error = "the movie does not render";
        } else {
            this->plain.Frame(this->plainPixels.data());
            if (std::memcmp(this->ours.data(), this->plainPixels.data(), this->ours.size()) != 0) {
                this->error = "the two frames differ";
            }
        }
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_MovieFrame(benchmark::State& state) {
    Fixture& f = Shared();
    if (!f.error.empty()) {
        state.SkipWithError(f.error.c_str());
        return;
    }
    const long before = bench::allocations.load();
    int64_t frames = 0;
    for (auto _ : state) {
        f.module->Render(f.ours.data(), Width, Height, 4);
        benchmark::DoNotOptimize(f.ours.data());
        ++frames;
    }
    state.counters["allocs"] = frames > 0 ? double(bench::allocations.load() - before) / double(frames) : 0.0;
}
BENCHMARK(BM_MovieFrame)->Unit(benchmark::kMillisecond);

void BM_PlainLoopFrame(benchmark::State& state) {
    Fixture& f = Shared();
    if (!f.error.empty()) {
        state.SkipWithError(f.error.c_str());
        return;
    }
    for (auto _ : state) {
        f.plain.Frame(f.plainPixels.data());
        benchmark::DoNotOptimize(f.plainPixels.data());
    }
}
BENCHMARK(BM_PlainLoopFrame)->Unit(benchmark::kMillisecond);

}  // namespace
