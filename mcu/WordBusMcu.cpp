// Microcontrollers with 16-bit program words programmed over a 16-pin data
// bus: command words strobed in by strobes A and C, a read/program strobe B
// that moves the part to its next word, and an identity word checked against
// the variant's before every Read and Program (row 144).

#include <algorithm>
#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

constexpr int kWordData[16] = {42, 41, 40, 39, 38, 37, 36, 33, 32, 31, 30, 29, 28, 27, 26, 25};

// Socket pins of one sub-variant.
struct WordLayout {
    int mode[4]; // bit 0 first
    int strobeA, strobeB, strobeC, heldHigh;
};
constexpr uint32_t kWordLayoutCount = 3;
constexpr WordLayout kWordLayouts[kWordLayoutCount] = {
    {{10, 9, 8, 7}, 13, 12, 11, 14},
    {{8, 9, 11, 10}, 13, 14, 24, 12},
    {{11, 12, 13, 14}, 9, 8, 7, 10},
};
constexpr int kReadyPin = 16, kPoweredPin = 22, kVppPinA = 5, kVppPinB = 35;

// Last word address and identity word by variant; the memory runs from
// word 1000h to the last.
struct WordPart {
    uint32_t lastWord;
    uint16_t identity;
};
constexpr uint32_t kWordPartCount = 15;
constexpr WordPart kWordParts[kWordPartCount] = {
    {0x4FFF, 0x87CA}, {0x27FF, 0x8797}, {0x2FFF, 0x8797}, {0x4FFF, 0x87AF}, {0x6FFF, 0x87BE},
    {0x1FFF, 0x898C}, {0x2FFF, 0x879C}, {0x4FFF, 0x879D}, {0x27FF, 0x8797}, {0x2FFF, 0x8797},
    {0x3FFF, 0x87AF}, {0x4FFF, 0x87AF}, {0x2FFF, 0x8794}, {0x2FFF, 0x8794}, {0x4FFF, 0x89DE},
};
constexpr uint32_t kFirstWord = 0x1000;

// Command words: the identity, the start of reading, the start of
// programming; variant 5 has its own.
constexpr uint16_t kIdentityWord = 0x0070;
constexpr uint16_t kReadWord = 0x2000, kProgramWord = 0x2001;
constexpr uint16_t kReadWord5 = 0x0000, kProgramWord5 = 0xA000;

const WordLayout* g_layout = &kWordLayouts[0];

uint16_t ReadCommandWord() {
    return DeviceVariant == 5 ? kReadWord5 : kReadWord;
}
uint16_t ProgramCommandWord() {
    return DeviceVariant == 5 ? kProgramWord5 : kProgramWord;
}
uint32_t LastWord() {
    return kWordParts[DeviceVariant < kWordPartCount ? DeviceVariant : 0].lastWord;
}

void WordPowerUp() {
    g_layout = &kWordLayouts[DeviceSubVariant < kWordLayoutCount ? DeviceSubVariant : 0];
    const WordLayout& l = *g_layout;
    SupplyVoltage = ReadVccInUse;
    ProgressStep = 256;
    const int* d = kWordData;
    DefinePinGroup("D", 0, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11], d[12],
                   d[13], d[14], d[15], 0);
    DefinePinGroup("M", 1, l.mode[0], l.mode[1], l.mode[2], l.mode[3], 0);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(static_cast<int>(Vpp / 10), 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    SetPin(l.heldHigh, 1);
    SetPin(l.strobeB, 1);
    SetPin(kReadyPin, 0);
    SetPin(l.strobeA, 1);
    SetPin(l.strobeC, 1);
    SetPin(kPoweredPin, 1);
    WriteRegister(12, 2);
    SetPin(kVppPinA, 1);
    SetPin(kVppPinB, 1);
    DelayUsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    ApplyVoltageToPin(1, kVppPinA, 1, static_cast<int>(Vpp / 10));
    DelayMsSlot(10);
    ApplyVoltageToPin(1, kVppPinB, 1, static_cast<int>(Vpp / 10));
    DelayMsSlot(10);
    WritePinGroup(1, 0, 3, 5);
    SetPin(kReadyPin, 1);
}

