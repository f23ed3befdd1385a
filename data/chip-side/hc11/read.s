; Read: CONFIG, then every byte of the ranges in ascending address order,
; each on port B for one strobe (the programmer paces itself; the ready line
; only tells it once that the program runs).
; Parameters: MIN, SIZE (the most any row sends), RANGES (0-3) and R1F/R1L,
; R2F/R2L, R3F/R3L, ascending.
        .include "common.inc"

        .macro  readrange first, last
        ldy     #\first
1:      ldaa    0,y
        bsr     put
        iny
        cpy     #((\last) + 1) & 0xFFFF
        bne     1b
        .endm

        begin
        bclr    PORTA,x READY           ; running: the programmer may read
        ldaa    CONFIG,x
        bsr     put
        .if     RANGES >= 1
        readrange R1F, R1L
        .endif
        .if     RANGES >= 2
        readrange R2F, R2L
        .endif
        .if     RANGES >= 3
        readrange R3F, R3L
        .endif
        idle
        sub_put
        ramends
