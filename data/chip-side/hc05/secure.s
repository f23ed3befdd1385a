; Secure program: burns the security bit SECBIT of the option byte at SECAT
; (the byte as it reads with that bit turned from its erased state) as an
; EPROM byte, SECTIME x 100 us with the programming voltage on, then holds
; ready high.
        .include "common.inc"

main:   lda     SECAT
        eor     #SECBIT
        ldx     #ELAT
        stx     *PROG
        sta     SECAT
        lda     #ELAT|EPGM
        sta     *PROG
        lda     #SECTIME
        jsr     delay
        clr     *PROG
        bset    #RDY,*PORTC
done:   bra     done
