#include "mcu/Pic.h"
#include "mcu/PicShared.h"

#include <algorithm>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowHooks.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"

uint32_t PicConfigWord = 0x3FFF;
uint32_t PicIdWords[4] = {};

// ---- shared by the serial and the parallel members -------------------------------------

uint16_t& PicWord(uint32_t index) {
    // Through the image from the current bank: a run's words go on across
    // banks (the image grows to reach them).
    const uint64_t at = uint64_t{CurrentBank} * BufferBankBytes + 2 * uint64_t{index};
    if (at + 1 >= uint64_t{BankCount} * BufferBankBytes) {
        const uint32_t shown = CurrentBank;
        const bool grown = at <= 0xFFFFFFFFu && SelectBank(static_cast<uint32_t>(at), 1) == 1;
        SelectBank(shown << 16, 0);
        static uint16_t none;
        if (!grown) return none = 0xFFFF;
    }
    return reinterpret_cast<uint16_t*>(BufferImage())[at / 2];
}

uint16_t& PicFixedWord(uint32_t index) {
    const uint32_t shown = CurrentBank;
    SelectBank(CurrentAlgorithm == 113 ? 0x10000 : 0, 1);
    uint16_t& w = BufferWords[index & 0x7FFF];
    SelectBank(shown << 16, 0);
    return w;
}

void PicSocketReady(int phase) {
    SupplyVoltage = phase == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
}

