// Logic IC test engine: applies a list of test vectors to the part in the
// socket through the test image's pin driver and checks its outputs.
//
// A list is lines of n pin symbols back to back, a 0 byte where a line would
// begin ending it. With h = n / 2 the part sits on socket pins 25 - h to
// 24 + h and symbol i of a line belongs to socket pin 25 - h + i.
// Symbols: N float; Z, H, L float and expect floating, high, low; V, G float
// (supply and ground pins when in the first line, also as 'v' and 'g');
// C low, then pulsed high-low; K high, then pulsed low-high; 0 low; 1 high;
// X the X level. Any other byte leaves its pin as it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kIcTestMinPins = 2;
constexpr int kIcTestMaxPins = 48;

// The symbols of the line last applied and what was read on its checked pins
// ('H', 'L', 'Z'; blanks elsewhere), each cut after n characters.
extern char TestInLine[kIcTestMaxPins + 1];
extern char TestOutLine[kIcTestMaxPins + 1];

// Called after every line of a reported run (the failing one included) with
// the two lines and the line index from 0. The IC test form installs it.
using IcTestLineReportFn = void (*)(const char* in, const char* out, int index);
extern IcTestLineReportFn IcTestLineCallback;

// 1 when every line passed, -1 at the first failing line, 3 when a user
// break (a quit) stopped it between lines. A pin count outside
// 2-48 or a list without lines is refused with -1 before anything is switched.
// Lines that would reach past `size` bytes are not read. The caller has loaded
// the test image, reset the outputs and set the supply; it resets them after.
int RunIcTest(int n, const uint8_t* lines, int xLevel, int delayMs, int report, size_t size = SIZE_MAX);
// Applies and checks one line: 1 or -1.
int ApplyIcTestLine(int n, const uint8_t* line, int xLevel);
// Ground / supply-B switch of every pin marked in the first line on (1) or off (0).
void SetGroundPinsFromVector(int n, const uint8_t* firstLine, int on);
void SetSupplyPinsFromVector(int n, const uint8_t* firstLine, int on);
// The check pass shared with the vector test: every pin whose symbol is
// 'Z', 'H' or 'L' read with the weak pull-up and then pull-down; 'L', 'H' or
// 'Z' written to out at its position. 1, or -1 when any read differs.
int CheckTestLinePins(int n, const uint8_t* line, char* out);
// Before a line is applied: out to 48 blanks, in to the line's symbols (up to
// a 0 byte), both cut after n characters.
void PrepareTestLines(int n, const uint8_t* line, char* in, char* out);
// The line loop shared with the vector test: each line from the start of
// the list (a 0 byte at a line start ends it; lines reaching past `size`
// bytes are not read) prepared into in and out, applied, reported, and
// followed by the delay; the first failing line ends it. Its result.
struct TestLineRun {
    int n;
    int xLevel;
    int delayMs;
    char* in;
    char* out;
    int (*apply)(int n, const uint8_t* line, int xLevel);
    IcTestLineReportFn report; // may be nullptr
};
int RunTestLines(const TestLineRun& run, const uint8_t* lines, size_t size);
// The per-line progress of a test of lineCount lines (none for 0 lines).
void ShowTestLineProgress(int lineCount, int index);
// 1 when 0-based socket index s holds a pin of an n-pin part, else -1.
int IsDevicePin(int s, int n);

// The IC test grid's pin count (14 at start) and the name of the library
// entry last loaded or saved ("None" at start).
extern int IcPinCount;
extern std::string IcDeviceName;
// Back to the start-up state of this area.
void ResetIcTestState();
