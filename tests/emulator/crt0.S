# Start-up of the PlayStation test programs: main() on the stack the EXE
# header names, then a halt. The BIOS's printf is A-function 0x3F: jump to
# 0xA0 with the function number in $t1, arguments as for any call.
    .set noreorder
    .section .text.start, "ax"
    .globl _start
_start:
    la $sp, 0x801FFF00
    jal main
    nop
1:  b 1b
    nop

    .text
    .globl printf
printf:
    li $t0, 0xA0
    jr $t0
    li $t1, 0x3F