void PicSupplyOff(uint32_t vppOffMs) {
    SetDeviceVpp(0, 0);
    if (vppOffMs == 0) {
        DelayShortUsSlot(100);
    } else {
        DelayMsSlot(vppOffMs);
    }
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

namespace {

// ---- members of the serial family --------------------------------------------------

// How a member programs one program word (mask: the compare mask).
enum class WordProgramming : uint8_t {
    Retry,       // pulses until it verifies, then 3 x n more (rows 111, 115, 116)
    Retry7,      // up to 7 attempts, then 11 x n more (row 114)
    SinglePulse, // flash: one self-timed write, then a compare (rows 112, 121)
};

// Clock and data socket pins by package pin count.
struct PinsByCount {
    uint8_t PinCount, Clock, Data;
};

struct SerialMember {
    uint32_t Row;
    PinsByCount Pins[4];
    WordProgramming Programming;
    DelaySlotFn* PulseWait;   // the delay slot of the program pulse
    bool LastWait;            // power-up waits 100 us after Vpp
    bool ClockLowFirst;       // clock driven low before the supply comes up
    bool VppOffFirst;         // power-down drops Vpp before the data pin floats
    bool FirstIncrement;      // 12-bit parts: entry puts the counter on the configuration word
    bool CalibrationWord;     // the part's last program word (calibration) is only read in mode 2
    uint32_t CalibrationArea; // Read mode 2 also fetches this many words after the program words
    bool DataMemory;          // a data memory from byte 0x4200 (DataBytesOf: its size)
    bool Signature;           // device ID check before every entry
    uint32_t WordMask;
};

constexpr uint32_t kMask14 = 0x3FFF;
constexpr uint32_t kMask12 = 0xFFF;

const SerialMember kMembers[] = {
    {111, {{18, 27, 28}, {28, 37, 38}, {40, 43, 44}, {44, 45, 46}}, WordProgramming::Retry, &DelayUsSlot, true,
     false, false, false, false, 0, false, false, kMask14},
    {112, {{18, 27, 28}, {}, {}, {}}, WordProgramming::SinglePulse, &DelayUsSlot, false, false, false, false, false,
     0, true, false, kMask14},
    {114, {{8, 26, 27}, {14, 29, 30}, {}, {}}, WordProgramming::Retry7, &DelayUsSlot, false, false, true, true, true,
     0, false, false, kMask12},
    {115, {{8, 26, 27}, {}, {}, {}}, WordProgramming::Retry, &DelayShortUsSlot, false, false, true, false, true, 0,
     false, false, kMask14},
    {116, {{28, 22, 21}, {}, {}, {}}, WordProgramming::Retry, &DelayShortUsSlot, true, false, true, false, false, 64,
     false, false, kMask14},
    {121, {{28, 37, 38}, {40, 43, 44}, {44, 45, 46}, {}}, WordProgramming::SinglePulse, &DelayUsSlot, false, true,
     false, false, false, 0, true, true, kMask14},
};

const SerialMember* M = &kMembers[0];
int g_clock = 0;
int g_data = 0;

void Use(uint32_t row) {
    for (const SerialMember& m : kMembers) {
        if (m.Row == row) M = &m;
    }
}

// Row 111's parity frames (PIC16C642/662).
bool ParityFrames() { return M->Row == 111 && DeviceVariant == 5; }

// ---- the serial protocol ---------------------------------------------------

void Clock() { PulsePin(g_clock, 3); }

void SendCommand(uint32_t c) {
    for (int i = 0; i < 6; ++i) {
        SetPin(g_data, static_cast<int>((c >> i) & 1));
        Clock();
    }
    SetPin(g_data, 2);
}

uint32_t Parity(uint32_t v) {
    uint32_t p = 0;
    for (; v != 0; v >>= 1) p ^= v & 1;
    return p;
}

void LoadWord(uint32_t c) {
    SendCommand(c);
    SetPin(g_data, 0);
    Clock();
    uint32_t frame = ExpectedValue;
    int bits = 14;
    if (ParityFrames()) {
        const uint32_t v = ExpectedValue & M->WordMask;
        frame = (ExpectedValue << 2) | (Parity(v & 0xAAAA) << 1) | Parity(v & 0x5555);
        bits = 16;
    }
    for (int i = 0; i < bits; ++i) {
        SetPin(g_data, static_cast<int>((frame >> i) & 1));
        Clock();
    }
    SetPin(g_data, 0);
    Clock();
    SetPin(g_data, 2);
}

void ReadWord(uint32_t c) {
    ReadValue = 0;
    SendCommand(c);
    Clock();
    const int bits = ParityFrames() ? 16 : 14;
    for (int i = 0; i < bits; ++i) {
        Clock();
        if (GetPin(g_data) != 0) ReadValue |= 1u << i;
    }
    Clock();
    if (ParityFrames()) ReadValue >>= 2;
}

void Increment() { SendCommand(6); }

void ProgramPulse() {
    LoadWord(2);
    SendCommand(8);
    (*M->PulseWait)(PulseWidth);
    SendCommand(14);
}

bool Matches(uint32_t mask) { return (ExpectedValue & mask) == (ReadValue & mask); }

// Pulse and verify for up to `attempts` attempts; attempt n that matches
// gets extra x n more pulses.
int PulseUntilMatch(uint32_t mask, uint32_t attempts, uint32_t extra) {
    for (uint32_t n = 1; n <= attempts; ++n) {
        ProgramPulse();
        ReadWord(4);
        if (Matches(mask)) {
            for (uint32_t k = 0; k < extra * n; ++k) ProgramPulse();
            return 1;
        }
    }
    return -1;
}

// Rows 111, 115, 116: Retry - 1 attempts, 3 x n more pulses. Every word gets
// at least one attempt, whatever Retry says.
int ProgramWithRetry(uint32_t mask) { return PulseUntilMatch(mask, Retry > 2 ? Retry - 1 : 1, 3); }

// Row 114: 7 attempts, 11 x n more pulses.
int ProgramWithRetry7(uint32_t mask) { return PulseUntilMatch(mask, 7, 11); }

// Flash: load, begin the self-timed write, wait it out and compare.
int SinglePulse(uint32_t mask, bool dataMemory) {
    LoadWord(dataMemory ? 3 : 2);
    SendCommand(8);
    DelayUsSlot(PulseWidth);
    ReadWord(dataMemory ? 5 : 4);
    return Matches(mask) ? 1 : -1;
}

int ProgramWord(uint32_t mask) {
    switch (M->Programming) {
    case WordProgramming::Retry: return ProgramWithRetry(mask);
    case WordProgramming::Retry7: return ProgramWithRetry7(mask);
    case WordProgramming::SinglePulse: return SinglePulse(mask, false);
    }
    return -1;
}

// ---- power ---------------------------------------------------------------------------

void PowerUp(int phase) {
    const uint32_t count = PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0;
    g_clock = g_data = 0;
    for (const PinsByCount& p : M->Pins) {
        // Row 111 serves 68-pin packages with the 40-pin pins.
        if (p.PinCount != 0 && (p.PinCount == count || (M->Row == 111 && p.PinCount == 40 && count == 68))) {
            g_clock = p.Clock;
            g_data = p.Data;
        }
    }
    BlankWord = M->WordMask;
    ProgressStep = 16;
    PicSocketReady(phase);
    if (M->ClockLowFirst) SetPin(g_clock, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    if (M->LastWait) DelayShortUsSlot(100);
}

void PowerDown() {
    if (M->VppOffFirst) SetDeviceVpp(0, 0);
    SetPin(g_data, 2);
    PicSupplyOff(0);
    ResetProgrammerOutputs();
}

// The chip's counter is at 0 after entry (12-bit parts: after the first
// increment); the loops start at DeviceStart, so move the counter there.
void AdvanceTo(uint32_t address) {
    for (uint32_t a = 0; a < address; ++a) Increment();
}

uint16_t& Word(uint32_t index) { return PicWord(index); }

// Data memory in the buffer as the PIC toolchains write it: byte i in the low
// byte of word 2100h + i (byte address 4200h + 2i), the high byte 00h.
constexpr uint32_t kDataWord = 0x2100;

// The member's data-memory bytes for the selected device: row 112's parts
// have 64; row 121 takes them from the record's program size (no record
// field gives them): 4K words 128, 8K words 256, any other size 64.
uint32_t DataBytesOf(const SerialMember& m) {
    if (!m.DataMemory) return 0;
    if (m.Row != 121) return 64;
    return DeviceSize == 0x1000 ? 128 : DeviceSize == 0x2000 ? 256 : 64;
}

// The data memory is addressed by the low bits of the chip's counter, which
// stands wherever the program-word loop left it: leave the programming mode
// and enter it again, so the counter is 0 and data byte i goes to data
// address i whatever the range was.
void ToDataByteZero(int phase) {
    PowerDown();
    PowerUp(phase);
    SelectBank(0, 0);
    BufferIndex = kDataWord;
}

// The per-word service of the read, blank-check, verify and compare loops:
// `keep` is what the buffer word and the chip's answer hold (a data byte is
// the low byte of its buffer word), `blank` the erased value and the bits a
// compare looks at.
int ProcessBufferWord(int mode, uint32_t keep, uint32_t blank) {
    ExpectedValue = Word(BufferIndex) & keep;
    ReadValue &= keep;
    switch (mode) {
    case 0:
        if (ReadValue != blank) return -1;
        BufferIndex += 1;
        break;
    case 2:
        Word(BufferIndex) = static_cast<uint16_t>(ReadValue);
        BufferIndex += AddressStep;
        break;
    case 3:
        if ((ReadValue & blank) != (ExpectedValue & blank)) return -1;
        BufferIndex += AddressStep;
        break;
    case 4:
        WriteCompareLineOk();
        BufferIndex += AddressStep;
        break;
    default: break;
    }
    return 1;
}

// A data byte: the low byte of its buffer word, erased FFh.
int ProcessDataByte(int mode) { return ProcessBufferWord(mode, 0xFFu, 0xFFu); }

// ---- entries ---------------------------------------------------------------------------

// The last chip address of a loop in `mode` (-1 for Program), and whether
// the loop covers any. Rows 114 and 115 leave the calibration word, the
// part's last program word wherever Chip End is, to Read mode 2: a range
// that ends below it is programmed and checked to its end.
bool LoopCovers(int mode, uint32_t& last) {
    last = DeviceEnd;
    if (mode == 2 || !M->CalibrationWord) return true;
    if (DeviceSize < 2) return false;
    last = std::min(DeviceEnd, DeviceSize - 2);
    return DeviceStart <= last;
}

void ReadConfigSerial();

int SerialRead(int mode) {
    if (M->Signature && CheckPicSignature121() != 1) return -1;
    PowerUp(2);
    if (M->FirstIncrement) Increment();
    AdvanceTo(DeviceStart);
    int r = 1;
    uint32_t last = 0;
    const bool covers = LoopCovers(mode, last);
    auto readWords = [&](uint32_t first, uint32_t end) {
        for (ChipAddress = first; ChipAddress <= end; ++ChipAddress) {
            r = StepProgress(ChipAddress);
            if (r != 1) return;
            ReadWord(4);
            r = ProcessReadPicWord(mode);
            if (r == -1) return;
            Increment();
        }
    };
    if (covers) readWords(DeviceStart, last);
    // The calibration area follows the part's program words, not Chip End:
    // a shorter range must not read program words past it into the buffer.
    // Each area word goes where its chip address puts it, as the range's do.
    if (mode == 2 && M->CalibrationArea != 0 && r == 1) {
        const uint32_t from = std::max(DeviceSize, DeviceEnd + 1);
        for (uint32_t a = DeviceEnd + 1; a < from; ++a) Increment();
        BufferIndex += (from - (DeviceEnd + 1)) * AddressStep;
        readWords(from, from + M->CalibrationArea - 1);
    }
    // A break or a failure in the program words skips the data memory.
    if (M->DataMemory && r == 1) {
        ToDataByteZero(2);
        for (uint32_t i = 0, bytes = DataBytesOf(*M); i < bytes; ++i) {
            ChipAddress = kDataWord + i;
            ReadWord(5);
            CellAtPlace(kDataWord + i);
            r = ProcessDataByte(mode);
            if (r == -1) break;
            Increment();
        }
    }
    PowerDown();
    if (mode == 2) {
        if (M->Row == 114) {
            ReadPicConfig114();
        } else {
            ReadConfigSerial();
        }
        LogPicConfiguration();
    }
    NotePicCodeProtection(mode, r);
    return r;
}

int SerialProgram() {
    if (M->Signature && CheckPicSignature121() != 1) return -1;
    PowerUp(1);
    if (M->FirstIncrement) Increment();
    AdvanceTo(DeviceStart);
    int r = 1;
    uint32_t last = 0;
    const bool covers = LoopCovers(-1, last);
    for (ChipAddress = DeviceStart; covers && ChipAddress <= last; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        ExpectedValue = Word(BufferIndex) & M->WordMask;
        if (ExpectedValue != M->WordMask) {
            r = ProgramWord(M->WordMask);
            if (r == -1) break;
        }
        Increment();
        BufferIndex += AddressStep;
    }
    if (M->DataMemory && r == 1) {
        ToDataByteZero(1);
        for (uint32_t i = 0, bytes = DataBytesOf(*M); i < bytes; ++i) {
            ChipAddress = kDataWord + i;
            ExpectedValue = Word(BufferIndex) & 0xFFu;
            if (ExpectedValue != 0xFF) {
                r = SinglePulse(0xFF, true);
                if (r == -1) break;
            }
            Increment();
            BufferIndex += AddressStep;
        }
    }
    PowerDown();
    return r;
}

// ---- configuration of the 14-bit members --------------------------------------------

// Enters the configuration memory: command 0, then command 2 with a word.
void EnterConfiguration(uint32_t word) {
    SendCommand(0);
    ExpectedValue = word;
    LoadWord(2);
}

void ReadConfigSerial() {
    PowerUp(2);
    const bool flash = M->Programming == WordProgramming::SinglePulse;
    EnterConfiguration(flash ? 0x3FFF : 0xFFFF);
    for (int i = 0; i < 4; ++i) {
        ReadWord(4);
        Increment();
        PicIdWords[i] = ReadValue;
        PicFixedWord(0x2000 + static_cast<uint32_t>(i)) = static_cast<uint16_t>(ReadValue);
    }
    for (int i = 0; i < 3; ++i) Increment();
    // The whole word the chip returns: a saved file must carry the chip's
    // unimplemented bits as they read (1), not as code protection on.
    ReadWord(4);
    PicConfigWord = ReadValue;
    PicFixedWord(0x2007) = static_cast<uint16_t>(PicConfigWord);
    PowerDown();
}

// The word to program and its compare mask, by row and variant.
struct ConfigTarget {
    uint32_t Word, Mask;
};

// The bits of the configuration word a field of the device's record offers.
uint32_t OfferedBits() {
    uint32_t bits = 0;
    if (const PicConfigRecord* r = CurrentPicConfigRecord()) {
        for (int n = 0; n < 12; ++n) bits |= PicFieldMask(*r, n);
    }
    return bits;
}

// Bits a writer sets because the part fixes them (unimplemented bits, read
// as 1): only where no field of the record offers the bit, so a choice the
// dialog shows is burnt as chosen.
uint32_t Fixed(uint32_t bits) { return bits & ~OfferedBits(); }

// The copies a part keeps of its code-protection bits in other bits of the
// configuration word: their bits, and the value the protection bits of `c`
// give them.
struct ProtectionCopies {
    uint32_t Mask, Value;
};

ProtectionCopies ProtectionCopiesOf(uint32_t row, uint32_t c) {
    const uint32_t cp = (c >> 4) & 3, b4 = (c >> 4) & 1, b5 = (c >> 5) & 1;
    switch (row) {
    case 111:
        // The pair (bits 5:4) in 13:12, 11:10 and 9:8 (variant 6: 13:12 and
        // 9:8).
        if (DeviceVariant == 1 || DeviceVariant == 4 || DeviceVariant == 5) return {0x3F00, cp * 0x1500};
        if (DeviceVariant == 6) return {0x3300, cp * 0x1100};
        return {0, 0};
    case 112:
        // Bit 4 in 13:5 (variant 2: 13:8 and 6:5).
        if (DeviceVariant == 1) return {0x3FE0, b4 * 0x3FE0};
        if (DeviceVariant == 2) return {0x3F60, b4 * 0x3F60};
        return {0, 0};
    // Variant 1: bit 4 in 11:6.
    case 114: return DeviceVariant == 1 ? ProtectionCopies{0xFC0, b4 * 0xFC0} : ProtectionCopies{0, 0};
    // Bits 6:5 in 13:12, 11:10 and 9:8.
    case 115: return {0x3F00, (c & 0x60) * 0xA8};
    // Bit 4 in 11 and 10, bit 5 in 12 and 9.
    case 116: return {0x1E00, (b4 * 0xC00) | (b5 * 0x1200)};
    // Bits 5:4 in 13:12.
    case 121: return {0x3000, cp << 12};
    // PIC17C42A/43/44: PM2 (bit 15) joins PM1:PM0 (bits 6 and 4), clear
    // only in the code-protected mode, the one their choice of all 0 gives.
    case 113:
        if (DeviceVariant == 1) return {0x8000, (c & 0x50) != 0 ? 0x8000u : 0u};
        return {0, 0};
    default: return {0, 0};
    }
}

// The word with every copy of its protection bits holding what the bits
// give: cleared, then set, so a copy the word held before (a blank word's
// 1s, a protected file's 0s) never stands against the chosen value.
uint32_t Mirrored(uint32_t c, uint32_t row) {
    const ProtectionCopies p = ProtectionCopiesOf(row, c);
    return (c & ~p.Mask) | (p.Value & p.Mask);
}

ConfigTarget ConfigTarget111(uint32_t c) {
    switch (DeviceVariant) {
    case 1: return {Mirrored(c | Fixed(0x80), 111), 0xFFF};
    case 2: return {c | Fixed(0x3F80), 0x3FFF};
    case 3: return {(c & 0x30) != 0 ? c | Fixed(0x3FA0) : c & ~Fixed(0x3FA0), 0x3FFF};
    case 4: return {Mirrored(c | Fixed(0xC0), 111), 0x3FFF};
    case 5: return {Mirrored(c, 111), 0x3FFF};
    case 6: return {Mirrored(c, 111), 0x3F7F};
    default: return {c | Fixed(0x3FE0), 0x1F};
    }
}

ConfigTarget ConfigTargetOf(uint32_t c) {
    switch (M->Row) {
    case 111: return ConfigTarget111(c);
    case 112:
        if (DeviceVariant == 1 || DeviceVariant == 2) return {Mirrored(c, 112), 0x3FFF};
        return {c | Fixed(0x3FE0), 0x1F};
    case 115: return {Mirrored(c, 115), 0x3FFF};
    case 116: return {Mirrored(c | Fixed(0x21C2), 116), 0x1E3D};
    // Every bit written is compared, the copies of CP1:CP0 at 13:12 with
    // them; bit 10 is unimplemented (it reads 1 whatever is written).
    case 121: return {Mirrored(c & 0xBFF, 121), 0x3BFF};
    default: return {c, 0x3FFF};
    }
}

int ProgramConfigSerial() {
    const ConfigTarget t = ConfigTargetOf(PicConfigWord);
    const bool flash = M->Programming == WordProgramming::SinglePulse;
    PowerUp(1);
    EnterConfiguration(M->WordMask);
    int r = 1;
    // The ID words as the buffer holds them (a toolchain's __IDLOCS puts one
    // nibble in each, the upper bits 0).
    for (int i = 0; i < 4; ++i) {
        ExpectedValue = PicIdWords[i] & M->WordMask;
        r = flash ? SinglePulse(M->WordMask, false) : ProgramWithRetry(M->WordMask);
        if (r == -1) {
            PowerDown();
            return -1;
        }
        Increment();
    }
    for (int i = 0; i < 3; ++i) Increment();
    ExpectedValue = t.Word;
    if (flash) {
        r = SinglePulse(t.Mask, false);
    } else if (t.Word != M->WordMask) {
        for (int k = 0; k < 100; ++k) ProgramPulse();
        ReadWord(4);
        r = (ReadValue & t.Mask) == (t.Word & t.Mask) ? 1 : -1;
    }
    PowerDown();
    return r;
}

// ---- flash erase ------------------------------------------------------------------------

// Bulk erase through the configuration word (the code-protection erase),
// the only way to clear a protected flash part.
void BulkErase(uint32_t firstWord, int vppTenths) {
    PowerUp(1);
    ExpectedValue = firstWord;
    SendCommand(0);
    LoadWord(2);
    for (int i = 0; i < 7; ++i) Increment();
    SinglePulse(15, false);
    SetDeviceVpp(0, 0);
    DelayShortUsSlot(200);
    SetDeviceVpp(1, vppTenths);
    ExpectedValue = 0x3FFF;
    LoadWord(0);
    for (int i = 0; i < 7; ++i) Increment();
    SendCommand(1);
    SendCommand(7);
    SendCommand(8);
    DelayMsSlot(11);
    SendCommand(1);
    SendCommand(7);
}

} // namespace

uint32_t PicWithProtectionCopies(uint32_t word) { return Mirrored(word, CurrentAlgorithm); }

uint32_t PicDataBytes() {
    for (const SerialMember& m : kMembers)
        if (m.Row == CurrentAlgorithm) return DataBytesOf(m);
    return 0;
}

// ---- shared per-word service ----------------------------------------------------------

int ProcessReadPicWord(int mode) { return ProcessBufferWord(mode, 0xFFFFFFFFu, BlankWord); }

// ---- rows ---------------------------------------------------------------------------------

#define PIC_SERIAL_ROW(N)                                                                                              \
    int Alg##N##Read(int mode) {                                                                                       \
        Use(N);                                                                                                        \
        return SerialRead(mode);                                                                                       \
    }                                                                                                                  \
    int Alg##N##Program() {                                                                                            \
        Use(N);                                                                                                        \
        return SerialProgram();                                                                                        \
    }

