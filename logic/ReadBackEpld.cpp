#include "logic/ReadBackEpld.h"

#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "logic/FuseCells.h"

namespace {

constexpr int kWriting = 1;
enum Group { kDataGroup = 0, kModeGroup = 1, kAddressGroup = 2, kSelectGroup = 3, kIdleGroup = 4 };
enum ModeLines { kEraseLines = 0, kReadLines = 1, kEraseLines2 = 2, kProgramLines = 3 };
constexpr int kLogicSupply = 50, kBiasLevel = 147, kBiasChannel = 1;
constexpr uint32_t kCellPulseUs = 10000;
constexpr uint32_t kErasePulseMs = 100;

// Row 204's tables.
constexpr uint8_t K1Select204[11] = {6, 7, 8, 9, 10, 5, 4, 3, 2, 1, 0};
constexpr uint8_t K4Select204[8] = {0, 1, 2, 3, 4, 6, 7, 8};
constexpr uint8_t LineBase204[10] = {0, 8, 24, 32, 40, 16, 48, 56, 64, 72};
constexpr uint8_t ColumnBase204[11] = {84, 92, 100, 108, 116, 124, 128, 136, 144, 152, 160};
constexpr uint8_t BitOrder204[3][8] = {{0, 1, 2, 3, 4, 5, 6, 7}, {3, 0, 1, 2, 7, 4, 5, 6}, {1, 0, 2, 3, 5, 4, 6, 7}};

// One pin map: socket pins (0 ends a list).
struct ReadBackPins {
    int Data[8];
    int Address[8]; // row 206: seven address lines
    int Select[6];  // row 206: four select lines, then the two half lines
    int Mode[4];
    int Strobe, Pulse, Bias;
    int Low;        // also driven low at power-up (0: none)
    int Idle[5];    // a group never driven
};

struct ReadBackRow {
    uint32_t Row;
    int AddressBits, SelectBits;
    bool VppBias;          // the bias through the channel of its pin's parity
    bool ClearsReadBack;   // power-up clears ReadBackAfterSecure, not SecureCheckValue
    bool FloatBeforeDown;  // the data bus floated first at power-down
    uint32_t ReadSettleUs; // wait after raising the read enable
};

constexpr ReadBackPins kPins204{{28, 29, 30, 31, 32, 33, 34, 35}, {28, 29, 30, 31, 32, 33, 34, 35},
                                {19, 20, 21, 22, 0, 0}, {14, 15, 17, 18}, 25, 16, 13, 0, {23, 26, 27, 0, 0}};
constexpr ReadBackPins kPins205{{27, 28, 29, 30, 32, 33, 34, 35}, {27, 28, 29, 30, 32, 33, 34, 24},
                                {19, 20, 21, 22, 0, 0}, {12, 13, 15, 18}, 16, 14, 11, 23, {25, 26, 36, 37, 38}};
constexpr ReadBackPins kPins206Dip40{{13, 14, 15, 16, 17, 18, 19, 20}, {13, 14, 15, 16, 17, 18, 19, 0},
                                     {20, 21, 22, 23, 26, 27}, {6, 7, 9, 10}, 25, 8, 5, 0, {0, 0, 0, 0, 0}};
constexpr ReadBackPins kPins206Pin44{{12, 13, 14, 15, 16, 17, 18, 20}, {12, 13, 14, 15, 16, 17, 18, 0},
                                     {20, 21, 22, 23, 27, 28}, {5, 6, 8, 9}, 26, 7, 4, 0, {0, 0, 0, 0, 0}};

constexpr ReadBackRow kRow204{204, 8, 4, false, true, false, 0};
constexpr ReadBackRow kRow205{205, 8, 4, false, false, true, 0};
constexpr ReadBackRow kRow206{206, 7, 6, true, false, false, 10};

CellByte MakeByte(int kind, int select, int address, uint8_t orMask = 0) {
    CellByte c{};
    c.Kind = kind;
    c.Select = select;
    c.Bus = address;
    c.OrMask = orMask;
    return c;
}

std::vector<CellByte> Walk204() {
    std::vector<CellByte> walk;
    for (int a = 0; a <= 10; ++a)
        for (int b = 0; b <= 83; ++b) {
            CellByte c = MakeByte(0, a, b, a == 10 ? 0xF0 : 0);
            for (int p = 0; p < (a == 10 ? 4 : 8); ++p)
                c.Add(p, static_cast<uint32_t>(a == 10 ? 13440 + 84 * p + b : 168 * (LineBase204[a] + p) + b));
            walk.push_back(c);
        }
    for (int a = 0; a <= 10; ++a)
        for (int b = 0; b <= 79; ++b) {
            CellByte c = MakeByte(1, K1Select204[a], b + 128, a == 5 ? 0xF0 : 0);
            const uint32_t first = static_cast<uint32_t>(168 * b + ColumnBase204[a]);
            if (a == 5) {
                static constexpr int kPositions[4] = {0, 1, 3, 2};
                for (int i = 0; i < 4; ++i) c.Add(kPositions[i], first + static_cast<uint32_t>(i));
            } else {
                for (int i = 0; i < 8; ++i) c.Add(a <= 4 ? i : 7 - i, first + static_cast<uint32_t>(i));
            }
            walk.push_back(c);
        }
    for (int a = 0; a <= 1; ++a) {
        CellByte c = MakeByte(2, a + 3, 213, 0xF0);
        for (int p = 0; p < 4; ++p) c.Add(p, static_cast<uint32_t>(13776 + 4 * a + p));
        walk.push_back(c);
    }
    for (int a = 0; a <= 29; ++a) {
        CellByte c = MakeByte(3, a % 6 + 5, 213 + a / 6);
        for (int i = 0; i < 8; ++i) c.Add(BitOrder204[a % 3][i], static_cast<uint32_t>(13784 + 8 * a + i));
        walk.push_back(c);
    }
    for (int a = 0; a <= 7; ++a) {
        CellByte c = MakeByte(4, K4Select204[a], 208);
        for (int i = 0; i < 8; ++i) c.Add(7 - i, static_cast<uint32_t>(14024 + 8 * a + i));
        walk.push_back(c);
    }
    return walk;
}

std::vector<CellByte> Walk205() {
    std::vector<CellByte> walk;
    for (int a = 0; a <= 8; ++a)
        for (int b = 0; b <= 75; ++b) {
            CellByte c = MakeByte(0, a, b, a == 8 ? 0xF8 : 0);
            for (int p = 0; p < (a == 8 ? 3 : 8); ++p)
                c.Add(p, static_cast<uint32_t>(a == 8 ? 8064 + 76 * p + b : 126 * (8 * a + p) + b));
            walk.push_back(c);
        }
    // Kind 1: columns 76-125 of line b.
    for (int a = 0; a <= 6; ++a)
        for (int b = 0; b <= 63; ++b) {
            CellByte c = MakeByte(1, a, b + 128, a == 6 ? 0xFC : 0);
            for (int p = 0; p < (a == 6 ? 2 : 8); ++p) {
                int column = 76 + 8 * a + p;
                if (a == 0) column = 78 + p;
                if (a == 1) column = p <= 3 ? 86 + p : p <= 5 ? 72 + p : 84 + p;
                if (a == 6) column = 124 + p;
                c.Add(p, static_cast<uint32_t>(126 * b + column));
            }
            walk.push_back(c);
        }
    auto address = [](int b) { return b == 64 ? 0xFF : b + 128; };
    for (int a = 0; a <= 4; ++a)
        for (int b = 65; b <= 68; ++b) {
            CellByte c = MakeByte(2, a, address(b));
            for (int p = 0; p < 8; ++p) {
                if (a == 4 && b == 68) c.Add(p, static_cast<uint32_t>(p <= 3 ? 8475 + p : 8288 + p));
                else c.Add(p, static_cast<uint32_t>(8323 + 32 * a + 8 * (b - 65) + p));
            }
            walk.push_back(c);
        }
    for (int b = 65; b <= 67; ++b) {
        CellByte c = MakeByte(5, 5, address(b));
        for (int p = 0; p < 8; ++p) c.Add(p, static_cast<uint32_t>(8299 + 8 * (b - 65) + p));
        walk.push_back(c);
    }
    CellByte k4 = MakeByte(4, 0, address(64));
    for (int p = 0; p < 8; ++p) k4.Add(p, static_cast<uint32_t>(8479 + p));
    walk.push_back(k4);
    CellByte k3 = MakeByte(3, 0, address(69), 0xF0); // bit 4 of this byte is the security cell
    for (int p = 0; p < 3; ++p) k3.Add(p, static_cast<uint32_t>(8296 + p));
    k3.Add(3, 8487);
    walk.push_back(k3);
    return walk;
}

// Row 206: Select carries the select code in bits 0-3 and the array half in bits 4-5.
std::vector<CellByte> Walk206() {
    std::vector<CellByte> walk;
    auto byte = [&](int kind, int half, int select, int address, int positions) {
        walk.push_back(MakeByte(kind, select | half << 4, address, static_cast<uint8_t>(0xFF << positions)));
        return &walk.back();
    };
    for (int a = 0; a <= 15; ++a)
        for (int b = 0; b <= 123; ++b) {
            CellByte* c = byte(0, 0, a, b, a == 15 ? 5 : 8);
            for (int p = 0; p < (a == 15 ? 5 : 8); ++p) {
                uint32_t fuse = 0;
                if (a == 0) fuse = static_cast<uint32_t>(p <= 1 ? 124 * p + b : 248 + 176 * (p - 2) + b);
                else if (a <= 14) fuse = static_cast<uint32_t>(1304 + 1408 * (a - 1) + 176 * p + b);
                else fuse = static_cast<uint32_t>(p <= 1 ? 21016 + 176 * p + b : 21368 + 124 * (p - 2) + b);
                c->Add(p, fuse);
            }
        }
    for (int kind = 1; kind <= 2; ++kind)
        for (int a = 0; a <= 6; ++a)
            for (int b = 0; b <= 59; ++b) {
                CellByte* c = byte(kind, 1, a, kind == 1 ? 59 - b : b + 64, a == 6 ? 4 : 8);
                const int base = kind == 1 ? 372 : 10932;
                for (int p = 0; p < (a == 6 ? 4 : 8); ++p) c->Add(p, static_cast<uint32_t>(base + 176 * b + 8 * a + p));
            }
    for (int b = 0; b <= 14; ++b) {
        const int positions = b <= 11 ? 2 : b <= 13 ? 4 : 3;
        CellByte* c = byte(3, 3, 0, b, positions);
        for (int p = 0; p < positions; ++p)
            c->Add(p, static_cast<uint32_t>(b <= 11 ? 21751 + 2 * b + p : b <= 13 ? 21740 + 4 * (b - 12) + p : 21748 + p));
    }
    for (int a = 0; a <= 1; ++a)
        for (int b = 0; b <= 23; ++b) {
            CellByte* c = byte(4, 3, a, b | 0x60, a == 0 ? 8 : 5);
            for (int p = 0; p < (a == 0 ? 8 : 5); ++p)
                c->Add(p, static_cast<uint32_t>((a == 0 ? 21775 : 21783) + 13 * b + p));
        }
    for (int b = 0; b <= 1; ++b) {
        CellByte* c = byte(5, 3, 0, b + 16, 8);
        for (int p = 0; p < 8; ++p) c->Add(p, static_cast<uint32_t>(22087 + 8 * b + p));
    }
    return walk;
}

const ReadBackRow* RowFor(uint32_t row) {
    for (const ReadBackRow* t : {&kRow204, &kRow205, &kRow206})
        if (t->Row == row) return t;
    return nullptr;
}

// The pin map of the row; row 206's from the package's pin count (nullptr:
// a package the row has no pins for).
const ReadBackPins* PinsFor(const ReadBackRow& t) {
    if (t.Row == 204) return &kPins204;
    if (t.Row == 205) return &kPins205;
    const uint32_t pins = PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0;
    if (pins == 40) return &kPins206Dip40;
    if (pins == 44) return &kPins206Pin44;
    return nullptr;
}

void DefineGroup(int group, const int* pins, int count) {
    int p[8] = {};
    for (int i = 0; i < count && i < 8; ++i) p[i] = pins[i];
    DefinePinGroup("", group, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], 0);
}

