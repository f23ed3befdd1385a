; A PIC16F84 program with its configuration word, ID locations and data
; EEPROM bytes, as a user's file holds them. Assembled with
;   gpasm -p p16f84 -a inhx8m -o pic16f84-config.hex pic16f84-config.asm
; (gputils 1.4.0); the .hex beside it is that output.
        __config 0x3FF1             ; XT oscillator, watchdog off, power-up timer on, code protection off
        __idlocs 0x1A2B

        org     0x0000
        goto    start
        org     0x0004
        retfie
start:
        bsf     0x03, 5             ; bank 1
        clrf    0x06                ; TRISB: all outputs
        bcf     0x03, 5             ; bank 0
loop:
        movlw   0x55
        movwf   0x06
        movlw   0xAA
        movwf   0x06
        incf    0x0C, f
        btfss   0x03, 2
        goto    loop
        sleep

        org     0x0100
        dw      0x3FFE, 0x0000, 0x1234, 0x2A5A

        org     0x2100
        de      0x12, 0x34, 0xAB, 0xCD
        end