PIC_SERIAL_ROW(111)
PIC_SERIAL_ROW(112)
PIC_SERIAL_ROW(114)
PIC_SERIAL_ROW(115)
PIC_SERIAL_ROW(116)
PIC_SERIAL_ROW(121)
#undef PIC_SERIAL_ROW

#define PIC_CONFIG_ROW(N)                                                                                              \
    void ReadPicConfig##N() {                                                                                          \
        Use(N);                                                                                                        \
        ReadConfigSerial();                                                                                            \
    }                                                                                                                  \
    int ProgramPicConfig##N() {                                                                                        \
        Use(N);                                                                                                        \
        return ProgramConfigSerial();                                                                                  \
    }

PIC_CONFIG_ROW(111)
PIC_CONFIG_ROW(112)
PIC_CONFIG_ROW(115)
PIC_CONFIG_ROW(116)
PIC_CONFIG_ROW(121)
#undef PIC_CONFIG_ROW

// Row 114 works at the power-up address: the configuration word first, then
// DeviceSize + 1 increments to the ID words.
void ReadPicConfig114() {
    Use(114);
    PowerUp(2);
    ReadWord(4);
    PicConfigWord = ReadValue;
    PicFixedWord(0xFFF) = static_cast<uint16_t>(ReadValue);
    for (uint32_t i = 0; i <= DeviceSize; ++i) Increment();
    for (uint32_t i = 0; i < 4; ++i) {
        ReadWord(4);
        Increment();
        PicIdWords[i] = ReadValue;
        PicFixedWord(DeviceSize + i) = static_cast<uint16_t>(ReadValue);
    }
    PowerDown();
}

