#include "spuhost/RegisterLogFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "spuhost/Text.h"
#include "spuhost/ToolError.h"

namespace spuhost {

namespace layout = zarn::register_log;

static_assert(std::endian::native == std::endian::little, "the log is read as it lies in memory");

namespace {

constexpr uint64_t kLargest = layout::FileSize(layout::kMaxEntries);

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

uint32_t Word32(const uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

uint64_t RegisterLogFile::Frame(const zarn::RegisterLogEntry& entry) const {
    return uint64_t{entry.time} * kFrameRate / tickRate;
}

double RegisterLogFile::Duration() const {
    uint32_t last = 0;
    for (const zarn::RegisterLogEntry& entry : entries) last = std::max(last, entry.time);
    return tickRate == 0 ? 0 : static_cast<double>(last) / tickRate;
}

RegisterLogFile ReadRegisterLog(const std::string& path, bool needTickRate) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    const auto readFailed = [&] { return ToolError("cannot read " + path + ": " + std::strerror(errno)); };

    // The size, by reading: a log is at most 12.5 MB, and a pipe has no size
    // to ask for.
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (size_t got; bytes.size() <= kLargest && (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (std::ferror(file.get())) throw readFailed();
    return ParseRegisterLog(path, bytes, needTickRate);
}

RegisterLogFile ParseRegisterLog(const std::string& path, const std::vector<uint8_t>& bytes, bool needTickRate) {
    RegisterLogFile log;
    log.path = path;
    log.fileBytes = bytes.size();

    const std::string name =
        path + " (" + (bytes.size() > kLargest ? "more than " : "") + Thousands(bytes.size()) + " bytes)";
    if (bytes.size() < layout::kEntriesOffset) {
        throw ToolError(name + " is not a register log: a log is at least " + Thousands(layout::kEntriesOffset) +
                        " bytes (sound RAM, registers, tick rate and entry count)");
    }
    const uint32_t count = Word32(&bytes[layout::kCountOffset]);
    if (count > static_cast<uint32_t>(layout::kMaxEntries)) {
        throw ToolError(name + " counts " + Thousands(count) + " entries; a log holds at most " +
                        Thousands(layout::kMaxEntries));
    }
    if (bytes.size() != layout::FileSize(count)) {
        throw ToolError(name + " is not a whole register log: its " + Thousands(count) + " entries take " +
                        Thousands(layout::kEntriesOffset) + " + 12 x " + Thousands(count) + " = " +
                        Thousands(layout::FileSize(count)) + " bytes");
    }
    log.tickRate = Word32(&bytes[layout::kTickRateOffset]);
    if (needTickRate && log.tickRate == 0) {
        throw ToolError(path +
                        " has a tick rate of 0 ticks per second (recorded at tempo 0), so its times"
                        " say nothing about when the writes happened");
    }
    log.soundRam.assign(bytes.begin() + layout::kRamOffset, bytes.begin() + layout::kRegistersOffset);
    log.registers.resize(zarn::kRegisterBlockWords);
    std::memcpy(log.registers.data(), &bytes[layout::kRegistersOffset], 2 * log.registers.size());
    log.entries.resize(count);
    if (count > 0) {
        std::memcpy(log.entries.data(), &bytes[layout::kEntriesOffset], sizeof(zarn::RegisterLogEntry) * count);
    }
    return log;
}

}  // namespace spuhost
