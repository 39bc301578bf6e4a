// The CD program, booted from the test's disc: the XA tone read from
// sectors XA_LBA on (mono, 37800 Hz, one sector in 8 on channel 0 of file
// 1), then the CD audio track 2, each for 4 s with a silent second between,
// both through the CD volumes. Only the drive's own registers are used:
// commands, their parameters and the interrupt flags, polled.
#include "psx.h"

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

    const u32 at = XA_LBA + 150;  // the disc's time of the XA file
    const u8 filter[] = {1, 0}, xaMode[] = {0x48}, where[] = {Bcd(at / 4500), Bcd(at / 75 % 60), Bcd(at % 75)};
    const u8 cdMode[] = {0x01}, track[] = {0x02};
    CdCommand(0x0D, filter, 2);                // SetFilter: file 1, channel 0
    CdCommand(0x0E, xaMode, 1);                // SetMode: XA audio, filtered, 1x speed
    CdCommand(0x02, where, 3);                 // SetLoc
    printf("xa %d\n", CdCommand(0x1B, 0, 0));  // ReadS
    Play(240);
    Pause();
    Play(60);
    CdCommand(0x0E, cdMode, 1);                      // SetMode: CD audio
    printf("cdda %d\n", CdCommand(0x03, track, 1));  // Play track 2
    Play(240);
    Pause();
    printf("done\n");
    for (;;) {}
}