struct Frame {
    const ReadBackRow& t;
    const ReadBackPins& pins;

    void SetModeLines(int m) const { WritePinGroup(kModeGroup, 0, 3, static_cast<uint64_t>(m)); }
    void SetData(uint32_t v) const { WritePinGroup(kDataGroup, 0, 7, v & 0xFF); }
    void FloatData() const { FloatPinGroup(kDataGroup, 0, 7); }

    void PowerUp(int mode) const {
        DefineGroup(kDataGroup, pins.Data, 8);
        DefineGroup(kModeGroup, pins.Mode, 4);
        DefineGroup(kAddressGroup, pins.Address, t.AddressBits);
        DefineGroup(kSelectGroup, pins.Select, t.SelectBits);
        if (pins.Idle[0] != 0) DefineGroup(kIdleGroup, pins.Idle, 5);
        SupplyVoltage = mode == kWriting ? kLogicSupply : ReadVccInUse;
        if (t.ClearsReadBack) ReadBackAfterSecure = 0;
        else SecureCheckValue = 0;
        SetVccRange(0, static_cast<int>(SupplyVoltage));
        SetAllDacVoltages(kLogicSupply, 0, 0, 0);
        SetDeviceGround(1);
        DelayMsSlot(100);
        FloatPinRange(1, 48);
        SetModeLines(kEraseLines);
        if (t.Row == 206) WritePinGroup(kSelectGroup, 1, 5, 0);
        SetPin(pins.Strobe, 0);
        SetPin(pins.Pulse, 0);
        if (pins.Low != 0) SetPin(pins.Low, 0);
        SetDevicePower(1, static_cast<int>(SupplyVoltage));
        DelayShortUsSlot(50);
        if (t.VppBias) ApplyVppToPin(pins.Bias, 1, kBiasLevel);
        else ApplyVoltageToPin(kBiasChannel, pins.Bias, 1, kBiasLevel);
    }