int ProgramPicConfig114() {
    Use(114);
    const uint32_t c = PicConfigWord;
    // Variant 1: the protection bit (4) mirrored into bits 11:6.
    const uint32_t w = DeviceVariant == 0 ? c & 0x1F : Mirrored(c, 114);
    const uint32_t blank = DeviceVariant == 0 ? 0x1F : 0xFFF;
    PowerUp(1);
    int r = 1;
    ExpectedValue = w;
    // Each bit the part implements is compared: variant 1's copies of the
    // protection bit too, which alone leave the part unprotected.
    if (w != blank) r = ProgramWithRetry7(blank);
    if (r == 1) {
        for (uint32_t i = 0; i <= DeviceSize; ++i) Increment();
        for (int i = 0; i < 4 && r == 1; ++i) {
            ExpectedValue = PicIdWords[i] & kMask12;
            r = ProgramWithRetry7(kMask12);
            Increment();
        }
    }
    PowerDown();
    return r;
}

int CheckPicSignature121() {
    Use(121);
    if (SkipIdCheck == 1) return 1;
    PowerUp(2);
    EnterConfiguration(0x3FFF);
    for (int i = 0; i < 6; ++i) Increment();
    ReadWord(4);
    PowerDown();
    if ((ReadValue & 0x3FE0) == ExpectedDeviceId) return 1;
    // No: the run ends at the line, nothing of the part read or compared.
    if (RefuseIdentity(true, " Incorrect device ID.") != 1) return -1;
    SkipIdCheck = 1; // Yes holds for the rest of the run
    return 1;
}

