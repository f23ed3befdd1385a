// Device insertion check and package detection, on the test logic image.
// With every socket pin floating and pulled up, a pin of a seated chip reads
// low while enough of the chip's other pins are grounded one by one; on that
// the check finds whether a chip is there, whether it sits where the package
// says and how many pins it has, and the package detection also reads the
// signature of a 24-, 28- or 32-pin DIP EPROM.
#pragma once
#include <cstdint>

constexpr int kPinMapBytes = 49; // 48 characters and a terminating 0

// Set to 'G' for each pin of the ground list during a pin-count measurement.
extern char GroundPinMap[48];
// Pin count found by the last package detection.
extern int DetectedPinCount;

// 1 inserted correctly, -1 otherwise (logged, with the error beep unless auto
// repeat is on). The caller has loaded the test image.
int CheckDeviceInsertion();
// 1 with the codes and pin count; -1 the pin count is not 24, 28 or 32;
// -2 something occupies socket pins 47/48; -3 socket pin 24 is not a chip pin;
// -4 no chip found. The caller has loaded the test image.
int DetectDevicePackage(uint32_t* manufacturerCode, uint32_t* deviceCode, int* pinCount);

// map: kPinMapBytes characters, 'G' where grounding at least `threshold` other
// pins one by one pulls the pin low, 'O' elsewhere.
void ScanPinConnections(char* map, int threshold);
// map: 'O', 'A' (grounding the pin pulls a ground pin low) or 'S' (driving it
// changes a ground pin). groundPin 0 takes the package's GND list. Returns the
// pin count of a DIP seated at the bottom of the socket.
int MeasureDevicePinCount(char* map, int groundPin);
void ReadEpromSignature(int pinCount, uint32_t* manufacturerCode, uint32_t* deviceCode);
uint8_t ReadDipDataByte();
// Commas in the current package's VCC list plus those in its GND list.
int CountPowerPinSeparators();
// Device pins of a comma-separated list as socket pins of the current package,
// 0-terminated in pins (room for `capacity` bytes, the 0 included). Elements
// that read as 0 or less (ball names) and pins that fall outside the socket
// are skipped. count receives the pins stored.
void ParseZifPinList(const char* text, int* count, uint8_t* pins, int capacity);
// A log line without formatting.
void ShowPlainMessageLine(const char* text);

// Back to the start-up state of this area.
void ResetInsertionState();
