// The tone program: voice 0 loops an ADPCM sine of 787.5 Hz (16 blocks, 8
// periods of 56 samples at pitch 0x1000) with the SPU interrupt set inside
// the loop, 98.4 times a second. The sine goes in by hand through the
// transfer FIFO, as games upload their samples. Twice a second the program
// prints its frame count, the interrupts it has seen and whether sound RAM
// (read back by DMA) and the registers are still what it wrote: after a save
// state is loaded, they must be.
//
// Built with CONSOLE, for the console sound model, it first reads back the
// registers that model makes the console's (ConsoleRegisters) and writes
// key-on 0 after its key-on, as games that write the word every frame do: a
// state loaded then brings the voice back from its saved live state, not by
// replaying a key-on.
#include "psx.h"
#include "sine.h"  // kSine: the sine's ADPCM blocks, written by emulator.py

enum { SINE_ADDRESS = 0x1000, SINE_HALFWORDS = sizeof kSine / 2 };

// Voice 0 at full volume and pitch 0x1000; its envelope attacks and decays
// at once and holds at sustain level 15; the interrupt at the ninth block.
static const struct {
    u16 reg, value;
} kSetup[] = {
    {V_VOLUME_L, 0x3FFF},        {V_VOLUME_R, 0x3FFF},    {V_PITCH, 0x1000},
    {V_START, SINE_ADDRESS / 8}, {V_ADSR1, 0x000F},       {V_ADSR2, 127 << 6},
    {MAIN_VOLUME_L, 0x3FFF},     {MAIN_VOLUME_R, 0x3FFF}, {IRQ_ADDRESS, SINE_ADDRESS / 8 + 2 * 8},
};

static u16 readBack[SINE_HALFWORDS];

static int RamIsTheSine(void) {
    spu_dma_read(SINE_ADDRESS, readBack, SINE_HALFWORDS);
    for (u32 i = 0; i < SINE_HALFWORDS; ++i) {
        if (readBack[i] != kSine[i]) return 0;
    }
    return 1;
}

static int RegistersAsWritten(void) {
    for (u32 i = 0; i < sizeof kSetup / sizeof kSetup[0]; ++i) {
        if (SPU(kSetup[i].reg) != kSetup[i].value) return 0;
    }
    return 1;
}

#ifdef CONSOLE
// Waits up to `frames` vertical blanks for the SPU's interrupt; whether it came.
static int WaitForIrq(u32 frames) {
    while (frames > 0 && !(I_STAT & IRQ_SPU)) {
        if (I_STAT & IRQ_VBLANK) {
            I_STAT = ~IRQ_VBLANK;
            --frames;
        }
    }
    return (I_STAT & IRQ_SPU) != 0;
}

static u32 Endx(void) { return SPU(ENDX + 2) << 16 | SPU(ENDX); }

// SPUSTAT against SPUCNT; ENDX through key-on, a loop end, a write of 0 and
// another key-on; the interrupt with SPUCNT bit 6 clear, then set twice,
// each time acknowledged by clearing it. Voice 0 loops the sine past the
// interrupt address, unheard (no volumes yet), and is keyed off at the end.
static void ConsoleRegisters(void) {
    static const u16 kControls[] = {0x3F, 0x15, 0x2A, 0x00};
    for (u32 i = 0; i < sizeof kControls / sizeof kControls[0]; ++i) {
        SPU(SPUCNT) = SPU_ON | kControls[i];
        printf("spucnt %x spustat %x\n", SPU(SPUCNT), SPU(SPUSTAT));
    }
    SPU(V_PITCH) = 0x1000;
    SPU(V_START) = SINE_ADDRESS / 8;
    SPU(IRQ_ADDRESS) = SINE_ADDRESS / 8 + 2 * 8;
    I_STAT = ~IRQ_SPU;
    SPU(KEY_ON) = 1;
    const u32 keyed = Endx();
    for (int i = 0; i < 30; ++i) wait_vblank();  // half a second: some 49 loops
    const u32 ended = Endx();
    SPU(ENDX) = SPU(ENDX + 2) = 0;
    printf("endx keyon %x loop %x written %x", keyed, ended, Endx());
    SPU(KEY_ON) = 1;
    printf(" keyon %x\n", Endx());
    printf("bit6 clear irq %d spustat %x\n", (I_STAT & IRQ_SPU) != 0, SPU(SPUSTAT));
    for (int round = 0; round < 2; ++round) {
        SPU(SPUCNT) = SPU_ON | SPU_IRQ_ON;
        const int irq = WaitForIrq(30);
        const u16 raised = SPU(SPUSTAT);
        SPU(SPUCNT) = SPU_ON;
        I_STAT = ~IRQ_SPU;
        printf("bit6 set irq %d spustat %x acknowledged %x\n", irq, raised, SPU(SPUSTAT));
    }
    SPU(KEY_OFF) = 1;
}
#endif

int main(void) {
    I_MASK = 0;
    SPU(SPUCNT) = 0;
    SPU(SPUCNT) = SPU_ON;
    spu_write(SINE_ADDRESS, kSine, SINE_HALFWORDS);
#ifdef CONSOLE
    ConsoleRegisters();
#endif
    for (u32 i = 0; i < sizeof kSetup / sizeof kSetup[0]; ++i) SPU(kSetup[i].reg) = kSetup[i].value;
    printf("ram %d registers %d\n", RamIsTheSine(), RegistersAsWritten());

    // An interrupt the moment it is enabled (the console's flag then stays
    // up until acknowledged) must find I_STAT's bit clear.
    I_STAT = ~IRQ_SPU;
    SPU(SPUCNT) |= SPU_IRQ_ON;
    SPU(KEY_ON) = 1;
#ifdef CONSOLE
    SPU(KEY_ON) = 0;
#endif
    printf("keyon\n");
    u32 frames = 0, irqs = 0;
    for (;;) {
        if (I_STAT & IRQ_SPU) {  // acknowledged, and the SPU's interrupt armed again
            I_STAT = ~IRQ_SPU;
            ++irqs;
            SPU(SPUCNT) &= ~SPU_IRQ_ON;
            SPU(SPUCNT) |= SPU_IRQ_ON;
        }
        if (I_STAT & IRQ_VBLANK) {
            I_STAT = ~IRQ_VBLANK;
            if (++frames % 30 == 0) {
                printf("frame %d irqs %d ram %d registers %d\n", frames, irqs, RamIsTheSine(), RegistersAsWritten());
            }
        }
    }
}
