; Erase: the whole EEPROM at once (bulk erase: ERASE without BYTE or ROW,
; latched by a write to any EEPROM address, EEF), then ready.
; Parameters: MIN, SIZE, EEF.
        .include "common.inc"
        begin
        ldaa    #ERASE|EELAT
        staa    PPROG,x
        staa    EEF
        inca
        staa    PPROG,x
        bsr     wait_ee
        clr     PPROG,x
        idle
        sub_wait_ee
        ramends
