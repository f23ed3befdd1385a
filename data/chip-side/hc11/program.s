; Program: takes CONFIG, then every byte of the ranges in ascending address
; order, each through the ready handshake; an EEPROM byte (K<n> 1) is
; erased where it must be and programmed, an EPROM byte (K<n> 0) burnt with
; the programming voltage the programmer holds on XIRQ/VPPE.
; Parameters: MIN, SIZE, RANGES (0-3) and R<n>F/R<n>L/K<n>, ascending.
        .include "common.inc"

        .macro  progrange first, last, eeprom
        ldy     #\first
1:      bsr     take
        .if     \eeprom
        bsr     eebyte
        .else
        bsr     epbyte
        .endif
        iny
        cpy     #((\last) + 1) & 0xFFFF
        bne     1b
        .endm

        begin
        bsr     take
        ldy     #REGS + CONFIG
        bsr     eebyte
        .if     RANGES >= 1
        progrange R1F, R1L, K1
        .endif
        .if     RANGES >= 2
        progrange R2F, R2L, K2
        .endif
        .if     RANGES >= 3
        progrange R3F, R3L, K3
        .endif
        idle
        sub_take
        sub_eebyte
        sub_epbyte
        sub_waits
        sub_wait_ee
        ramends