int Alg112Erase() {
    Use(112);
    BulkErase(0x3FE0, 130);
    PowerDown();
    return 1;
}

int Alg121Erase() {
    Use(121);
    if (CheckPicSignature121() != 1) return -1;
    BulkErase(0x400, static_cast<int>(Vpp / 10));
    ExpectedValue = 0x3FFF;
    LoadWord(3);
    SendCommand(11);
    SendCommand(8);
    DelayMsSlot(11);
    PowerDown();
    return 1;
}

// ---- installation ----------------------------------------------------------------------

namespace {

std::string PicRecordCheck(uint32_t row, const RowRecordFacts& r) {
    return PicRecordRefusal(row, r.SubVariant, r.Variant, r.DeviceSize);
}

} // namespace

// The configuration word, the ID words and the data memory keep their buffer
// words (a word per chip address, row 113's configuration in the buffer's
// second bank) whatever Buffer Start says, and a run covers them whatever
// the range.
static std::vector<FixedBufferPlace> PicFixedPlaces() {
    const PicPositions at = PicBufferPositions();
    const uint32_t bank = CurrentAlgorithm == 113 ? 0x8000 : 0; // in words
    std::vector<FixedBufferPlace> v = {{bank + at.Config, bank + at.Config, bank + at.Config}};
    if (at.Id != 0) v.push_back({at.Id, at.Id + 3, at.Id});
    if (const uint32_t bytes = PicDataBytes(); bytes != 0) v.push_back({kDataWord, kDataWord + bytes - 1, kDataWord});
    return v;
}

