// The PlayStation hardware the emulator test programs touch, and their few
// helpers. The programs poll instead of taking interrupts: the interrupt
// controller's status bits are set whether or not they are enabled.
#pragma once

typedef unsigned char u8;
typedef unsigned short u16;
typedef unsigned int u32;

#define REG8(address) (*(volatile u8*)(address))
#define REG16(address) (*(volatile u16*)(address))
#define REG32(address) (*(volatile u32*)(address))

// Interrupt controller: status (write 0 bits to acknowledge) and mask.
#define I_STAT REG32(0x1F801070)
#define I_MASK REG32(0x1F801074)
enum { IRQ_VBLANK = 1 << 0, IRQ_SPU = 1 << 9 };

// SPU registers by offset from 0x1F801C00; voice v's at 16 v.
#define SPU(offset) REG16(0x1F801C00 + (offset))
enum {
    V_VOLUME_L = 0x0,
    V_VOLUME_R = 0x2,
    V_PITCH = 0x4,
    V_START = 0x6,
    V_ADSR1 = 0x8,
    V_ADSR2 = 0xA,
    MAIN_VOLUME_L = 0x180,
    MAIN_VOLUME_R = 0x182,
    REVERB_VOLUME_L = 0x184,  // vLOUT, vROUT: the reverb's return
    REVERB_VOLUME_R = 0x186,
    KEY_ON = 0x188,
    KEY_OFF = 0x18C,
    REVERB_ON = 0x198,    // EON: voices 0-15 feed the reverb
    ENDX = 0x19C,         // voices 0-15; 0x19E voices 16-23
    REVERB_BASE = 0x1A2,  // mBASE: the reverb's work area from here (in 8-byte units) to the end of sound RAM
    IRQ_ADDRESS = 0x1A4,
    TRANSFER_ADDRESS = 0x1A6,
    TRANSFER_FIFO = 0x1A8,
    SPUCNT = 0x1AA,
    TRANSFER_CONTROL = 0x1AC,
    SPUSTAT = 0x1AE,
    CD_VOLUME_L = 0x1B0,
    CD_VOLUME_R = 0x1B2,
    REVERB_SETUP = 0x1C0  // 32 words to 0x1FE: the reverb's delays, addresses and gains
};
// SPUCNT: bit 15 on, 14 unmuted, 7 reverb writes its work area, 6 the SPU
// interrupt (writing 0 acknowledges it), 5-4 the transfer mode (1 manual, 2
// DMA write, 3 DMA read), 0 CD audio in.
enum { SPU_ON = 0xC000, SPU_REVERB_ON = 1 << 7, SPU_IRQ_ON = 1 << 6, SPU_CD_ON = 1 << 0, SPU_MODE_MASK = 3 << 4 };

// DMA channel 4 (the SPU): address, blocks x words, control; and the
// control register's enable bit for the channel.
#define DMA4_MADR REG32(0x1F8010C0)
#define DMA4_BCR REG32(0x1F8010C4)
#define DMA4_CHCR REG32(0x1F8010C8)
#define DMA_DPCR REG32(0x1F8010F0)

// CD controller: an index register selects what the other three mean.
#define CD_INDEX REG8(0x1F801800)
#define CD_REG1 REG8(0x1F801801)
#define CD_REG2 REG8(0x1F801802)
#define CD_REG3 REG8(0x1F801803)

int printf(const char* format, ...);  // the BIOS's, A-function 0x3F (crt0.S)

// Waits for the next vertical blank: 60 a second of emulated time.
static inline void wait_vblank(void) {
    while (!(I_STAT & IRQ_VBLANK)) {}
    I_STAT = ~IRQ_VBLANK;
}

static inline void spu_mode(u16 mode) { SPU(SPUCNT) = (SPU(SPUCNT) & ~SPU_MODE_MASK) | mode << 4; }

// `halfwords` halfwords of `words` (zeros if it is 0) into sound RAM from
// `address`, through the transfer FIFO as games upload: it holds 32
// halfwords, each batch written out in the manual mode.
static inline void spu_write(u32 address, const u16* words, u32 halfwords) {
    SPU(TRANSFER_CONTROL) = 4;
    SPU(TRANSFER_ADDRESS) = address / 8;
    for (u32 i = 0; i < halfwords; ++i) {
        SPU(TRANSFER_FIFO) = words ? words[i] : 0;
        if (i % 32 == 31 || i == halfwords - 1) {
            spu_mode(1);
            spu_mode(0);
        }
    }
}

// `halfwords` halfwords of sound RAM from `address` to `out`, by DMA in
// blocks of 16 words (32 halfwords).
static inline void spu_dma_read(u32 address, u16* out, u32 halfwords) {
    SPU(TRANSFER_CONTROL) = 4;
    SPU(TRANSFER_ADDRESS) = address / 8;
    spu_mode(3);
    DMA_DPCR |= 8u << 16;
    DMA4_MADR = (u32)out;
    DMA4_BCR = (halfwords / 32) << 16 | 16;
    DMA4_CHCR = 0x01000200;  // to main RAM, in blocks, start
    while (DMA4_CHCR & 0x01000000) {}
    spu_mode(0);
}
