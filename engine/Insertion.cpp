#include "engine/Insertion.h"

#include <cstring>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/Tables.h"

char GroundPinMap[48] = {};
int DetectedPinCount = 0;

namespace {

// Measurement settings of register 13 in the test image: pull every undriven
// pin up for the scans, down for the driven-pin test.
constexpr uint32_t kPullUpScan = 4;
constexpr uint32_t kPullDownTest = 12;

std::vector<int> PackageGroundPins() {
    uint8_t pins[kPinMapBytes] = {};
    int count = 0;
    ParseZifPinList(PackageRow(PackageIndex).GndPins, &count, pins, kPinMapBytes);
    return std::vector<int>(pins, pins + count);
}

int CountCommas(const char* text) {
    int n = 0;
    for (const char* c = text; c && *c; ++c) n += *c == ',';
    return n;
}

int InsertionFailed(const char* text) {
    ShowPlainMessageLine(text);
    if (AutoRepeatEnabled == 0) Beep(-1);
    return -1;
}

} // namespace

void ShowPlainMessageLine(const char* text) { ShowMessageLine("%s", text ? text : ""); }

int CountPowerPinSeparators() {
    const PackageEntry& p = PackageRow(PackageIndex);
    return CountCommas(p.VccPins) + CountCommas(p.GndPins);
}

void ParseZifPinList(const char* text, int* count, uint8_t* pins, int capacity) {
    int n = 0;
    if (pins != nullptr && capacity > 0) {
        for (int devicePin : ParsePinList(text)) {
            if (n >= capacity - 1) break;
            if (devicePin <= 0) continue;
            const int zif = MapDevicePinToZifPin(devicePin);
            if (!IsZifPin(zif)) continue;
            pins[n++] = static_cast<uint8_t>(zif);
        }
        pins[n] = 0;
    }
    if (count != nullptr) *count = n;
}

void ScanPinConnections(char* map, int threshold) {
    ResetProgrammerOutputs();
    WriteRegister(13, kPullUpScan);
    FloatPinRange(1, 48);
    for (int i = 1; i <= 48; ++i) {
        int count = 0;
        for (int j = 1; j <= 48; ++j) {
            if (j == i) continue;
            SetGroundPin(j, 1);
            if (GetPin(i) == 0) ++count;
            SetGroundPin(j, 0);
        }
        map[i - 1] = count >= threshold ? 'G' : 'O';
    }
    map[48] = 0;
    ResetProgrammerOutputs();
}

int MeasureDevicePinCount(char* map, int groundPin) {
    std::memset(map, 'O', 48);
    map[48] = 0;
    std::vector<int> grounds;
    if (groundPin == 0) {
        grounds = PackageGroundPins();
    } else if (IsZifPin(groundPin)) {
        grounds.push_back(groundPin);
    }
    ResetProgrammerOutputs();
    FloatPinRange(1, 48);
    for (int p = 1; p <= 48; ++p) {
        bool isGround = false;
        for (int g : grounds) isGround |= g == p;
        if (isGround) {
            GroundPinMap[p - 1] = 'G';
            continue;
        }
        WriteRegister(13, kPullUpScan);
        SetGroundPin(p, 1);
        for (int g : grounds) {
            if (GetPin(g) == 0) {
                map[p - 1] = 'A';
                break;
            }
        }
        SetGroundPin(p, 0);
        WriteRegister(13, kPullDownTest);
        for (int g : grounds) {
            SetPin(p, 1);
            const int high = GetPin(g);
            SetPin(p, 0);
            const int low = GetPin(g);
            if (high != low && map[p - 1] == 'O') map[p - 1] = 'S';
        }
        SetPin(p, 2);
    }
    ResetProgrammerOutputs();
    // Pairs 1/48, 2/47, ... from the outside in while neither pin belongs to a chip.
    int k = 0;
    while (k < 24 && map[k] == 'O' && map[47 - k] == 'O') ++k;
    return 2 * (24 - k);
}

int CheckDeviceInsertion() {
    const PackageEntry& package = PackageRow(PackageIndex);
    const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm);
    const int allowance = row ? row->InsertionPinAllowance : 0;
    const int threshold = package.PinCount - CountPowerPinSeparators() - 2 - allowance;

    char map[kPinMapBytes];
    ScanPinConnections(map, threshold);
    if (std::strchr(map, 'G') == nullptr) return InsertionFailed("Insert device.");

    bool groundFound = false;
    for (int g : PackageGroundPins()) groundFound |= map[g - 1] == 'G';
    if (!groundFound) return InsertionFailed("Insert device correctly.");

    if (MeasureDevicePinCount(map, 0) != package.PinCount) return InsertionFailed("Wrong device.");
    return 1;
}

int DetectDevicePackage(uint32_t* manufacturerCode, uint32_t* deviceCode, int* pinCount) {
    SetPin(47, 2);
    SetPin(48, 2);
    if (GetPin(47) == 0 || GetPin(48) == 0) return -2;

    char map[kPinMapBytes];
    ScanPinConnections(map, 20);
    if (std::strchr(map, 'G') == nullptr) return -4;
    if (map[23] != 'G') return -3;

    DetectedPinCount = MeasureDevicePinCount(map, 24);
    if (pinCount) *pinCount = DetectedPinCount;
    if (DetectedPinCount != 24 && DetectedPinCount != 28 && DetectedPinCount != 32) return -1;

    ReadEpromSignature(DetectedPinCount, manufacturerCode, deviceCode);
    return 1;
}

uint8_t ReadDipDataByte() {
    const uint8_t low = ReadRegister(2);  // socket pins 17-24: D0-D2 on 21-23
    const uint8_t high = ReadRegister(3); // socket pins 25-32: D3-D7 on 25-29
    return static_cast<uint8_t>(((low >> 4) & 0x07) | ((high & 0x1F) << 3));
}

void ReadEpromSignature(int pinCount, uint32_t* manufacturerCode, uint32_t* deviceCode) {
    // JEDEC byte-wide pinout seated at the bottom: the supply pin, and the pin
    // held high besides /CE and /OE (A14 or /PGM).
    int vcc = 0;
    int extra = 0;
    switch (pinCount) {
    case 24:
        vcc = 36;
        extra = 1;
        break;
    case 28:
        vcc = 38;
        extra = 37;
        break;
    case 32:
        vcc = 40;
        extra = 39;
        break;
    default:
        return;
    }
    ResetProgrammerOutputs();
    SetVccRange(0, 50);
    SetAllDacVoltages(0, 120, 50, 50);
    SetGroundPin(24, 1);
    DelayMsSlot(100);

    FloatPinRange(21, 29);
    SetPin(9, 1);
    SetPin(extra, 1);
    SetPin(32, 1); // /OE
    SetPin(30, 1); // /CE
    SetSupplyPinB(vcc, 1);
    DelayMsSlot(1);
    SetSupplyPinA(34, 1); // 12.0 V on A9: signature mode
    SetPin(30, 0);
    SetPin(32, 0);

    const uint8_t maker = ReadDipDataByte(); // A0 (socket pin 20) low
    SetPin(20, 1);
    const uint8_t device = ReadDipDataByte();
    if (manufacturerCode) *manufacturerCode = maker;
    if (deviceCode) *deviceCode = device;

    SetPin(30, 1);
    SetPin(32, 1);
    SetSupplyPinA(34, 0);
    SetSupplyPinB(vcc, 0);
    ResetProgrammerOutputs();
}

void ResetInsertionState() {
    std::memset(GroundPinMap, 0, sizeof GroundPinMap);
    DetectedPinCount = 0;
}