    void PowerDown() const {
        if (t.FloatBeforeDown) FloatData();
        if (t.VppBias) ApplyVppToPin(pins.Bias, 0, kLogicSupply);
        else ApplyVoltageToPin(kBiasChannel, pins.Bias, 0, kLogicSupply);
        SetPin(pins.Bias, 0);
        SetDevicePower(0, static_cast<int>(SupplyVoltage));
    }

    // Select code (with row 206's half) and address latched by the strobe.
    void Latch(int select, int address) const {
        WritePinGroup(kSelectGroup, 0, t.SelectBits - 1, static_cast<uint64_t>(select));
        WritePinGroup(kAddressGroup, 0, t.AddressBits - 1, static_cast<uint64_t>(address));
        SetPin(pins.Strobe, 1);
    }

    void Pulse(uint32_t data) const {
        SetData(data);
        PulsePinTimed(pins.Pulse, 3, kCellPulseUs);
    }

    // Mode lines 1, the bus floated, the read enable high: the latched byte.
    uint32_t ReadBack() const {
        SetModeLines(kReadLines);
        FloatData();
        SetPin(pins.Pulse, 1);
        if (t.ReadSettleUs != 0) DelayShortUsSlot(t.ReadSettleUs);
        const auto v = static_cast<uint32_t>(ReadPinGroup(kDataGroup, 0, 7));
        SetPin(pins.Pulse, 0);
        return v;
    }

