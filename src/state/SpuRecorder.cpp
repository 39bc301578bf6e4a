#include "state/SpuRecorder.h"

#include <bit>
#include <new>

#include "core/SpuCore.h"
#include "voice/Arith.h"

namespace zarn {

static_assert(std::endian::native == std::endian::little, "the log file is written as it lies in memory");

namespace {
void* AllocateBlock(size_t bytes) { return ::operator new(bytes, std::nothrow); }
void ReleaseBlock(void* block) { ::operator delete(block); }
}  // namespace

SpuRecorder::SpuRecorder() : SpuRecorder(AllocateBlock, ReleaseBlock) {}

SpuRecorder::SpuRecorder(Allocate allocate, Release release) : allocate_(allocate), release_(release) {}

SpuRecorder::~SpuRecorder() { FreeBuffers(); }

void SpuRecorder::FreeBuffers() {
    if (snapshot_ != nullptr) release_(snapshot_);
    if (entries_ != nullptr) release_(entries_);
    snapshot_ = nullptr;
    entries_ = nullptr;
}

bool SpuRecorder::StartRecording(SpuCore& spu, uint32_t (*tickCount)()) {
    if (recording_) return true;
    snapshot_ = static_cast<FreezeRecord*>(allocate_(sizeof(FreezeRecord)));
    entries_ = static_cast<RegisterLogEntry*>(allocate_(sizeof(RegisterLogEntry) * kMaxEntries));
    if (snapshot_ == nullptr || entries_ == nullptr) {
        FreeBuffers();
        return false;
    }
    recording_ = true;
    SaveFreeze(spu, *snapshot_, true);
    startTick_ = tickCount();
    entryCount_ = 0;
    return true;
}

bool SpuRecorder::StopRecording(int32_t tempo, RecordingSink& sink) {
    if (!recording_) return false;
    const int32_t tickRate = wrapMul(tempo, 2000) / 200;
    const int32_t count = entryCount_;
    const RecordingSink::Piece pieces[] = {
        std::as_bytes(std::span(snapshot_->soundRam)),
        std::as_bytes(std::span(snapshot_->registers)),
        std::as_bytes(std::span(&tickRate, 1)),
        std::as_bytes(std::span(&count, 1)),
        std::as_bytes(std::span(entries_, static_cast<size_t>(count))),
    };
    if (!sink.Write(pieces)) return false;
    FreeBuffers();
    recording_ = false;
    return true;
}

}  // namespace zarn
