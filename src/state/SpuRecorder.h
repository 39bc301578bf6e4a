// The SPU recorder: a snapshot of sound RAM and registers when a recording
// starts, then every register write the host makes with its time in
// milliseconds, written to the log file when the recording stops:
//
//   offset   size      content
//   0        524,288   sound RAM at the start
//   524,288  512       registers 0x1F801C00..0x1F801DFE at the start
//   524,800  4         tick rate: 10 x the recording tempo (1000: milliseconds)
//   524,804  4         entry count N, up to 1,000,000
//   524,808  12 N      RegisterLogEntry records in the order of the writes
//
// All of it is used with the SPU lock held. Buffers for the whole million
// entries are allocated at the start, so logging never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "state/FreezeRecord.h"

namespace zarn {

class SpuCore;

struct RegisterLogEntry {
    uint32_t time;     // milliseconds since the start, modulo 2^32
    uint32_t address;  // as the host passed it, all 32 bits
    uint16_t value;    // the low 16 bits of the value
    uint16_t padding;  // readers ignore it
};
static_assert(sizeof(RegisterLogEntry) == 12);
static_assert(offsetof(RegisterLogEntry, address) == 4);
static_assert(offsetof(RegisterLogEntry, value) == 8);

// Where a finished recording goes: the file's pieces in order, written as
// one file that is either complete or not there at all.
class RecordingSink {
public:
    using Piece = std::span<const std::byte>;
    virtual ~RecordingSink() = default;
    virtual bool Write(std::span<const Piece> pieces) = 0;
};

class SpuRecorder {
public:
    static constexpr int32_t kMaxEntries = 1000000;

    // Memory for the two buffers; null when it cannot be had.
    using Allocate = void* (*)(size_t bytes);
    using Release = void (*)(void* block);

    SpuRecorder();
    SpuRecorder(Allocate allocate, Release release);
    virtual ~SpuRecorder();
    SpuRecorder(const SpuRecorder&) = delete;
    SpuRecorder& operator=(const SpuRecorder&) = delete;

    bool IsRecording() const { return recording_; }
    int32_t EntryCount() const { return entryCount_; }

    // Allocates the buffers, takes the snapshot, then reads the millisecond
    // clock as the start. When a buffer cannot be allocated nothing starts
    // and false is returned.
    bool StartRecording(SpuCore& spu, uint32_t (*tickCount)());

    // The logging step of every host register write.
    void Log(uint32_t now, uint32_t address, uint32_t value) {
        if (!recording_ || entryCount_ >= kMaxEntries) return;
        entries_[entryCount_++] = {now - startTick_, address, static_cast<uint16_t>(value), 0};
    }

    // Writes the log with the tick rate 10 x `tempo` (32-bit arithmetic, no
    // range check). Only when the file is complete are the buffers freed and
    // the recording ended; otherwise it goes on, nothing lost, and the next
    // stop tries again.
    bool StopRecording(int32_t tempo, RecordingSink& sink);

private:
    void FreeBuffers();

    Allocate allocate_;
    Release release_;
    bool recording_ = false;
    FreezeRecord* snapshot_ = nullptr;
    RegisterLogEntry* entries_ = nullptr;
    uint32_t startTick_ = 0;
    int32_t entryCount_ = 0;
};

}  // namespace zarn
