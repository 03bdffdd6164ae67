#pragma once
// The bytes a movie's cache holds: under the cache's own cap, and each more byte asked of a
// keeper as well (data's memory bound, all movies together), which hears of each given back.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

namespace flash {

class KeptBytes {
public:
    using Keeper = std::function<bool(int64_t bytes)>;
    KeptBytes() = default;
    KeptBytes(KeptBytes&& other) noexcept { *this = std::move(other); }
    // Gives back what this held; takes what the other holds, keeper and all.
    KeptBytes& operator=(KeptBytes&& other) noexcept {
        if (this == &other) return *this;
        Give(this->held);
        this->keeper = std::move(other.keeper);
        this->held = std::exchange(other.held, 0);
        return *this;
    }
    ~KeptBytes() { Give(this->held); }
    void SetKeeper(Keeper keeper) { this->keeper = std::move(keeper); }

    // Holds `bytes` more when they fit under `cap` and the keeper has room for them.
    bool Take(size_t bytes, size_t cap) {
        if (this->held + bytes > cap || (this->keeper && !this->keeper(int64_t(bytes)))) return false;
        this->held += bytes;
        return true;
    }
    void Give(size_t bytes) {
        if (bytes == 0) return;
        this->held -= bytes;
        if (this->keeper) this->keeper(-int64_t(bytes));
    }
    size_t Held() const { return this->held; }

private:
    Keeper keeper;
    size_t held = 0;
};

}  // namespace flash
