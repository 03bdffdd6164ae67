// Feeds arbitrary bytes to the video layer as the players open files, and plays what
// opens as they do: frames in order through the wrap, frames by number, conversions of
// the whole frame and of a part into both back-buffer layouts, the picture for the AVI
// copy, and the sound track. Whatever opens must describe itself sanely.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/video/Decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto d = video::Decoder::Open(std::make_unique<video::MemorySource>(data, size), error);
    if (!d) {
        if (error.empty()) std::abort();
        return 0;
    }
    const int w = d->Width(), h = d->Height();
    if (w <= 0 || h <= 0 || w > video::Decoder::MaxSide || h > video::Decoder::MaxSide || d->FrameCount() <= 0 ||
        d->FrameRate().num <= 0 || d->FrameRate().den <= 0) {
        std::abort();
    }
    // Large frames are opened and described, but converting them would only slow the run.
    const bool convert = size_t(w) * size_t(h) <= 512 * 512;
    std::vector<uint8_t> pixels(convert ? size_t(w) * size_t(h) * 4 + 64 : 0);
    auto show = [&] {
        if (!convert) return;
        d->CopyTo(video::Layout::BGRX32, 0, 0, w, h, pixels.data(), w * 4);
        if (w > 2 && h > 2) d->CopyTo(video::Layout::RGB565, 1, 1, w - 2, h - 2, pixels.data(), w * 2);
        video::Picture pic;
        if (d->GetPicture(pic)) {
            if ((pic.bitsPerPixel != 8 && pic.bitsPerPixel != 24) || !pic.pixels || pic.width != w || pic.height != h ||
                (pic.bitsPerPixel == 8 && !pic.palette)) {
                std::abort();
            }
            // Every byte the AVI copy reads.
            unsigned sum = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w * pic.bitsPerPixel / 8; ++x) sum += pic.pixels[std::ptrdiff_t(y) * pic.pitch + x];
            if (pic.bitsPerPixel == 8)
                for (int i = 0; i < 256; ++i) sum += pic.palette[i];
            (void)sum;
        }
    };
    for (int i = 0; i < 6 && d->NextFrame(); ++i) {
        if (d->CurrentFrame() < 0) std::abort();
        show();
    }
    for (int n : {d->FrameCount() - 1, 0, d->FrameCount() / 2}) {
        if (d->SeekFrame(n)) show();
    }
    if (d->SetAudioOutput(22050, 2)) {
        std::vector<int16_t> samples(2 * 4096);
        for (int i = 0; i < 4; ++i) {
            const int got = d->ReadAudio(samples.data(), 4096);
            if (got < 0 || got > 4096) std::abort();
        }
    }
    return 0;
}
