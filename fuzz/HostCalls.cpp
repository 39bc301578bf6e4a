// Fuzz target: host calls against one plugin from SPUinit to SPUshutdown:
// register writes and reads at any address, DMA words and blocks of any
// count, XA blocks with any header, CD audio of any byte count, small
// renders, save-state size queries, saves and loads (of the saved record with
// bytes changed), settings changed to any value, and sound model switches.
//
// The harness is an honest host: every buffer holds what the call says (an
// XA block the samples its header describes, a save the size the last size
// query answered, a load the size its header names), so whatever ASan or
// UBSan reports is the plugin's fault. The XA wait stays off (no sound thread
// drains here), and so does SPUopen, whose threads would make runs
// irreproducible (tests/stress runs them): a switch is what SPUopen does on
// finding the stored "ConsoleAccurate" changed.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/SpuCore.h"
#include "fuzz/FuzzInput.h"
#include "platform/SpuLock.h"
#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "state/FreezeRecord.h"
#include "xa/XaDecodeBlock.h"

namespace zarn::fuzz {
namespace {

// clang-format off
enum Call : uint8_t {
    kWriteRegister, kWriteAnyRegister, kReadRegister, kWriteDma, kReadDma, kWriteDmaBlock, kReadDmaBlock, kPlayXa,
    kRender, kSave, kLoad, kChangeSetting, kRegisterIrq, kChooseMixPath, kPlayCdda, kSwitchModel, kCallCount
};

using DS = DriverSettings;
int32_t DS::*const kFields[] = {
    &DS::WaveFormatSampleRate, &DS::WaveFormatBytesPerSample, &DS::WaveFormatChannels, &DS::SoundBufferSize,
    &DS::XABufferSize, &DS::HighResolutionMode, &DS::ShowRealtimeConfigWindow, &DS::EnableNoiseAndFM,
    &DS::EnableReverb, &DS::EnableSpuIrq, &DS::EnableAutoGain, &DS::XAVolume, &DS::ReverbVolume, &DS::TickParSecond};
// clang-format on

// Blocks larger than this are cut down to it (the harness must be able to
// allocate what it claims).
constexpr int64_t kMostXaSamples = 1 << 16;

// The interrupt function queues a little XA from inside the mix, as a host
// that services the SPU interrupt at once might.
XaDecodeBlock irqBlock = {44100, 16, 0, 16, {}, {}};
int irqCalls = 0;
void ZARN_CALL QueueXaFromIrq() {
    if (++irqCalls % 4 == 0) SPUplayADPCMchannel(&irqBlock);
}

uint32_t RegisterAddress(FuzzInput& in) { return 0x1F801C00u | (in.Take<uint16_t>() & 0x3FFu); }

// Samples a block with this header holds: its frames times its channels,
// the frame count as the plugin's XA input defines it.
int64_t DeclaredSamples(const XaDecodeBlock& header) {
    const int64_t channels = int64_t{header.stereo} + 1;
    if (channels <= 0) return 0;
    int64_t bytes = channels * header.sampleCount * 2;
    if (header.bitsPerSample == 16 && header.stereo == 1) bytes /= 4;
    return std::max<int64_t>(bytes / (channels * 2), 0) * channels;
}

void PlayXa(FuzzInput& in) {
    XaDecodeBlock header{};
    header.frequency = in.Take<int32_t>();
    header.bitsPerSample = in.Take<uint8_t>() & 1 ? 16 : in.Take<int32_t>();
    header.stereo = in.Take<int32_t>();
    header.sampleCount = in.Take<int32_t>();
    while (DeclaredSamples(header) > kMostXaSamples) header.sampleCount /= 2;
    const int64_t samples = DeclaredSamples(header);
    const size_t bytes = offsetof(XaDecodeBlock, samples) + 2 * static_cast<size_t>(samples);
    const std::unique_ptr<uint8_t[]> block(new uint8_t[bytes]());
    std::memcpy(block.get(), &header, offsetof(XaDecodeBlock, samples));
    in.TakeInto(block.get() + offsetof(XaDecodeBlock, samples), std::min<size_t>(2 * samples, 512));
    SPUplayADPCMchannel(reinterpret_cast<XaDecodeBlock*>(block.get()));
}

void Run(FuzzInput& in) {
    // Save states as a host keeps them: its buffer the size the last size
    // query answered (SPUinit starts at the base size), holding the last
    // record saved, which a load hands back at the size its header names.
    size_t told = FreezeRecord::kSize;
    std::vector<uint8_t> saved(told);
    const auto freeze = [&](uint32_t mode) {
        std::vector<uint8_t> buffer(mode == 2 ? 16 : mode == 0 ? RecordBytes(saved.data()) : told);
        std::copy_n(saved.begin(), std::min(buffer.size(), saved.size()), buffer.begin());
        SPUfreeze(mode, reinterpret_cast<FreezeRecord*>(buffer.data()));
        if (mode == 2) told = RecordBytes(buffer.data());
        if (mode != 0 && mode != 2) saved = std::move(buffer);
    };
    while (!in.Empty()) {
        const uint8_t call = in.Take<uint8_t>() % kCallCount;
        switch (call) {
        case kWriteRegister: {
            const uint32_t address = RegisterAddress(in);
            SPUwriteRegister(address, in.Take<uint32_t>());
            break;
        }
        case kWriteAnyRegister: {
            const uint32_t address = in.Take<uint32_t>();
            SPUwriteRegister(address, in.Take<uint16_t>());
            break;
        }
        case kReadRegister: SPUreadRegister(in.Take<uint8_t>() & 1 ? RegisterAddress(in) : in.Take<uint32_t>()); break;
        case kWriteDma: SPUwriteDMA(in.Take<uint16_t>()); break;
        case kReadDma: SPUreadDMA(); break;
        case kWriteDmaBlock:
        case kReadDmaBlock: {
            // Up to 32,767 words, which wrap past the end of sound RAM from a
            // transfer address near it; counts below 1 too.
            const int32_t count = in.Take<int16_t>();
            std::vector<uint16_t> words(count > 0 ? count : 1);
            in.TakeInto(words.data(), std::min<size_t>(2 * words.size(), 256));
            if (call == kWriteDmaBlock)
                SPUwriteDMAMem(words.data(), count);
            else
                SPUreadDMAMem(words.data(), count);
            break;
        }
        case kPlayXa: PlayXa(in); break;
        case kPlayCdda: {
            // Up to 32,767 bytes, odd counts and counts below 0 too.
            const int32_t bytes = in.Take<int16_t>();
            std::vector<int16_t> pcm(bytes > 0 ? bytes / 2 + 1 : 1);
            in.TakeInto(pcm.data(), std::min<size_t>(2 * pcm.size(), 512));
            SPUplayCDDAchannel(pcm.data(), bytes);
            break;
        }
        case kRender: {
            const uint32_t bytes = in.Take<uint16_t>() % 4096;
            std::vector<uint8_t> buffer(bytes);
            SPUrender(bytes == 0 ? nullptr : reinterpret_cast<int16_t*>(buffer.data()), bytes);
            break;
        }
        case kSave: {
            const uint8_t mode = in.Take<uint8_t>();
            freeze(mode < 200 ? mode % 3 : in.Take<uint32_t>());
            break;
        }
        case kLoad:
            // The last record saved (or a zeroed one), with a few bytes changed.
            for (int changes = in.Take<uint8_t>() % 8; changes > 0; --changes) {
                const uint32_t at = in.Take<uint32_t>() % saved.size();
                saved[at] = in.Take<uint8_t>();
            }
            freeze(0);
            break;
        case kChangeSetting: {
            int32_t DS::*const field = kFields[in.Take<uint8_t>() % std::size(kFields)];
            plugin::Inspect().settings->*field = in.Take<int32_t>();
            break;
        }
        case kRegisterIrq: SPUregisterCallback(in.Take<uint8_t>() & 1 ? QueueXaFromIrq : nullptr); break;
        case kChooseMixPath: {
            SpuCore& core = *plugin::Inspect().core;
            core.standard.mixPath = core.consoleMixer.path = static_cast<MixPath>(in.Take<uint8_t>() % 3);
            break;
        }
        case kSwitchModel: {
            DriverSettings& settings = *plugin::Inspect().settings;
            SpuLockGuard lock;
            settings.ConsoleAccurate = in.Take<uint8_t>() & 1 ? 1 : in.Take<int32_t>();
            plugin::Inspect().core->SwitchModel(SpuCore::ModelFor(settings.ConsoleAccurate));
            break;
        }
        }
    }
}

}  // namespace
}  // namespace zarn::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zarn::fuzz::UsePrivateSettingsStore();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarn::fuzz::FuzzInput in(data, size);
    SPUinit();
    zarn::fuzz::Run(in);
    SPUregisterCallback(nullptr);
    SPUshutdown();
    return 0;
}