// A Read (mode 2) of a row with a calibration area stores its words after
// the part's program words, where their chip addresses put them from Buffer
// Start (see SerialRead).
static ReadAreaAfterRange PicCalibrationArea() {
    for (const SerialMember& m : kMembers)
        if (m.Row == CurrentAlgorithm && m.CalibrationArea != 0)
            return {std::max(DeviceSize, DeviceEnd + 1) - (DeviceEnd + 1), m.CalibrationArea};
    return {};
}

// Every PIC row writes its configuration word and ID words from the buffer,
// sums and saves them its own way, and refuses records past its tables.
// `lanes`: the row steps its program words by the split step. The others
// take the range's words one after the other and keep the configuration,
// ID and data-memory words at buffer words named by the chip's own
// addresses, which a split buffer gives to the lanes' data: a split Read
// would overwrite lane data with them, and the configuration step would
// program a lane's datum as the configuration word. They offer no byte
// lanes. `checksIdentity`: the row reads the part's device ID first.
constexpr RowDef PicRow(uint32_t row, AlgReadFn read, AlgOperationFn program, AlgOperationFn erase,
                        ChecksumFn checksum, HexConfigWriterFn hex, bool lanes = false,
                        bool (*checksIdentity)() = nullptr) {
    return {.Row = row,
            .Read = read,
            .Program = program,
            .Erase = erase,
            .Options = Alg110Options,
            .ConfigFuseWriter = ProgramPicConfigFromBuffer,
            .Checksum = checksum,
            .HexConfigWriter = hex,
            .RecordCheck = PicRecordCheck,
            .NoByteLanes = !lanes,
            .FixedPlaces = PicFixedPlaces,
            .ReadStoresAfterRange = PicCalibrationArea,
            .ChecksIdentity = checksIdentity};
}