    int Access(const CellByte& b, int mode) const {
        if (t.Row == 206) ReadValue = ExpectedValue = 0;
        if (mode == kWriting) {
            ExpectedValue = MapCellByte(b, 0, kWriting);
            if (ExpectedValue == 0xFF) return 1;
        }
        SetModeLines(mode == kWriting ? kProgramLines : kReadLines);
        Latch(b.Select, b.Bus);
        if (mode == kWriting) Pulse(ExpectedValue);
        ReadValue = ReadBack();
        SetPin(pins.Strobe, 0);
        if (mode == kWriting) {
            if (ReadValue != ExpectedValue) CompareFailed = 1;
        } else {
            MapCellByte(b, ReadValue, mode);
        }
        return CompareFailed == 1 ? -1 : 1;
    }
};

std::vector<CellByte> WalkOf(uint32_t row) {
    switch (row) {
    case 204: return Walk204();
    case 205: return Walk205();
    case 206: return Walk206();
    default: return {};
    }
}

// The frame of the row, or nullptr with " Device not supported!" logged
// when row 206's package has no pin map.
const ReadBackPins* PinsOrRefuse(const ReadBackRow& t) {
    const ReadBackPins* pins = PinsFor(t);
    if (pins == nullptr) RefuseRun(" Device not supported!");
    return pins;
}

