// The CD program, booted from the test's disc. First voice 0 sounds the sine
// (sine.h) twice for half a second into the reverb, the console's "Hall"
// preset in its cleared work area: with the reverb's return at 0, then at
// one half; 2.5 s follow each note. Then the XA tone read from sectors
// XA_LBA on (mono, 37800 Hz, one sector in 8 on channel 0 of file 1), then
// the CD audio track 2, each for 4 s with a silent second between, both
// through the CD volumes. The second second of the XA tone goes without
// SPUCNT bit 0 (CD audio in): the console model mutes CD audio then, the
// standard model does not read the bit. Only the drive's own registers are
// used: commands, their parameters and the interrupt flags, polled.
#include "psx.h"
#include "sine.h"  // kSine: the sine's ADPCM blocks, written by emulator.py

enum { SINE_ADDRESS = 0x1000, HALL_BYTES = 0xADE0 };

// "Hall": registers 0x1F801DC0-0x1F801DFE in address order. Its work area is
// the last HALL_BYTES of sound RAM.
static const u16 kHall[32] = {0x01A5, 0x0139, 0x6000, 0x5000, 0x4C00, 0xB800, 0xBC00, 0xC000, 0x6000, 0x5C00, 0x15BA,
                              0x11BB, 0x14C2, 0x10BD, 0x11BC, 0x0DC1, 0x11C0, 0x0DC3, 0x0DC0, 0x09C1, 0x0BC4, 0x07C1,
                              0x0A00, 0x06CD, 0x09C2, 0x05C1, 0x05C0, 0x041A, 0x0274, 0x013A, 0x8000, 0x8000};

static u8 Bcd(u32 n) { return (u8)(n / 10 * 16 + n % 10); }

// Waits for the drive's next interrupt, empties its answer and acknowledges
// it; returns its type (1 data, 2 complete, 3 acknowledge, 5 error).
static u8 CdWait(void) {
    u8 type;
    CD_INDEX = 1;
    while (!(type = CD_REG3 & 7)) {}
    while (CD_INDEX & 0x20) (void)CD_REG1;  // the answer's bytes
    CD_INDEX = 1;
    CD_REG3 = 0x1F;
    return type;
}

static u8 CdCommand(u8 command, const u8* parameters, int count) {
    CD_INDEX = 0;
    for (int i = 0; i < count; ++i) CD_REG2 = parameters[i];
    CD_INDEX = 0;
    CD_REG1 = command;
    return CdWait();
}

// Lets `frames` vertical blanks pass, acknowledging whatever the drive reports.
static void Play(u32 frames) {
    while (frames > 0) {
        if (I_STAT & IRQ_VBLANK) {
            I_STAT = ~IRQ_VBLANK;
            --frames;
        }
        CD_INDEX = 1;
        if (CD_REG3 & 7) CdWait();
    }
}

static void Pause(void) {
    if (CdCommand(0x09, 0, 0) == 3) CdWait();  // acknowledged, then complete
}

// Voice 0 at full volume, its envelope at once at its sustain level, for
// half a second; key-off silences it at once (release rate 0). 2.5 s follow.
static void Note(void) {
    SPU(KEY_ON) = 1;
    Play(30);
    SPU(KEY_OFF) = 1;
    Play(150);
}

static void Reverb(void) {
    spu_write(SINE_ADDRESS, kSine, sizeof kSine / 2);
    SPU(V_VOLUME_L) = SPU(V_VOLUME_R) = 0x3FFF;
    SPU(V_PITCH) = 0x1000;
    SPU(V_START) = SINE_ADDRESS / 8;
    SPU(V_ADSR1) = 0x000F;
    SPU(V_ADSR2) = 127 << 6;
    SPU(REVERB_BASE) = (0x80000 - HALL_BYTES) / 8;
    spu_write(0x80000 - HALL_BYTES, 0, HALL_BYTES / 2);
    for (u32 i = 0; i < 32; ++i) SPU(REVERB_SETUP + 2 * i) = kHall[i];
    SPU(REVERB_ON) = 1;
    SPU(SPUCNT) |= SPU_REVERB_ON;
    Note();
    SPU(REVERB_VOLUME_L) = SPU(REVERB_VOLUME_R) = 0x4000;
    Note();
}

int main(void) {
    I_MASK = 0;
    SPU(SPUCNT) = SPU_ON | SPU_CD_ON;
    SPU(MAIN_VOLUME_L) = SPU(MAIN_VOLUME_R) = 0x3FFF;
    SPU(CD_VOLUME_L) = SPU(CD_VOLUME_R) = 0x7FFF;
    // The drive's own mix into the SPU: left to left and right to right at
    // full volume, nothing across; then applied.
    CD_INDEX = 2;
    CD_REG2 = 0x80;
    CD_REG3 = 0;
    CD_INDEX = 3;
    CD_REG1 = 0x80;
    CD_REG2 = 0;
    CD_REG3 = 0x20;
    Reverb();

    const u32 at = XA_LBA + 150;  // the disc's time of the XA file
    const u8 filter[] = {1, 0}, xaMode[] = {0x48}, where[] = {Bcd(at / 4500), Bcd(at / 75 % 60), Bcd(at % 75)};
    const u8 cdMode[] = {0x01}, track[] = {0x02};
    CdCommand(0x0D, filter, 2);                // SetFilter: file 1, channel 0
    CdCommand(0x0E, xaMode, 1);                // SetMode: XA audio, filtered, 1x speed
    CdCommand(0x02, where, 3);                 // SetLoc
    printf("xa %d\n", CdCommand(0x1B, 0, 0));  // ReadS
    Play(60);
    SPU(SPUCNT) &= ~SPU_CD_ON;
    Play(60);
    SPU(SPUCNT) |= SPU_CD_ON;
    Play(120);
    Pause();
    Play(60);
    CdCommand(0x0E, cdMode, 1);                      // SetMode: CD audio
    printf("cdda %d\n", CdCommand(0x03, track, 1));  // Play track 2
    Play(240);
    Pause();
    printf("done\n");
    for (;;) {}
}
