#include "platform/flash/ImageCache.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/image/Picture.h"

namespace flash {

void ImageCache::Key(std::string_view name, std::string& key) {
    key.clear();
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view step = name.substr(start, end - start);
        if (!step.empty() && step != ".") {
            if (!key.empty()) key += '/';
            for (const char c : step) key += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        start = end + 1;
    }
}

bool ImageCache::Decode(const std::string& bytes, Image& out, std::string& error, int maxSide,
                        std::function<bool(int width, int height, std::string& error)> admit) {
    image::Limits limits;
    limits.maxSide = maxSide;
    limits.admit = std::move(admit);
    limits.maxPixels = MaxScaledPixels;
    image::Picture picture;
    if (!image::Decode(bytes.data(), bytes.size(), picture, error, limits)) return false;
    out.width = picture.width;
    out.height = picture.height;
    out.pixels = std::move(picture.pixels);
    return true;
}

void ImageCache::Scale(const Image& source, int width, int height, Image& out) {
    out.width = width;
    out.height = height;
    out.pixels.assign(size_t(width) * size_t(height), 0);
    if (source.width < 1 || source.height < 1) return;
    const double fx = double(source.width) / width, fy = double(source.height) / height;
    for (int y = 0; y < height; ++y) {
        const double sy = std::clamp((y + 0.5) * fy - 0.5, 0.0, double(source.height - 1));
        const int y0 = int(sy), y1 = std::min(y0 + 1, source.height - 1);
        const double wy = sy - y0;
        for (int x = 0; x < width; ++x) {
            const double sx = std::clamp((x + 0.5) * fx - 0.5, 0.0, double(source.width - 1));
            const int x0 = int(sx), x1 = std::min(x0 + 1, source.width - 1);
            const double wx = sx - x0;
            const uint32_t corners[4] = {source.pixels[size_t(y0) * source.width + x0],
                                         source.pixels[size_t(y0) * source.width + x1],
                                         source.pixels[size_t(y1) * source.width + x0],
                                         source.pixels[size_t(y1) * source.width + x1]};
            const double weights[4] = {(1 - wx) * (1 - wy), wx * (1 - wy), (1 - wx) * wy, wx * wy};
            double alpha = 0, sum[3] = {0, 0, 0};
            for (int i = 0; i < 4; ++i) {
                const double a = weights[i] * double(corners[i] >> 24);
                alpha += a;
                for (int c = 0; c < 3; ++c) sum[c] += a * double((corners[i] >> (8 * c)) & 0xFF);
            }
            uint32_t word = uint32_t(std::lround(alpha)) << 24;
            if (alpha > 0) {
                for (int c = 0; c < 3; ++c) {
                    word |= uint32_t(std::clamp(std::lround(sum[c] / alpha), 0L, 255L)) << (8 * c);
                }
            }
            out.pixels[size_t(y) * width + x] = word;
        }
    }
}

ImageCache& ImageCache::operator=(ImageCache&& other) noexcept {
    if (this == &other) return *this;
    this->read = std::move(other.read);
    this->entries = std::move(other.entries);
    this->refused = std::move(other.refused);
    this->uses = other.uses;
    this->worked = other.worked;
    this->kept = std::move(other.kept);
    this->price = std::move(other.price);
    other.entries.clear();
    other.refused.clear();
    return *this;
}

bool ImageCache::MakeRoom(size_t extra, const Entry* keep) {
    for (;;) {
        if (this->kept.Take(extra, MaxBytes)) return true;
        // The least recently used piece: a scaled copy, or an image with its copies.
        Entry* oldestEntry = nullptr;
        std::list<Sized>::iterator oldestSize;
        bool isCopy = false;
        uint64_t oldest = UINT64_MAX;
        for (auto& [key, entry] : this->entries) {
            if (!entry.loaded) continue;
            for (auto it = entry.sizes.begin(); it != entry.sizes.end(); ++it) {
                if (&entry != keep && it->lastUse < oldest) {
                    oldest = it->lastUse, oldestEntry = &entry, oldestSize = it, isCopy = true;
                }
            }
            if (&entry != keep && entry.lastUse < oldest) oldest = entry.lastUse, oldestEntry = &entry, isCopy = false;
        }
        if (oldestEntry == nullptr) return false;
        if (isCopy) {
            this->kept.Give(oldestSize->image.Bytes());
            oldestEntry->sizes.erase(oldestSize);
            continue;
        }
        for (const Sized& sized : oldestEntry->sizes) this->kept.Give(sized.image.Bytes());
        this->kept.Give(oldestEntry->image.Bytes());
        for (auto it = this->entries.begin(); it != this->entries.end(); ++it) {
            if (&it->second == oldestEntry) {
                this->entries.erase(it);
                break;
            }
        }
    }
}

const ImageCache::Image* ImageCache::Get(std::string_view name, int width, int height, std::string& error) {
    Key(name, this->key);
    const std::string& key = this->key;
    auto found = this->entries.find(key);
    ++this->uses;
    if (found == this->entries.end()) {
        // A decode refused for its price or its room is asked both again before its file is
        // read again.
        auto gone = this->refused.find(key);
        if (gone != this->refused.end()) {
            const uint64_t pixels = gone->second;
            if (this->price && !this->price(Work::Decode, pixels, error)) return nullptr;
            if (!MakeRoom(pixels * sizeof(uint32_t), nullptr)) {
                error = "no room for the image '" + key + "': data keeps as much as it may";
                return nullptr;
            }
            this->kept.Give(pixels * sizeof(uint32_t));
            this->refused.erase(gone);
        }
        if (this->entries.size() >= MaxImages) {
            // The least recently used file leaves, failed ones first.
            auto oldest = this->entries.begin();
            for (auto it = this->entries.begin(); it != this->entries.end(); ++it) {
                if ((!it->second.loaded && oldest->second.loaded) ||
                    (it->second.loaded == oldest->second.loaded && it->second.lastUse < oldest->second.lastUse)) {
                    oldest = it;
                }
            }
            for (const Sized& sized : oldest->second.sizes) this->kept.Give(sized.image.Bytes());
            this->kept.Give(oldest->second.image.Bytes());
            this->entries.erase(oldest);
        }
        Entry entry;
        std::string bytes;
        // The decode is priced and its pixels held from the header's size, before it runs.
        size_t admitted = 0;
        bool refused = false;
        const auto admit = [&](int w, int h, std::string& why) {
            const uint64_t pixels = uint64_t(w) * uint64_t(h);
            const bool priced = !this->price || this->price(Work::Decode, pixels, why);
            if (!priced || !MakeRoom(pixels * sizeof(uint32_t), nullptr)) {
                if (priced) why = "no room for the image '" + key + "': data keeps as much as it may";
                refused = true;
                if (this->refused.size() >= MaxImages) this->refused.erase(this->refused.begin());
                this->refused.emplace(key, pixels);
                return false;
            }
            admitted = pixels * sizeof(uint32_t);
            return true;
        };
        entry.loaded = this->read(key, bytes, error) && Decode(bytes, entry.image, error, MaxSide, admit);
        bytes = std::string();
        if (!entry.loaded) this->kept.Give(admitted);
        // Not remembered as failed: time or room may come later.
        if (refused) return nullptr;
        if (entry.loaded) this->worked += entry.image.pixels.size();
        found = this->entries.emplace(key, std::move(entry)).first;
        if (!found->second.loaded) return nullptr;
    }
    Entry& entry = found->second;
    if (!entry.loaded) return nullptr;
    entry.lastUse = this->uses;
    if (width == 0 || height == 0 || (width == entry.image.width && height == entry.image.height)) {
        return &entry.image;
    }
    if (width < 0 || height < 0 || width > MaxSide || height > MaxSide ||
        int64_t(width) * height > MaxScaledPixels) {
        error = "a drawn size of " + std::to_string(width) + " x " + std::to_string(height) + " is out of range";
        return nullptr;
    }
    for (Sized& sized : entry.sizes) {
        if (sized.image.width == width && sized.image.height == height) {
            sized.lastUse = this->uses;
            return &sized.image;
        }
    }
    if (entry.sizes.size() >= MaxSizes) {
        auto oldest = std::min_element(entry.sizes.begin(), entry.sizes.end(),
                                       [](const Sized& a, const Sized& b) { return a.lastUse < b.lastUse; });
        this->kept.Give(oldest->image.Bytes());
        entry.sizes.erase(oldest);
    }
    if (this->price && !this->price(Work::Scale, uint64_t(width) * uint64_t(height), error)) return nullptr;
    const size_t bytes = size_t(width) * size_t(height) * sizeof(uint32_t);
    // Still too much with every other image gone: this entry's own copies go too.
    bool room = MakeRoom(bytes, &entry);
    while (!room && !entry.sizes.empty()) {
        this->kept.Give(entry.sizes.front().image.Bytes());
        entry.sizes.pop_front();
        room = MakeRoom(bytes, &entry);
    }
    if (!room) {
        error = "no room for the image '" + key + "' at another size: data keeps as much as it may";
        return nullptr;
    }
    Sized& slot = entry.sizes.emplace_back();
    Scale(entry.image, width, height, slot.image);
    this->worked += slot.image.pixels.size();
    slot.lastUse = this->uses;
    return &slot.image;
}

}  // namespace flash
