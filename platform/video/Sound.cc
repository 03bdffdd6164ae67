#include "platform/video/Sound.h"

#include <algorithm>
#include <cstring>

#include "platform/audio/Device.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/video/Decoder.h"

namespace video {

std::unique_ptr<Sound> Sound::Start(audio::Device& device, Decoder& decoder, std::string& error) {
    const int channels = 2;
    if (!decoder.HasAudio() || !decoder.SetAudioOutput(device.GetRate(), channels)) {
        error = "no sound track that converts";
        return nullptr;
    }
    std::unique_ptr<Sound> s(new Sound);
    s->decoder = &decoder;
    s->rate = device.GetRate();
    s->channels = channels;
    const size_t chunk = audio::SoundBuffer::ChunkBytes;
    const size_t want = size_t(BufferSeconds * s->rate) * size_t(channels) * 2;
    s->ringBytes = std::max<size_t>(2, (want + chunk - 1) / chunk) * chunk;
    audio::Result result = audio::Result::Ok;
    s->buffer = device.CreateBuffer(channels, s->ringBytes, false, result);
    if (!s->buffer) {
        error = "the output gives no sound buffer";
        return nullptr;
    }
    s->fill(s->ringBytes);
    if (s->buffer->Play() != audio::Result::Ok) {
        error = "the sound buffer does not play";
        return nullptr;
    }
    return s;
}

Sound::~Sound() {
    if (buffer) buffer->Stop();
}

void Sound::fill(uint64_t upTo) {
    while (written < upTo) {
        const size_t offset = size_t(written % ringBytes);
        // Up to the end of the ring at most, so that each piece is one part.
        const size_t bytes = size_t(std::min<uint64_t>(upTo - written, ringBytes - offset)) & ~size_t(3);
        if (bytes == 0) break;
        void* p1 = nullptr;
        void* p2 = nullptr;
        size_t b1 = 0, b2 = 0;
        if (buffer->Lock(offset, bytes, p1, b1, p2, b2) != audio::Result::Ok || !p1) return;
        const int frames = int(b1 / size_t(channels * 2));
        chunk.resize(size_t(frames) * size_t(channels));
        const int got = decoder->ReadAudio(chunk.data(), frames);
        std::fill(chunk.begin() + std::ptrdiff_t(got) * channels, chunk.end(), int16_t(0));
        std::memcpy(p1, chunk.data(), chunk.size() * sizeof(int16_t));
        buffer->Unlock();
        written += b1;
    }
}

bool Sound::Service() {
    size_t play = 0, write = 0;
    if (buffer->GetCurrentPosition(play, write) != audio::Result::Ok) return false;
    played += (play + ringBytes - lastPlay) % ringBytes;
    lastPlay = play;
    // What is queued already is heard as it is; a stall past it skips ahead.
    const uint64_t queued = played + (write + ringBytes - play) % ringBytes;
    if (written < queued) written = queued;
    fill(played + ringBytes);
    return true;
}

double Sound::Seconds() const {
    return double(played) / double(channels * 2) / double(rate);
}

}  // namespace video
