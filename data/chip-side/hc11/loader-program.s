; Row 146 programming loader (entry 200): per cell the address high and low
; byte and the data byte; a cell that already holds it is left, any other
; burnt (LAT, the write, PGM for the burn time). Parameters: MIN, SIZE.
        .include "loader.inc"
        begin
main:   address
        bsr     strobe
        ldab    PORTD,x
        cmpb    0,y
        beq     main
        ldaa    #LAT
        staa    EPROG,x
        stab    0,y
        ldaa    #LAT|PGM
        staa    EPROG,x
        pshx
        ldx     #BURN_LOOPS
1:      dex
        bne     1b
        pulx
        clr     EPROG,x
        bra     main
        sub_strobe
