// What the fuzz targets share: the input read as little-endian numbers, a
// settings store of their own, and the size of a save state a host hands back.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>

#include "state/FreezeRecord.h"

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

// The bytes a host hands over with a save state whose header (16 bytes) says
// its size: all it says, at least a base record (a load reads one whole
// whatever the header says) and at most 1 MiB; buffers of exactly this size
// let ASan see an access past them.
inline size_t RecordBytes(const uint8_t* header) {
    const uint32_t size = header[12] | header[13] << 8 | header[14] << 16 | uint32_t{header[15]} << 24;
    return std::clamp<size_t>(size, FreezeRecord::kSize, size_t{1} << 20);
}

}  // namespace zarn::fuzz
