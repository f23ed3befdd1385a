; Toggles port B forever; a few EEPROM bytes beside it. Assembled once per
; programming row, for a part of that row, and once for the AT90S8515.
.ifdef ROW8515
.device AT90S8515
.else
.ifdef ROW125
.device AT90S2333
.else
.ifdef ROW119
.device AT90S2343
.else
.device AT90S1200
.endif
.endif
.endif
.equ DDRB  = 0x17
.equ PORTB = 0x18
.cseg
.org 0
        rjmp start
start:  ldi r16, 0xFF
        out DDRB, r16
        ldi r17, 0x55
loop:   out PORTB, r17
        com r17
        ldi r18, 0xC8
delay:  dec r18
        brne delay
        rjmp loop
table:  .db 0x12, 0x34, 0xFF, 0x00, 0xA5, 0x5A
.eseg
.org 0
        .db 0xDE, 0xAD, 0xBE, 0xEF, 0xFF, 0x00, 0x42