// The rows of this family. Row 113 keeps its configuration in the buffer's
// second bank, past every lane of its words.
constexpr RowDef kAlgorithmRows[] = {
    PicRow(110, Alg110Read, Alg110Program, nullptr, ComputeChecksum110, WritePicConfigHex110),
    PicRow(111, Alg111Read, Alg111Program, nullptr, ComputeChecksum111, WritePicConfigHex111),
    PicRow(112, Alg112Read, Alg112Program, Alg112Erase, ComputeChecksum112, WritePicConfigHex111),
    PicRow(114, Alg114Read, Alg114Program, nullptr, ComputeChecksum110, WritePicConfigHex110),
    PicRow(115, Alg115Read, Alg115Program, nullptr, ComputeChecksum111, WritePicConfigHex111),
    PicRow(116, Alg116Read, Alg116Program, nullptr, ComputeChecksum111, WritePicConfigHex111),
    PicRow(121, Alg121Read, Alg121Program, Alg121Erase, ComputeChecksum112, WritePicConfigHex111, false,
           ChecksIdentityAlways),
    PicRow(113, Alg113Read, Alg113Program, nullptr, ComputeChecksum113, WritePicConfigHex113, true),
};

ROW_FAMILY("Pic", Mcu, 40, kAlgorithmRows);

void ResetPicState() {
    PicConfigWord = 0x3FFF;
    for (uint32_t& w : PicIdWords) w = 0;
    PicConfigFields[0] = 0;
    for (uint32_t& f : PicConfigFields) f = 0;
    PicIdText[0] = PicIdText[1] = PicIdText[2] = 0;
    PicConfigResult = 1;
    M = &kMembers[0];
    InstallPicDialogLauncher(nullptr);
}
