// Vector test of a programmed PLD: the test vectors of its JEDEC file (or
// typed in) applied line by line on the vector-test image, whose pin latches
// take effect at the register-12 strobes.
//
// Symbols (socket mapping as the IC test): N, V, G float; Z, H, L float and
// are checked; K driven high, then clocked low-high; C driven low, then
// clocked high-low; 0 and 1 low and high; X the X level. Any other byte is
// driven low in the direction pass and left alone afterwards.
#pragma once
#include <cstddef>
#include <cstdint>

#include "testing/IcTest.h"

// The vector-test image of the device library.
constexpr uint32_t kVectorTestImage = 70;

// Settings of the vector form, kept for the whole run.
extern uint8_t VectorXLevel; // 1 high (start), 0 low
extern int VectorVcc;        // tenths of a volt (50)
extern int VectorDelayMs;    // between lines (0)

// The line last applied and what its checked pins read.
extern char VectorInLine[kIcTestMaxPins + 1];
extern char VectorOutLine[kIcTestMaxPins + 1];

// Called after every line (the failing one included); the form installs it.
extern IcTestLineReportFn VectorTestLineCallback;

// 1 when every line passed, -1 at the first failing line (or for a pin count
// outside 2-48 or a list without lines), 3 when a user break (a quit) stopped
// it between lines. Lines reaching past `size` bytes are not read. Switches
// no power.
int RunVectorTest(int n, const uint8_t* lines, int xLevel, int delayMs, size_t size = SIZE_MAX);
int ApplyVectorLine(int n, const uint8_t* line, int xLevel);
void PulseVectorStrobe1();
void PulseVectorStrobe2();

// The test of the form after its checks: outputs reset, pins floated, the
// package's ground and supply switched on, the vectors run, everything off
// again. The programmer is connected and the image loaded. Returns the run's
// result.
int RunPoweredVectorTest(int n, const uint8_t* lines, size_t size);

// Back to the start-up state of this area.
void ResetVectorTestState();
