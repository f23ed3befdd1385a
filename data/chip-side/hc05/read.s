; Read program: hands each byte the logic asks for to PB.
;   addressed: address high, address low, then one strobe for the byte;
;   nibble:    address high, address low, then the byte's low and its high
;              nibble on PB0-PB3, one strobe each;
;   sequential: no address; one strobe per byte of the ranges, ascending.
ADDR    = cell
        .include "common.inc"

        .ifne   KIND-SEQUENTIAL
main:   bsr     take
        sta     cell+1
        bsr     take
        sta     cell+2
        bsr     each
        bra     main
        .endif

; each: the byte at the address in cell's operand onto PB, one strobe (two
; for nibbles).
each:
cell:   lda     0x0000
        .ifeq   KIND-NIBBLE
        tax
        and     #0x0F
        sta     *PORTB
        jsr     take
        txa
        lsra
        lsra
        lsra
        lsra
        .endif
        sta     *PORTB
        jmp     take

last:   .ds     2
