// Constant tables that turn the numbers of a device record into pins and
// texts: packages, makers and socket adapters. Row numbers are stored in the
// device library, so every row keeps its number.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PackageEntry {
    uint8_t Type;        // row of PackageTypeNames
    uint8_t PinCount;    // 0 = empty row
    uint8_t VppPin;      // device pin of the programming voltage; 0 none
    uint8_t Reserved;    // 0
    const char* VccPins; // comma-separated decimal device pins ("" none)
    const char* GndPins;
};

constexpr size_t PackageRowCount = 294;
constexpr size_t PackageTypeCount = 12;
constexpr size_t MakerRowCount = 87;
constexpr size_t AdapterRowCount = 136;

extern const PackageEntry PackageTable[PackageRowCount];
extern const char* const PackageTypeNames[PackageTypeCount];
extern const char* const MakerNameTable[MakerRowCount];
extern const char* const AdapterNameTable[AdapterRowCount];

// Maker numbers that code compares with.
enum : uint32_t {
    MakerAmd = 2,
    MakerCypress = 9,
    MakerFujitsu = 15,
    MakerMacronix = 30,
    MakerSamsung = 46,
    MakerSst = 56,
    MakerTexasInstruments = 58,
};

// Reads a pin list: elements split at commas, leading blanks skipped, each
// read as a decimal number; an element that starts with a letter (a ball
// name) reads as 0. At most maxPins values are stored; returns how many were
// stored. An empty or null list gives 0.
int ParsePinList(const char* list, int* pins, int maxPins);
std::vector<int> ParsePinList(const char* list);

// "%s%d" of the package type and pin count ("DIP28"); "" for a row outside
// the table.
std::string PackageName(uint32_t packageIndex);

// Lookups with a range check: "" (or the empty package row) outside.
const PackageEntry& PackageRow(uint32_t packageIndex);
const char* MakerName(uint32_t makerIndex);
const char* AdapterName(uint32_t adapterCode);