int RunCellArray(const ReadBackRow& t, int mode) {
    const ReadBackPins* pins = PinsOrRefuse(t);
    if (pins == nullptr) return -1;
    const Frame f{t, *pins};
    CompareFailed = 0;
    f.PowerUp(mode);
    int half = -1;
    for (const CellByte& b : WalkOf(t.Row)) {
        if (t.Row == 206 && b.Select >> 4 != half) {
            half = b.Select >> 4;
            WritePinGroup(kSelectGroup, 4, 5, static_cast<uint64_t>(half));
        }
        if (f.Access(b, mode) == -1) {
            f.PowerDown();
            return -1;
        }
    }
    f.PowerDown();
    return 1;
}

int EraseEntry(const ReadBackRow& t) {
    const ReadBackPins* pins = PinsOrRefuse(t);
    if (pins == nullptr) return -1;
    const Frame f{t, *pins};
    f.PowerUp(kWriting);
    for (int lines : {kEraseLines, kEraseLines2, kEraseLines}) {
        f.SetModeLines(lines);
        if (t.Row == 204) f.FloatData();
        if (t.Row == 206) {
            SetPin(pins->Pulse, 1);
            DelayMsSlot(kErasePulseMs);
            SetPin(pins->Pulse, 0);
        } else {
            PulsePinTimed(pins->Pulse, 3, kErasePulseMs * 1000);
        }
    }
    f.PowerDown();
    return 1;
}

// The security byte: select, address and the data of its pulses. Row 204
// judges its own read-back (the engine's check after securing is off for
// it): a secured part reads 00h, so the security bit (bit 0) still reading 1
// is a cell that did not take. Rows 205 and 206 leave the judging to the
// engine's check of every fuse.
int SecureEntry(const ReadBackRow& t) {
    const ReadBackPins* pins = PinsOrRefuse(t);
    if (pins == nullptr) return -1;
    const Frame f{t, *pins};
    f.PowerUp(kWriting);
    f.SetModeLines(kProgramLines);
    switch (t.Row) {
    case 204:
        f.Latch(2, 218);
        f.Pulse(0xFE);
        break;
    case 205:
        f.Latch(0, 0xC5);
        f.Pulse(0xEF);
        break;
    default:
        f.Latch(3 << 4, 15); // select 0 of half 3
        f.Pulse(0xEF);
        f.Pulse(0xFE);
        break;
    }
    const uint32_t back = f.ReadBack();
    SetPin(pins->Strobe, 0);
    f.PowerDown();
    if (t.Row == 204 && (back & 0x01) != 0)
        return LockNotTaken(" Security bit not programmed (security byte reads %02Xh).", static_cast<unsigned>(back));
    return 1;
}

int Alg204Read(int mode) { return RunCellArray(kRow204, mode); }
int Alg204Program() { return RunCellArray(kRow204, kWriting); }
int Alg204Erase() { return EraseEntry(kRow204); }
int Alg204Secure() { return SecureEntry(kRow204); }
int Alg205Read(int mode) { return RunCellArray(kRow205, mode); }
int Alg205Program() { return RunCellArray(kRow205, kWriting); }
int Alg205Erase() { return EraseEntry(kRow205); }
int Alg205Secure() { return SecureEntry(kRow205); }
int Alg206Read(int mode) { return RunCellArray(kRow206, mode); }
int Alg206Program() { return RunCellArray(kRow206, kWriting); }
int Alg206Erase() { return EraseEntry(kRow206); }
int Alg206Secure() { return SecureEntry(kRow206); }

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 204, .Read = Alg204Read, .Program = Alg204Program, .Erase = Alg204Erase, .Secure = Alg204Secure},
    {.Row = 205, .Read = Alg205Read, .Program = Alg205Program, .Erase = Alg205Erase, .Secure = Alg205Secure},
    {.Row = 206, .Read = Alg206Read, .Program = Alg206Program, .Erase = Alg206Erase, .Secure = Alg206Secure},
};

} // namespace

std::vector<CellByte> ReadBackEpldWalk(uint32_t row) {
    return RowFor(row) != nullptr ? WalkOf(row) : std::vector<CellByte>{};
}

ROW_FAMILY("ReadBackEpld", Logic, 180, kAlgorithmRows);
