// Byte-wide parallel memories driven pin by pin through the universal pin
// driver: address and data as pin groups, every control signal one socket pin.
// - pulse-programmed parts (rows 65, 66, 49, 53, 88): a programming pulse on
//   one pin, then a read-back;
// - write-strobe parts (rows 92, 97, 98): static memories written by one
//   /WE strobe per byte, no programming voltage.
#pragma once

void InstallPinDrivenRows();
