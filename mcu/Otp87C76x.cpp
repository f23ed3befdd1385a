#include "mcu/Otp87C76x.h"

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
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
#include "mcu/Mcu8051Walks.h"

int WatchDogTimerOption = 0;
int ResetPinOption = 0;
int PortResetOption = 0;
int BrownOutOption = 0;
int ClockRateSelectOption = 0;
int OscillatorControlOption = 0;
int SecurityBitsOption = 0;

namespace {

constexpr uint32_t kArea = 0xFCE0, kAreaEnd = 0xFCFF;
constexpr uint8_t kLoadData = 2, kReadByte = 4, kIncrement = 6, kAddressLow = 8, kAddressHigh = 0x0A,
                  kStartProgram = 0x0C, kEndProgram = 0x0E;

// Socket pins of the serial data and clock lines by package pin count.
struct SerialPins {
    int pinCount, data, clock;
};
constexpr SerialPins kSerialPins[] = {{8, 28, 27}, {16, 30, 29}, {20, 31, 30}, {44, 40, 39}};

const SerialPins* SerialPinsOf(uint32_t pinCount) {
    for (const SerialPins& s : kSerialPins)
        if (static_cast<uint32_t>(s.pinCount) == pinCount) return &s;
    return nullptr;
}

int g_data = 0, g_clock = 0;
int g_cachedHigh = -1;
OptionDialogLauncher g_launcher = nullptr;

uint8_t& Buffered(uint32_t a) { return BufferImage()[a & 0xFFFF]; }

// Bits LSB first, each latched on the clock's rising edge; the data line is
// released afterwards so the chip may answer.
void SendByte(uint32_t b) {
    for (int i = 0; i < 8; ++i) {
        SetPin(g_data, (b >> i) & 1);
        PulsePin(g_clock, 2);
    }
    SetPin(g_data, 2);
    DelayShortUsSlot(2);
}

uint32_t ReadByte() {
    SendByte(kReadByte);
    ReadValue = 0;
    for (int i = 0; i < 8; ++i) {
        SetPin(g_clock, 0);
        ReadValue |= static_cast<uint32_t>(GetPin(g_data) & 1) << i;
        SetPin(g_clock, 1);
    }
    DelayShortUsSlot(2);
    return ReadValue;
}

// The high byte only when it changes: the chip's own increment carries the
// address across 256-byte pages.
void LoadAddress(uint32_t a) {
    if (static_cast<int>(a >> 8) != g_cachedHigh) {
        g_cachedHigh = static_cast<int>(a >> 8);
        SendByte(kAddressHigh);
        SendByte(a >> 8);
    }
    SendByte(kAddressLow);
    SendByte(a & 0xFF);
}

void ProgramPulse(uint32_t width) {
    SendByte(kLoadData);
    SendByte(ExpectedValue);
    SendByte(kStartProgram);
    DelayUsSlot(width);
    SendByte(kEndProgram);
}

// At most Retry - 1 pulses, each followed by a read-back; FFh gets none.
int ProgramByteWithRetry() {
    if ((ExpectedValue & 0xFF) == 0xFF) return 1;
    for (uint32_t n = 1; n < Retry; ++n) {
        ProgramPulse(PulseWidth);
        if (ReadByte() == (ExpectedValue & 0xFF)) return 1;
    }
    return -1;
}

// Mode 1 program, 2 read. A package without serial pins is refused before
// any supply is switched.
bool PowerUp(int mode) {
    g_cachedHigh = -1;
    const int pins = PackageRow(PackageIndex).PinCount;
    const SerialPins* s = SerialPinsOf(static_cast<uint32_t>(pins));
    if (s == nullptr) {
        RefuseRun(" Package of %d pins not supported (8, 16, 20 or 44 pins).", pins);
        return false;
    }
    g_data = s->data;
    g_clock = s->clock;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayUsSlot(100);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayUsSlot(100);
    return true;
}

void PowerDown() {
    SetDeviceVpp(0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    ResetProgrammerOutputs();
}

// The code array with progress, then the 32-byte area without; `cell`
// handles one byte at ChipAddress and BufferIndex.
int Walk(int (*cell)(int), int mode) {
    const uint32_t startBank = CurrentBank;
    LoadAddress(static_cast<uint32_t>(DeviceStart));
    int r = 1;
    for (ChipAddress = static_cast<uint32_t>(DeviceStart); ChipAddress <= static_cast<uint32_t>(DeviceEnd); ++ChipAddress) {
        if ((r = StepProgress(ChipAddress)) != 1) return r;
        if ((r = cell(mode)) != 1) return r;
    }
    // The area's place is in the bank the run started in (FixedPlaces189),
    // wherever a range across a bank end left the window, one byte after
    // the other whatever the split mode.
    if (CurrentBank != startBank && SelectBank(startBank << 16, 1) != 1) return -1;
    AddressStep = 1;
    BufferIndex = kArea;
    LoadAddress(kArea);
    for (ChipAddress = kArea; ChipAddress <= kAreaEnd; ++ChipAddress) {
        CellAtPlace((uint64_t{startBank} << 16) + BufferIndex);
        if ((r = cell(mode)) != 1) return r;
    }
    return r;
}

int ReadCell(int mode) {
    ReadByte();
    SendByte(kIncrement);
    return ProcessReadByte(mode) == -1 ? -1 : 1;
}

int ProgramCell(int) {
    ExpectedValue = RunBufferByte(BufferIndex);
    if (ProgramByteWithRetry() != 1) return -1;
    SendByte(kIncrement);
    BufferIndex += AddressStep;
    return 1;
}

} // namespace

void EncodeOptionBits189() {
    const int osc = OscillatorControlOption == 4 ? 7 : OscillatorControlOption;
    Buffered(OptionBytes189) =
        static_cast<uint8_t>((WatchDogTimerOption & 1) << 7 | (ResetPinOption & 1) << 6 | (PortResetOption & 1) << 5 |
                             (BrownOutOption & 1) << 4 | (ClockRateSelectOption & 1) << 3 | (osc & 7));
    static const uint8_t security[3] = {0x3F, 0xBF, 0xFF};
    if (SecurityBitsOption >= 0 && SecurityBitsOption < 3) Buffered(OptionBytes189 + 1) = security[SecurityBitsOption];
}

void DecodeOptionBits189() {
    const uint8_t b1 = Buffered(OptionBytes189), b2 = Buffered(OptionBytes189 + 1);
    WatchDogTimerOption = b1 >> 7 & 1;
    ResetPinOption = b1 >> 6 & 1;
    PortResetOption = b1 >> 5 & 1;
    BrownOutOption = b1 >> 4 & 1;
    ClockRateSelectOption = b1 >> 3 & 1;
    OscillatorControlOption = (b1 & 7) == 7 ? 4 : b1 & 7;
    switch (b2 >> 6) {
    case 0: SecurityBitsOption = 0; break;
    case 2: SecurityBitsOption = 1; break;
    case 3: SecurityBitsOption = 2; break;
    default: break;
    }
}

int Alg189Identify() {
    if (!PowerUp(2)) return -1;
    LoadAddress(0xFC30);
    ChipMakerId = ReadByte();
    LoadAddress(0xFC31);
    ChipDeviceId = ReadByte();
    LoadAddress(0xFC60);
    ReadByte(); // the third signature byte is not compared
    PowerDown();
    return 1;
}

int Alg189Read(int mode) {
    if (!PowerUp(2)) return -1;
    const int r = Walk(ReadCell, mode);
    PowerDown();
    if (r == 1 && mode == 2) ReadOptionBits189();
    return r;
}

int Alg189Program() {
    if (!PowerUp(1)) return -1;
    const int r = Walk(ProgramCell, 0);
    PowerDown();
    return r;
}

int ReadOptionBits189() {
    if (!PowerUp(2)) return -1;
    for (uint32_t a = OptionBytes189; a <= OptionBytes189 + 1; ++a) {
        LoadAddress(a);
        Buffered(a) = static_cast<uint8_t>(ReadByte());
    }
    PowerDown();
    DecodeOptionBits189();
    return 1;
}

int ProgramOptionBytes189() {
    if (!PowerUp(1)) return -1;
    int r = 1;
    for (uint32_t a = OptionBytes189; a <= OptionBytes189 + 1 && r == 1; ++a) {
        ChipAddress = a;
        LoadAddress(a);
        ExpectedValue = Buffered(a);
        r = ProgramByteWithRetry();
    }
    PowerDown();
    DecodeOptionBits189();
    return r;
}

int Program87C76xOptionBits() {
    EncodeOptionBits189();
    return ProgramOptionBytes189();
}

std::string Otp87C76xRecordRefusal(uint32_t row, uint32_t pinCount) {
    if (row != 189 || SerialPinsOf(pinCount) != nullptr) return "";
    return "package of " + std::to_string(pinCount) + " pins has no serial pins for algorithm 189";
}

void Install87C76xDialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

int Alg189Options() {
    if (g_launcher != nullptr) g_launcher();
    return 1;
}

namespace {
std::string SerialPinsCheck(uint32_t row, const RowRecordFacts& r) {
    return Otp87C76xRecordRefusal(row, r.PackagePins);
}
} // namespace

// The 32-byte area after the code array (in the bank the run starts in) and
// the option bytes (bank 0) keep their buffer places whatever Buffer Start
// says, and a run covers them whatever the range.
static std::vector<FixedBufferPlace> FixedPlaces189() {
    const uint32_t bank = BufferStart / 0x10000 * 0x10000;
    return {{bank + kArea, bank + kAreaEnd, kArea}, {OptionBytes189, OptionBytes189 + 1, OptionBytes189}};
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 189,
     .Identify = Alg189Identify,
     .Read = Alg189Read,
     .Program = Alg189Program,
     .Options = Alg189Options,
     .ConfigFuseWriter = ProgramOptionBytes189,
     .RecordCheck = SerialPinsCheck,
     .FixedPlaces = FixedPlaces189},
};

ROW_FAMILY("87C76x", Mcu, 80, kAlgorithmRows);

void Reset87C76xState() {
    WatchDogTimerOption = ResetPinOption = PortResetOption = BrownOutOption = ClockRateSelectOption = 0;
    OscillatorControlOption = SecurityBitsOption = 0;
}
