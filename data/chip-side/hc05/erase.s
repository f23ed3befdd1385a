; Erase program: address high, address low; a byte of the EEPROM (high
; address byte EEHIGH) erases to FFh (E1ERA+E1LAT, the address written,
; E1PGM for EEERASE x 100 us); other addresses are taken and left.
        .include "common.inc"

main:   jsr     take
        sta     wrt+1
        jsr     take
        sta     wrt+2
        lda     wrt+1
        cmp     #EEHIGH
        bne     main
        lda     #E1ERA|E1LAT
        sta     *EEPCR
        bsr     wrt
        lda     #E1ERA|E1LAT|E1PGM
        sta     *EEPCR
        lda     #EEERASE
        jsr     delay
        clr     *EEPCR
        bra     main

wrt:    sta     0x0000
        rts
