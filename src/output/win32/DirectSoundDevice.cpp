// The system sound device on Windows: DirectSound, with a primary buffer in
// the settings' wave format and one looping secondary buffer, the stream.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <new>

#include "output/SoundDevice.h"
#include "voice/SpuConstants.h"

namespace zarn {

namespace {

template <typename Interface>
void Release(Interface*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

// Buffer descriptions in the first layout, which every DirectSound version
// takes (the header's DSBUFFERDESC has grown a 3D-algorithm GUID since): four
// 32-bit fields and the format pointer, 20 bytes in the 32-bit library.
static_assert(sizeof(DSBUFFERDESC1) == 16 + sizeof(void*));
const DSBUFFERDESC* Description(const DSBUFFERDESC1& description) {
    return reinterpret_cast<const DSBUFFERDESC*>(&description);
}

class DirectSoundDevice : public SoundDevice {
public:
    // Open: the default device, priority cooperative level for the host's
    // window, and the primary buffer in the settings' format. A failure
    // releases what was made before it.
    bool Open(void* window, const WaveFormat& format) override {
        DSBUFFERDESC1 primary{};
        primary.dwSize = sizeof primary;
        primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
        if (FAILED(DirectSoundCreate(nullptr, &Device, nullptr)) ||
            FAILED(Device->SetCooperativeLevel(static_cast<HWND>(window), DSSCL_PRIORITY)) ||
            FAILED(Device->CreateSoundBuffer(Description(primary), &PrimaryBuffer, nullptr))) {
            Close();
            return false;
        }
        WAVEFORMATEX wave{};
        wave.wFormatTag = WAVE_FORMAT_PCM;
        wave.nChannels = format.channels;
        wave.nSamplesPerSec = format.samplesPerSecond;
        wave.wBitsPerSample = format.bitsPerSample;
        wave.nBlockAlign = format.blockAlign;
        wave.nAvgBytesPerSec = format.averageBytesPerSecond;
        PrimaryBuffer->SetFormat(&wave);
        DSBCAPS caps{};
        caps.dwSize = sizeof caps;
        PrimaryBuffer->GetCaps(&caps);
        return true;
    }

    bool CreateStream(uint32_t bytes, uint32_t& streamBytes) override {
        if (Device == nullptr) return false;
        WAVEFORMATEX wave{};
        wave.wFormatTag = WAVE_FORMAT_PCM;
        wave.nChannels = 2;
        wave.nSamplesPerSec = kFrameRate;
        wave.nAvgBytesPerSec = kFrameRate * 4;
        wave.nBlockAlign = 4;
        wave.wBitsPerSample = 16;
        DSBUFFERDESC1 stream{};
        stream.dwSize = sizeof stream;
        stream.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
        stream.dwBufferBytes = bytes;
        stream.lpwfxFormat = &wave;
        if (FAILED(Device->CreateSoundBuffer(Description(stream), &StreamBuffer, nullptr))) return false;
        DSBCAPS caps{};
        caps.dwSize = sizeof caps;
        StreamBuffer->GetCaps(&caps);
        streamBytes = caps.dwBufferBytes;
        StreamBuffer->Play(0, 0, DSBPLAY_LOOPING);
        return true;
    }

    void DestroyStream() override {
        if (StreamBuffer != nullptr) StreamBuffer->Stop();
        Release(StreamBuffer);
    }

    void Close() override {
        Release(PrimaryBuffer);
        Release(Device);
    }

    bool PlayCursor(uint32_t& cursor) override {
        DWORD play = 0;
        if (FAILED(StreamBuffer->GetCurrentPosition(&play, nullptr))) return false;
        cursor = play;
        return true;
    }

    LockResult Lock(uint32_t offset, uint32_t bytes, Region& first, Region& second) override {
        void* data1 = nullptr;
        void* data2 = nullptr;
        DWORD bytes1 = 0, bytes2 = 0;
        const HRESULT result = StreamBuffer->Lock(offset, bytes, &data1, &bytes1, &data2, &bytes2, 0);
        if (result == DSERR_BUFFERLOST) return LockResult::Lost;
        if (FAILED(result)) return LockResult::Refused;
        first = {static_cast<uint8_t*>(data1), bytes1};
        second = {static_cast<uint8_t*>(data2), bytes2};
        return LockResult::Locked;
    }

    void Unlock(const Region& first, const Region& second) override {
        StreamBuffer->Unlock(first.data, first.bytes, second.data, second.bytes);
    }

    // A restored buffer plays on from where it stands. DSERR_BUFFERLOST:
    // another program still has the device, so it is asked again next pass.
    RestoreResult Restore() override {
        const HRESULT result = StreamBuffer->Restore();
        if (result == DSERR_BUFFERLOST) return RestoreResult::StillLost;
        if (FAILED(result)) return RestoreResult::Failed;
        StreamBuffer->Play(0, 0, DSBPLAY_LOOPING);
        return RestoreResult::Restored;
    }

private:
    IDirectSound* Device = nullptr;
    IDirectSoundBuffer* PrimaryBuffer = nullptr;
    IDirectSoundBuffer* StreamBuffer = nullptr;
};

}  // namespace

std::unique_ptr<SoundDevice> CreateSystemSoundDevice() {
    return std::unique_ptr<SoundDevice>(new (std::nothrow) DirectSoundDevice());
}

}  // namespace zarn
