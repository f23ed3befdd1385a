; Program program: burns each byte the logic hands over.
;   addressed: address high, address low, data byte;
;   nibble:    address high, address low, data low nibble, data high nibble
;              (PA0-PA3);
;   sequential: data bytes only, for the ranges in ascending order.
; EPROM: ELAT, the byte written to its address, ELAT+EPGM for BURN x 100 us
; with the programming voltage on, then both cleared. A byte equal to BLANK
; needs no burn. With EEPROM (EEHIGH: the high address byte of its 256
; bytes): a byte not yet FFh is erased first (E1ERA+E1LAT, E1PGM for EEERASE
; x 100 us), then written (E1LAT, E1PGM for EEWRITE x 100 us).
ADDR    = wrt
        .include "common.inc"

        .ifne   KIND-SEQUENTIAL
main:   jsr     take
        sta     wrt+1
        jsr     take
        sta     wrt+2
        bsr     each
        bra     main
        .endif

each:   jsr     take
        .ifeq   KIND-NIBBLE
        and     #0x0F
        sta     *data
        jsr     take
        lsla
        lsla
        lsla
        lsla
        ora     *data
        .endif
        sta     *data
        .ifne   EEPROM
        lda     wrt+1
        cmp     #EEHIGH
        beq     ee
        lda     *data
        .endif
        cmp     #BLANK
        beq     9$
        ldx     #ELAT
        stx     *PROG
        bsr     wrt
        lda     #ELAT|EPGM
        sta     *PROG
        lda     #BURN
        jsr     delay
        clr     *PROG
9$:     rts

        .ifne   EEPROM
ee:     lda     wrt+1
        sta     rd+1
        lda     wrt+2
        sta     rd+2
rd:     lda     0x0000
        inca
        beq     1$              ; FFh: erased already
        lda     #E1ERA|E1LAT
        sta     *EEPCR
        bsr     wrt
        lda     #E1ERA|E1LAT|E1PGM
        sta     *EEPCR
        lda     #EEERASE
        jsr     delay
        clr     *EEPCR
1$:     lda     *data
        inca
        beq     2$              ; FFh: nothing to write
        lda     #E1LAT
        sta     *EEPCR
        lda     *data
        bsr     wrt
        lda     #E1LAT|E1PGM
        sta     *EEPCR
        lda     #EEWRITE
        jsr     delay
        clr     *EEPCR
2$:     rts
        .endif

; wrt: A to the address in its operand.
wrt:    sta     0x0000
        rts

data:   .ds     1
last:   .ds     2
