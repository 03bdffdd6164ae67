// Feeds arbitrary bytes to the video layer as the players open files, and plays what
// opens as they do: frames in order through the wrap, frames by number, conversions of
// the whole frame and of a part into both back-buffer layouts, the picture for the AVI
// copy, and the sound track. Whatever opens must describe itself sanely, and nothing
// else is opened: a playlist or script as input must not reach a file or a socket.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/video/Decoder.h"

namespace {

// Set while the decoder runs: the input is in memory, so any file or socket it makes
// was asked for by the input.
bool decoding = false;

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void Refuse(const char* call, const char* what) {
    if (!decoding) return;
    std::fprintf(stderr, "video_fuzz: the decoder called %s(%s)\n", call, what ? what : "");
    std::abort();
}

mode_t ModeOf(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

}  // namespace

// Libavformat opens files with open (open64 under 64-bit offsets) and sockets with
// socket and connect; these stand in front of the C library's.
extern "C" {
int open(const char* path, int flags, ...) {
    Refuse("open", path);
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return Real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
    Refuse("open64", path);
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return Real<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}
int socket(int domain, int type, int protocol) {
    Refuse("socket", nullptr);
    return Real<int (*)(int, int, int)>("socket")(domain, type, protocol);
}
int connect(int fd, const sockaddr* address, socklen_t length) {
    Refuse("connect", nullptr);
    return Real<int (*)(int, const sockaddr*, socklen_t)>("connect")(fd, address, length);
}
}

static int Decode(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decoding = true;
    const int r = Decode(data, size);
    decoding = false;
    return r;
}

static int Decode(const uint8_t* data, size_t size) {
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
