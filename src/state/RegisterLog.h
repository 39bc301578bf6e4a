// The register log file "spuZarn.pss" that the recorder writes: the sound
// RAM and registers at the start of a recording, then every register write
// the host made, with its time (little-endian, no magic number, no version):
//
//   offset   size      content
//   0        524,288   sound RAM at the start
//   524,288  512       registers 0x1F801C00..0x1F801DFE at the start
//   524,800  4         tick rate: ticks per second of the entry times,
//                      10 x the recording tempo (1000: milliseconds)
//   524,804  4         entry count N, up to 1,000,000
//   524,808  12 N      RegisterLogEntry records in the order of the writes
#pragma once

#include <cstddef>
#include <cstdint>

#include "voice/SpuConstants.h"

namespace zarn {

struct RegisterLogEntry {
    uint32_t time;     // ticks since the start, modulo 2^32
    uint32_t address;  // as the host passed it, all 32 bits
    uint16_t value;    // the low 16 bits of the value
    uint16_t padding;  // readers ignore it
};
static_assert(sizeof(RegisterLogEntry) == 12);
static_assert(offsetof(RegisterLogEntry, address) == 4);
static_assert(offsetof(RegisterLogEntry, value) == 8);

namespace register_log {

constexpr const char* kFileName = "spuZarn.pss";
constexpr size_t kRamOffset = 0;
constexpr size_t kRegistersOffset = kRamOffset + kRamBytes;
constexpr size_t kTickRateOffset = kRegistersOffset + 2 * kRegisterBlockWords;
constexpr size_t kCountOffset = kTickRateOffset + 4;
constexpr size_t kEntriesOffset = kCountOffset + 4;
constexpr int32_t kMaxEntries = 1000000;
static_assert(kRegistersOffset == 524288 && kTickRateOffset == 524800 && kEntriesOffset == 524808);

// The size of a log holding `entries` entries.
constexpr uint64_t FileSize(uint64_t entries) { return kEntriesOffset + sizeof(RegisterLogEntry) * entries; }

}  // namespace register_log
}  // namespace zarn
