; CONFIG read: the CONFIG register on port B for every strobe.
; Parameters: MIN, SIZE.
        .include "common.inc"
        begin
        bclr    PORTA,x READY
1:      ldaa    CONFIG,x
        bsr     put
        bra     1b
        sub_put
        ramends
