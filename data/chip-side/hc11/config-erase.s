; CONFIG erase: CONFIG erased to FFh (a byte erase at 103Fh), then ready.
; Parameters: MIN, SIZE.
        .include "common.inc"
        begin
        ldaa    #BYTE|ERASE|EELAT
        staa    PPROG,x
        staa    CONFIG,x
        inca
        staa    PPROG,x
        bsr     wait_ee
        clr     PPROG,x
        idle
        sub_wait_ee
        ramends
