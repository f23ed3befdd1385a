/* A small 8051 program: a running light on port 1 with a table-driven delay,
   built by sdcc into the Intel hex image the microcontroller tests program. */
#include <8051.h>

static const unsigned char __code pattern[] = {0x01, 0x03, 0x06, 0x0C, 0x18, 0x30, 0x60, 0xC0, 0x81};

static void delay(unsigned int n) {
    while (n--) {
        unsigned char i = 200;
        while (i--) {
        }
    }
}

void main(void) {
    unsigned char k = 0;
    for (;;) {
        P1 = pattern[k];
        P3_0 = !P3_0;
        delay(100 + k * 10);
        if (++k == sizeof pattern) k = 0;
    }
}
