// The SPU recorder: a snapshot of sound RAM and registers when a recording
// starts, then every register write the host makes with its time in
// milliseconds, written as a register log (RegisterLog.h) when the recording
// stops.
//
// All of it is used with the SPU lock held. Buffers for the whole million
// entries are allocated at the start, so logging never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "state/FreezeRecord.h"
#include "state/RegisterLog.h"

namespace zarn {

class SpuCore;

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
    static constexpr int32_t kMaxEntries = register_log::kMaxEntries;

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
