// What the fuzz targets share: the input read as little-endian numbers, and
// a settings store of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>

namespace zarn::fuzz {

// The fuzzer's bytes, taken front to back; past the end every number reads 0.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return size_ == 0; }

    template <typename T>
    T Take() {
        static_assert(std::is_trivially_copyable_v<T>);
        T value{};
        TakeInto(&value, sizeof value);
        return value;
    }

    // Up to `count` bytes into `out`, the rest of `out` left as it is.
    size_t TakeInto(void* out, size_t count) {
        const size_t got = size_ < count ? size_ : count;
        if (got > 0) std::memcpy(out, data_, got);
        data_ += got;
        size_ -= got;
        return got;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

// The plugin's settings go to a store in a fresh folder below /tmp, so a run
// neither reads nor changes the user's; the folder goes when the run ends.
inline void UsePrivateSettingsStore() {
    static std::string folder;
    char pattern[] = "/tmp/spuzarn-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    folder = pattern;
    setenv("XDG_CONFIG_HOME", pattern, 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
}

}  // namespace zarn::fuzz
