; firmware.bin at 0 and 64 bytes in the boot loader's area at 0x7E00; see README.
        .section .text
        .incbin "firmware.bin"
        .section .boot, "ax"
        .fill 64, 1, 0x5A
