// Rows 270, 271 and 274: one-time fuse PALs addressed by product-term group
// and input column on two sets of socket pins. Each access reads one fuse
// per output on the data pins; a fuse is blown by the programming voltage
// on its output's data pin while the strobe pin is at 11 V and pin 25 is
// switched to the high supply.
#pragma once

void InstallOtpFusePalRows();
