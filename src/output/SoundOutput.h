// The sound output: the device the sound thread opens for each emulation run
// and the looping stream buffer it fills behind the play cursor. SPUinit
// creates the object without opening anything; the sound thread opens and
// closes the device itself.
#pragma once

namespace zarn {

class SoundOutput {
public:
    SoundOutput() = default;
    virtual ~SoundOutput() = default;
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;
};

}  // namespace zarn
