; CONFIG program: takes one byte through the ready handshake and makes
; CONFIG hold it (erased first where it must be), then ready.
; Parameters: MIN, SIZE.
        .include "common.inc"
        begin
        bsr     take
        ldy     #REGS + CONFIG
        bsr     eebyte
        idle
        sub_take
        sub_eebyte
        sub_wait_ee
        ramends