// The device supply ramps down here too: left on, the engine's release of
// every output after the step would drop it in one step.
void WordPowerDown() {
    const WordLayout& l = *g_layout;
    SetPin(kReadyPin, 0);
    SetPin(l.strobeA, 0);
    SetPin(l.strobeC, 0);
    SetPin(l.strobeB, 0);
    ApplyVoltageToPin(1, kVppPinB, 0, 50);
    DelayUsSlot(100);
    SetPin(kVppPinB, 0);
    ApplyVoltageToPin(1, kVppPinA, 0, 50);
    DelayUsSlot(100);
    SetPin(kVppPinA, 0);
    WritePinGroup(1, 0, 3, 0);
    SetPin(kPoweredPin, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

void CommandWord(uint16_t w) {
    const WordLayout& l = *g_layout;
    FloatPinGroup(0, 0, 15);
    WritePinGroup(0, 0, 15, w);
    SetPin(l.strobeB, 1);
    DelayMsSlot(10);
    SetPin(l.strobeA, 0);
    SetPin(l.strobeC, 1);
    SetPin(l.strobeA, 1);
    SetPin(l.strobeC, 0);
}

// The data pins are let go before strobe B falls: the part drives them as
// soon as it does, and the last command or word is still on them.
void ReadWord() {
    ReadValue = 0;
    FloatPinGroup(0, 0, 15);
    SetPin(g_layout->strobeB, 0);
    DelayUsSlot(200);
    FloatPinGroup(0, 0, 15);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 15));
    SetPin(g_layout->strobeB, 1);
}

void WriteWord() {
    FloatPinGroup(0, 0, 15);
    WritePinGroup(0, 0, 15, ExpectedValue & 0xFFFF);
    DelayUsSlot(20);
    PulsePinTimed(g_layout->strobeB, 2, 500);
}

// Reads the identity word and compares it with the variant's.
int IdentityCheck() {
    WordPowerUp();
    CommandWord(kIdentityWord);
    DelayUsSlot(100);
    ReadWord();
    int r = 1;
    if (DeviceVariant >= kWordPartCount || (ReadValue & 0xFFFF) != kWordParts[DeviceVariant].identity) {
        // Nothing was read or written: the run ends at this line.
        r = RefuseIdentity(false, "Incorrect Device ID or Device Is Secured!");
    }
    WordPowerDown();
    ResetProgrammerOutputs();
    return r;
}

// The part's pointer starts at the first word after a command word and
// moves by itself with each B strobe, so a range starting above it is
// reached by strobing the words before it: read strobes whose words are
// dropped, or program strobes of FFFFh, which program no bit.
void PointerTo(uint32_t start, bool program) {
    const uint32_t to = std::min(start, LastWord() + 1);
    for (uint32_t a = kFirstWord; a < to; ++a) {
        if (program) {
            ExpectedValue = 0xFFFF;
            WriteWord();
        } else {
            ReadWord();
        }
    }
}

// Words 0-FFFh and past the variant's last word are passed over without a
// strobe; the part's pointer moves by itself with each B strobe.
int Alg144Read(int mode) {
    if (IdentityCheck() == -1) {
        WordPowerDown();
        return -1;
    }
    WordPowerUp();
    CommandWord(ReadCommandWord());
    PointerTo(DeviceStart, false);
    const uint32_t last = LastWord();
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) == 3) break;
        if (ChipAddress < kFirstWord || ChipAddress > last) continue;
        BufferIndex = ChipAddress;
        ReadWord();
        if ((r = ProcessReadWord(mode)) == -1) break;
    }
    WordPowerDown();
    return r;
}

// The word is written as ProcessReadWord compares it: swapped when ByteSwap
// is on, so Verify and Read agree with a good Program.
int Alg144Program() {
    if (IdentityCheck() == -1) {
        WordPowerDown();
        return -1;
    }
    WordPowerUp();
    CommandWord(ProgramCommandWord());
    PointerTo(DeviceStart, true);
    const uint32_t last = LastWord();
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) == 3) break;
        if (ChipAddress < kFirstWord || ChipAddress > last) continue;
        BufferIndex = ChipAddress;
        uint16_t w = BufferWords[BufferIndex & 0x7FFF];
        if (ByteSwap) SwapBytes16(&w);
        ExpectedValue = w;
        WriteWord();
    }
    WordPowerDown();
    return r == 3 ? 3 : 1;
}

int Alg144Options() {
    return 1;
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 144,
     .Read = Alg144Read,
     .Program = Alg144Program,
     .Options = Alg144Options,
     .VariantCount = kWordPartCount,
     .VariantTable = "identity table",
     .SubVariantCount = kWordLayoutCount,
     .SubVariantTable = "pin layout",
     // The buffer word is the one at the chip address itself.
     .NoByteLanes = true,
     .DataAtChipAddresses = true,
     .ChecksIdentity = ChecksIdentityAlways},
};

} // namespace

ROW_FAMILY("WordBusMcu", Mcu, 170, kAlgorithmRows);
