// A registry export in REGEDIT4 text, the store that stands in for the
// Windows registry on other systems:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Vision Thing\PSEmu Pro\SPU\spuZarn]
//   "SoundBufferSize"=dword:00000008
//
// Keys and value names compare without regard to case, as in the registry.
// Lines this class does not understand, other keys and their values are kept
// as they are when the text is written back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class RegFile {
public:
    RegFile() = default;
    explicit RegFile(std::string_view text);

    bool HasKey(std::string_view key) const;
    // Adds an empty key at the end; does nothing if it exists.
    void AddKey(std::string_view key);

    // A value holding exactly 4 bytes: dword:, or hex: / hex(type): with four
    // bytes, read little-endian. Anything else cannot be read.
    std::optional<uint32_t> ReadValue(std::string_view key, std::string_view name) const;
    // Sets a dword value, replacing the one of that name or adding it at the
    // end of the key (which is added if missing).
    void WriteDword(std::string_view key, std::string_view name, uint32_t value);

    std::string Text() const;

private:
    // One logical line: continuation lines ending in '\' are joined.
    struct Line {
        std::string raw;      // as in the file, continuation lines included
        std::string logical;  // joined, without the continuation marks
    };

    // Index of the key's header line, or npos.
    size_t FindKey(std::string_view key) const;
    // One past the key's last line (the next header, or the end).
    size_t KeyEnd(size_t header) const;
    size_t FindValue(size_t header, std::string_view name) const;

    std::vector<Line> lines_;
};

}  // namespace zarn
