; Row 146 reading loader (entry 199): per cell the address high and low
; byte, then the cell on PORTB for the read strobe. Parameters: MIN, SIZE.
        .include "loader.inc"
        begin
main:   address
        ldaa    0,y
        staa    PORTB,x
        bsr     strobe
        bra     main
        sub_strobe
