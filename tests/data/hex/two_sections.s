; Two sections of firmware.bin with a gap between them; see README.
        .section .text
        .incbin "firmware.bin", 0, 512
        .section .tail, "ax"
        .incbin "firmware.bin", 512, 256
