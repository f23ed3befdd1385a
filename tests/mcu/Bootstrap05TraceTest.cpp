// Golden register traces of the bootstrap-download rows 132, 131, 138, 141,
// 137 and 140: power-up with the reset and mode patterns, the download with
// its pacing, the address and data handshakes with their ready waits, the
// per-byte programming times and the power-down, each compared write for
// write with the row's expected steps replayed through the engine. Row
// 132's programming voltage is also followed DAC write by DAC write.
#include "GoldenStream.h"
#include "W78Fixture.h"

#include <algorithm>
#include <functional>

#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Tables.h"
#include "sim/BootBus.h"
#include "sim/Hc05BootChip.h"

namespace {

// ---- the steps the goldens are written in ----

void Tr05Reg(uint32_t reg, uint32_t value) {
    WriteRegister(reg, value);
}
void Tr05Ms(uint32_t ms) {
    DelayMsSlot(ms);
}
void Tr05Us(uint32_t us) {
    DelayShortUsSlot(us);
}
void Tr05Ready() {
    ReadRegister(1);
}
// Register 3 low for `us`, then high.
void Tr05Strobe(uint32_t us) {
    WriteRegister(3, 0);
    DelayShortUsSlot(us);
    WriteRegister(3, 1);
}
// The same with register 0 read inside the strobe.
void Tr05StrobeRead(uint32_t us) {
    WriteRegister(3, 0);
    DelayShortUsSlot(us);
    ReadRegister(0);
    WriteRegister(3, 1);
}
void Tr05On(int ch, int pin, int tenths) {
    ApplyVoltageToPin(ch, pin, 1, tenths);
}
void Tr05Off(int ch, int pin, int tenths) {
    ApplyVoltageToPin(ch, pin, 0, tenths);
}
int Tr05Vpp() {
    return static_cast<int>(Vpp / 10);
}
int Tr05Supply(int mode) {
    return mode == 1 ? static_cast<int>(Vccp / 10) : static_cast<int>(ReadVccInUse);
}
// Supply range, the four DAC channels, ground and 100 ms.
void Tr05Front(int flag, int supply, int c1, int c2, int c3, int c4) {
    SetVccRange(flag, supply);
    SetAllDacVoltages(c1, c2, c3, c4);
    SetDeviceGround(1);
    DelayMsSlot(100);
}
// The first `count` bytes of library entry `entry`, each handed over by `send`.
void Tr05Download(uint32_t entry, uint32_t count, const std::function<void(uint8_t)>& send) {
    OpenLibraryEntry(entry);
    for (uint32_t i = 0; i < count; ++i)
        send(ReadLibraryByte(i));
}

class Boot05TraceRun : public W78Run {
  protected:
    void SetUp() override {
        W78Run::SetUp();
        sim::RegisterBootBusPersonality();
    }
    sim::Hc05BootChip* PutTraced(const char* name) {
        return PutPart<sim::Hc05BootChip, sim::Hc05BootFacts>("GENERIC-ALGORITHM", name, nullptr);
    }
    // The run's stream against the golden steps; the run must be clean.
    void ExpectGolden(GoldenStream& g, const std::function<void()>& steps) {
        ExpectGoldenRun(simp, g, steps, 177);
    }
};

// ---- row 132 ----

struct Tr132 {
    bool sub0;
    int level;
    uint32_t program, secure;
};

void Tr132PowerUp(const Tr132& p, int mode, uint32_t entry) {
    const int supply = Tr05Supply(mode);
    Tr05Front(0, supply, 0, p.level, 0, 0);
    Tr05Reg(3, 1), Tr05Reg(0, 0xFC);
    SetDevicePower(1, supply), Tr05Ms(10);
    Tr05On(2, p.sub0 ? 6 : 4, p.level), Tr05Ms(10);
    if (mode == 1 || mode == 6) {
        if (p.sub0) {
            SetDeviceVpp(1, Tr05Vpp());
        } else {
            RampVoltageUp(2, p.level, Tr05Vpp(), 5, 10);
            Tr05On(2, 6, Tr05Vpp());
        }
    }
    Tr05Reg(5, 4), Tr05Us(100), Tr05Reg(0, 0xFD), Tr05Us(100);
    Tr05Download(entry, 176, [](uint8_t b) { Tr05Us(150), Tr05Reg(1, b), Tr05Ms(2); });
}

void Tr132PowerDown(const Tr132& p) {
    if (p.sub0)
        SetDeviceVpp(0, Tr05Vpp());
    else
        Tr05Off(2, 6, 50);
    Tr05Us(100);
    Tr05Reg(0, 5);
    Tr05On(2, p.sub0 ? 6 : 4, 0), Tr05Us(100);
    SetDevicePower(0, static_cast<int>(ReadVccInUse));
    Tr05Reg(0, 0), Tr05Reg(4, 1);
}

// Address bytes: register 4 = 2 selects, high on 6, low on 2; each waits
// for ready only when programming.
void Tr132Address(uint32_t a, bool wait) {
    if (wait) Tr05Ready();
    Tr05Reg(4, 2), Tr05Reg(6, a >> 8), Tr05Strobe(20);
    if (wait) Tr05Ready();
    Tr05Reg(4, 2), Tr05Reg(2, a & 0xFF), Tr05Strobe(20);
}

// Program sends every mapped byte (blank ones too) with 1 ms each; Read
// fetches without ready waits; Secure holds the secure program 1 ms. Both
// sub-variants: the device's own programming pin, or the ramp onto pin 6.
TEST_F(Boot05TraceRun, Row132Traces) {
    const struct {
        const char* name;
        Tr132 p;
    } parts[] = {{"HC05BOOT-132-V0", {true, 90, 179, 180}}, {"HC05BOOT-132-V3", {false, 100, 181, 182}}};
    for (const auto& part : parts) {
        SCOPED_TRACE(part.name);
        const Tr132 p = part.p;
        sim::Hc05BootChip* chip = PutTraced(part.name);
        DeviceStart = 0x4E;
        DeviceEnd = 0x100;
        BufferWindow[0x4E] = 0x00, BufferWindow[0x4F] = 0x5A, BufferWindow[0x100] = 0xA5;
        const std::vector<uint32_t> mapped = {0x4E, 0x4F, 0x100};
        {
            GoldenStream g(simp);
            EXPECT_EQ(AlgorithmTable[132].Program(), 1);
            // Every mapped byte is sent; the program burns those that are
            // not the part's blank value already.
            std::vector<uint32_t> burnt;
            for (uint32_t a : mapped)
                if (BufferWindow[a] != chip->Facts().blank) burnt.push_back(a);
            EXPECT_EQ(chip->Taken(), burnt);
            EXPECT_EQ(chip->Cell(0x100), 0xA5);
            ExpectGolden(g, [&] {
                Tr132PowerUp(p, 1, p.program);
                for (uint32_t a : mapped) {
                    Tr132Address(a, true);
                    Tr05Ready(), Tr05Reg(0, 0xED), Tr05Reg(7, BufferWindow[a]), Tr05Strobe(20);
                    Tr05Ms(1);
                }
                Tr05Ready(); // the last byte burnt before the power-down
                Tr132PowerDown(p);
            });
        }
        {
            ResetProgrammerOutputs();
            GoldenStream g(simp);
            EXPECT_EQ(AlgorithmTable[132].Read(ReadModeVerify), 1);
            ExpectGolden(g, [&] {
                Tr132PowerUp(p, 3, 178);
                for (uint32_t a : mapped) {
                    Tr132Address(a, false);
                    Tr05Reg(4, 3), Tr05StrobeRead(30);
                }
                Tr132PowerDown(p);
            });
        }
        {
            ResetProgrammerOutputs();
            GoldenStream g(simp);
            EXPECT_EQ(AlgorithmTable[132].Secure(), 1);
            EXPECT_TRUE(chip->Secured());
            ExpectGolden(g, [&] {
                Tr132PowerUp(p, 6, p.secure);
                Tr05Ms(1);
                Tr132PowerDown(p);
            });
        }
        ResetProgrammerOutputs();
    }
}

// The DAC code a channel gets for a level, as the programmer's calibration
// gives it.
uint8_t Tr05DacCode(int channel, int tenths) {
    tenths = std::max(tenths, 10);
    return tenths < 33 ? static_cast<uint8_t>(tenths + 8) : CalibratedDacCode(channel, tenths);
}

// A DAC write on channel 1 or 2 (channel, code) or a supply-A switch of a
// pin (-pin, 1 on / 0 off), with its time.
struct Tr05Volt {
    int what, value;
    uint64_t timeUs;
    bool operator==(const Tr05Volt& o) const { return what == o.what && value == o.value; }
};
Tr05Volt Tr05Dac(int channel, int tenths) {
    return {channel, Tr05DacCode(channel, tenths), 0};
}
Tr05Volt Tr05Switch(int pin, int on) {
    return {-pin, on, 0};
}

// Channel 1 and 2 DAC writes and supply-A switching in trace[from, to).
std::vector<Tr05Volt> Tr05Volts(const std::vector<sim::RegisterAccess>& trace, size_t from, size_t to) {
    std::vector<Tr05Volt> out;
    int channel = 0;
    uint8_t regA[32] = {};
    for (size_t k = 0; k < to && k < trace.size(); ++k) {
        const auto& r = trace[k];
        if (!r.write) continue;
        if (r.reg == 13) channel = (r.value & 3) + 1;
        if (r.reg == 18 && channel <= 2 && k >= from) out.push_back({channel, r.value, r.timeUs});
        if (r.reg >= 26 && r.reg <= 31) {
            const uint8_t changed = regA[r.reg] ^ r.value;
            for (int pin = 1; pin <= 48 && k >= from; ++pin)
                if (SupplyPinTableA[pin].reg == r.reg && (changed & SupplyPinTableA[pin].mask) != 0)
                    out.push_back({-pin, (r.value & SupplyPinTableA[pin].mask) != 0 ? 1 : 0, r.timeUs});
            regA[r.reg] = r.value;
        }
    }
    return out;
}

// Row 132's programming voltage. Sub-variant 0 sets the device's own
// programming pin once, straight to Vpp; the others raise channel 2 from the
// table level to Vpp in 0.5 V steps 10 us apart and then switch it onto pin
// 6. Going down both take the level off in one step: sub-variant 0 opens its
// pin and then sets 5.0 V, the others set 5.0 V and then open pin 6.
TEST_F(Boot05TraceRun, Row132ProgrammingVoltage) {
    for (const char* name : {"HC05BOOT-132-V0", "HC05BOOT-132-V3"}) {
        SCOPED_TRACE(name);
        PutTraced(name);
        const bool sub0 = DeviceSubVariant == 0;
        const int level = sub0 ? 90 : 100;
        const int vpp = Tr05Vpp();
        ASSERT_EQ(vpp, 165);
        const int vppPin = MapDevicePinToZifPin(PackageRow(PackageIndex).VppPin);
        const int vppChannel = vppPin % 2 == 0 ? 2 : 1;
        DeviceStart = DeviceEnd = 0x20;
        BufferWindow[0x20] = 0x3C;
        StartTrace();
        EXPECT_EQ(AlgorithmTable[132].Program(), 1);
        ExpectNoViolations();
        const auto& trace = simp.RegisterTrace();
        auto find = [&trace](size_t from, int reg, int value) {
            for (size_t k = from; k < trace.size(); ++k)
                if (trace[k].write && trace[k].reg == reg && trace[k].value == value) return k;
            return trace.size();
        };
        // Up: from the mode pattern FCh to register 5 = 4.
        const size_t fc = find(0, 0, 0xFC), r5 = find(fc, 5, 4), r05 = find(r5, 0, 5);
        ASSERT_LT(r05, trace.size());
        // The device supply's own switching comes first: start at the pin
        // that takes the table level.
        std::vector<Tr05Volt> up = Tr05Volts(trace, fc, r5);
        const int levelPin = sub0 ? 6 : 4;
        while (!up.empty() && !(up.front() == Tr05Switch(levelPin, 1)))
            up.erase(up.begin());
        std::vector<Tr05Volt> expected;
        if (sub0) {
            expected = {Tr05Switch(6, 1), Tr05Dac(2, level)};
            if (vppPin != 6) expected.push_back(Tr05Switch(vppPin, 1));
            expected.push_back(Tr05Dac(vppChannel, vpp));
        } else {
            expected = {Tr05Switch(4, 1), Tr05Dac(2, level)};
            for (int v = level; v <= vpp; v += 5)
                expected.push_back(Tr05Dac(2, v));
            expected.push_back(Tr05Dac(2, vpp)); // the ramp ends exactly at Vpp
            expected.push_back(Tr05Switch(6, 1));
            expected.push_back(Tr05Dac(2, vpp));
        }
        EXPECT_EQ(up, expected);
        if (!sub0 && up.size() == expected.size()) {
            for (size_t k = 3; k + 2 < up.size(); ++k)
                EXPECT_GE(up[k].timeUs - up[k - 1].timeUs, 10u) << k;
        }
        // Down: from the last strobe of the byte to register 0 = 5.
        size_t strobe = r05;
        while (strobe > r5 && !(trace[strobe].write && trace[strobe].reg == 3 && trace[strobe].value == 1))
            --strobe;
        const std::vector<Tr05Volt> down = Tr05Volts(trace, strobe, r05);
        if (sub0) {
            EXPECT_EQ(down, (std::vector<Tr05Volt>{Tr05Switch(vppPin, 0), Tr05Dac(vppChannel, 50)}));
        } else {
            EXPECT_EQ(down, (std::vector<Tr05Volt>{Tr05Dac(2, 50), Tr05Switch(6, 0)}));
        }
        ResetProgrammerOutputs();
    }
}

// ---- row 131 ----

void Tr131PowerUp(int mode, uint32_t entry) {
    const int supply = Tr05Supply(mode);
    Tr05Front(1, supply, Tr05Vpp(), 100, 0, 0);
    Tr05Reg(3, 1), Tr05Reg(0, 0xFC);
    SetDevicePower(1, supply), Tr05Ms(10);
    Tr05On(2, 4, 100), Tr05Ms(10);
    if (mode == 1 || mode == 6) Tr05On(1, 5, 200);
    Tr05Reg(5, 0), Tr05Reg(5, 4), Tr05Reg(0, 0xFD);
    Tr05Download(entry, 176, [](uint8_t b) { Tr05Us(150), Tr05Reg(1, b), Tr05Ms(2); });
}

void Tr131PowerDown() {
    Tr05Reg(0, 0xE0);
    Tr05Off(1, 5, 0), Tr05Us(100);
    Tr05Off(2, 4, 0), Tr05Us(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    Tr05Reg(0, 0);
}

void Tr131Address(uint32_t a, bool wait) {
    if (wait) Tr05Ready();
    Tr05Reg(0, 0xED), Tr05Reg(6, a >> 8), Tr05Strobe(20);
    if (wait) Tr05Ready();
    Tr05Reg(0, 0xED), Tr05Reg(2, a & 0xFF), Tr05Strobe(20);
}

// Variant 1 (blank 00h): Program skips the 00h byte, sends the others with
// 1 ms each; blank check fetches with 0FDh and no ready waits; Secure loads
// entry 182 with 20 V on pin 5.
TEST_F(Boot05TraceRun, Row131Traces) {
    sim::Hc05BootChip* chip = PutTraced("HC05BOOT-131-V1");
    DeviceStart = 0x4E;
    DeviceEnd = 0x100;
    BufferWindow[0x4E] = 0x00, BufferWindow[0x4F] = 0x5A, BufferWindow[0x100] = 0xA5;
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[131].Read(ReadModeBlank), 1);
        ExpectGolden(g, [] {
            Tr131PowerUp(0, 178);
            for (uint32_t a : {0x4Eu, 0x4Fu, 0x100u}) {
                Tr131Address(a, false);
                Tr05Reg(0, 0xFD), Tr05StrobeRead(30);
            }
            Tr131PowerDown();
        });
    }
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[131].Program(), 1);
        EXPECT_EQ(chip->Taken(), (std::vector<uint32_t>{0x4F, 0x100}));
        ExpectGolden(g, [] {
            Tr131PowerUp(1, 179);
            for (uint32_t a : {0x4Fu, 0x100u}) {
                Tr131Address(a, true);
                Tr05Ready(), Tr05Reg(0, 0xED), Tr05Reg(7, BufferWindow[a]), Tr05Strobe(20);
                Tr05Ms(1);
            }
            Tr05Ready();
            Tr131PowerDown();
        });
    }
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[131].Secure(), 1);
        EXPECT_TRUE(chip->Secured());
        ExpectGolden(g, [] {
            Tr131PowerUp(6, 182);
            Tr05Ms(1);
            Tr131PowerDown();
        });
    }
}

// ---- row 138 ----

void Tr138PowerUp(int mode, uint32_t entry) {
    const int supply = Tr05Supply(mode);
    const int pin15 = mode == 1 ? Tr05Vpp() : 100;
    Tr05Front(1, supply, 0, 0, pin15, 0);
    Tr05Reg(3, 1), Tr05Reg(0, 0x7A), Tr05Ms(100);
    SetDevicePower(1, supply), Tr05Ms(10);
    Tr05On(3, 15, pin15), Tr05Ms(10);
    Tr05Reg(7, 0x0E), Tr05Reg(0, 0x7B);
    Tr05Download(entry, 176, [](uint8_t b) { Tr05Reg(1, b), Tr05Ms(11); });
}

void Tr138PowerDown() {
    Tr05Reg(0, 0);
    Tr05Off(3, 15, 50), Tr05Us(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage)), Tr05Us(100);
    Tr05Reg(1, 0);
}

// No address is sent: the data bytes of the mapped addresses go in order,
// each after ready with a 60 us strobe and 1 ms; every address of the loop,
// mapped or not, gets 50 us. Read sets 7Fh after the power-up.
TEST_F(Boot05TraceRun, Row138Traces) {
    sim::Hc05BootChip* chip = PutTraced("HC05BOOT-138");
    DeviceStart = 0; // the part takes its map from its first byte: no other start
    DeviceEnd = 0xF01;
    BufferWindow[0xF00] = 0x00, BufferWindow[0xF01] = 0x96;
    {
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[138].Program(), 1);
        EXPECT_EQ(chip->Taken(), (std::vector<uint32_t>{0xF01})); // 0xF00's 00h is blank: no burn
        EXPECT_EQ(chip->Cell(0xF01), 0x96);
        ExpectGolden(g, [] {
            Tr138PowerUp(1, 190);
            for (uint32_t a = 0; a <= 0xF01; ++a) {
                if (a >= 0xF00) Tr05Ready(), Tr05Reg(7, BufferWindow[a]), Tr05Strobe(60), Tr05Ms(1);
                Tr05Us(50);
            }
            Tr05Ready();
            Tr138PowerDown();
        });
    }
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[138].Read(ReadModeVerify), 1);
        ExpectGolden(g, [] {
            Tr138PowerUp(3, 189);
            Tr05Reg(0, 0x7F);
            for (uint32_t a = 0; a <= 0xF01; ++a) {
                if (a >= 0xF00) Tr05Ready(), Tr05StrobeRead(50);
                Tr05Us(50);
            }
            Tr138PowerDown();
        });
    }
}

// ---- row 141 ----

void Tr141PowerUp(int mode, uint32_t entry) {
    const int supply = Tr05Supply(mode);
    Tr05Front(1, supply, 0, 100, 0, 155);
    Tr05Reg(5, 0), Tr05Reg(3, 1), Tr05Reg(0, 0xFE), Tr05Reg(0, 0xDE);
    Tr05On(3, 19, 50), Tr05Ms(10);
    SetDevicePower(1, supply), Tr05Ms(10);
    Tr05On(2, 18, 100), Tr05Ms(10);
    Tr05Reg(6, 0x10), Tr05Reg(0, 0xDF), Tr05Us(100);
    Tr05Download(entry, 176,
                 [](uint8_t b) { Tr05Us(200), Tr05Reg(2, b), Tr05Reg(5, 1), Tr05Reg(5, 0), Tr05Ms(5); });
}

void Tr141PowerDown() {
    Tr05Reg(0, 0xE0);
    Tr05Off(2, 36, 50), Tr05Us(100);
    Tr05Off(4, 10, Tr05Vpp()), Tr05Us(100);
    Tr05Off(2, 18, 0), Tr05Us(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    Tr05Reg(0, 0);
}

void Tr141Address(uint32_t a) {
    Tr05Ready(), Tr05Reg(6, a >> 8), Tr05Strobe(30);
    Tr05Ready(), Tr05Reg(2, a & 0xFF), Tr05Strobe(30);
}

// Program: FFh in the EEPROM and 00h in the EPROM are skipped without a
// wait; an EEPROM byte gets 2 ms (300 ms at 1FFh), an EPROM byte 5 ms, and
// every other address 200 us. Blank check reads with ready waits. Erase
// sends only the EEPROM addresses under the erase program.
TEST_F(Boot05TraceRun, Row141Traces) {
    sim::Hc05BootChip* chip = PutTraced("HC05BOOT-141");
    {
        DeviceStart = 0x1FD;
        DeviceEnd = 0x301;
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[141].Read(ReadModeBlank), 1);
        ExpectGolden(g, [] {
            Tr141PowerUp(0, 192);
            for (uint32_t a = 0x1FD; a <= 0x301; ++a) {
                if (a >= 0x200 && a < 0x300) continue;
                Tr141Address(a);
                Tr05Ready(), Tr05Reg(4, 1), Tr05StrobeRead(30);
            }
            Tr141PowerDown();
        });
    }
    BufferWindow[0x1FD] = 0x33, BufferWindow[0x1FE] = 0xFF, BufferWindow[0x1FF] = 0x11;
    BufferWindow[0x300] = 0x22, BufferWindow[0x301] = 0x00;
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[141].Program(), 1);
        EXPECT_EQ(chip->Taken(), (std::vector<uint32_t>{0x1FD, 0x1FF, 0x300}));
        ExpectGolden(g, [] {
            Tr141PowerUp(1, 193);
            Tr05On(4, 10, Tr05Vpp()), Tr05Us(100);
            RampVoltageUp(2, 100, Tr05Vpp(), 5, 10);
            Tr05On(2, 36, Tr05Vpp()), Tr05Ms(10);
            for (uint32_t a = 0x1FD; a <= 0x301; ++a) {
                const bool eeprom = a <= 0x1FF;
                const bool mapped = eeprom || a >= 0x300;
                if (mapped && BufferWindow[a] == (eeprom ? 0xFF : 0x00)) continue;
                if (mapped) {
                    Tr141Address(a);
                    Tr05Ready(), Tr05Reg(4, 0), Tr05Reg(7, BufferWindow[a]), Tr05Strobe(30);
                    Tr05Ms(eeprom ? (a == 0x1FF ? 300 : 2) : 5);
                }
                Tr05Us(200);
            }
            Tr05Ready(); // the last byte's write done before the power-down
            Tr141PowerDown();
        });
    }
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[141].Erase(), 1);
        EXPECT_EQ(chip->Cell(0x1FD), 0xFF);
        EXPECT_EQ(chip->Cell(0x300), 0x22);
        ExpectGolden(g, [] {
            Tr141PowerUp(5, 194);
            RampVoltageUp(2, 100, Tr05Vpp(), 5, 10);
            Tr05On(2, 36, Tr05Vpp()), Tr05Ms(100);
            for (uint32_t a = 0x100; a <= 0x1FF; ++a) {
                Tr141Address(a);
                if (a == 0x1FF) Tr05Ms(300);
            }
            Tr141PowerDown();
        });
    }
}

// A range ending on an EEPROM byte before 1FFh: the byte's write (longer
// than the 2 ms it is given) completes before the supply goes.
TEST_F(Boot05TraceRun, Row141LastEepromByteCompletes) {
    for (uint32_t last : {0x100u, 0x1FEu}) {
        SCOPED_TRACE(last);
        sim::Hc05BootChip* chip = PutTraced("HC05BOOT-141");
        DeviceStart = BufferStart = 0x100; // the row takes a byte at its own address
        DeviceEnd = last;
        FillBufferRange(0x100, last, 0x4B);
        EXPECT_EQ(AlgorithmTable[141].Program(), 1);
        EXPECT_EQ(chip->Cell(last), 0x4B);
        ExpectNoViolations();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    }
}

// ---- row 137 ----

void Tr137PowerUp(int mode, uint32_t entry) {
    const int supply = Tr05Supply(mode);
    Tr05Front(0, supply, 0, 100, 50, Tr05Vpp());
    Tr05Reg(3, 1), Tr05Reg(0, 0xFE);
    Tr05On(3, 19, 50), Tr05Ms(10);
    SetDevicePower(1, supply), Tr05Ms(10);
    Tr05On(2, 18, 100), Tr05Ms(10);
    Tr05Reg(6, 0x18), Tr05Reg(0, 0xFF);
    Tr05Download(entry, 176, [](uint8_t b) { Tr05Us(150), Tr05Reg(1, b), Tr05Ms(2); });
}

void Tr137PowerDown() {
    Tr05Reg(0, 0xE0);
    Tr05Off(4, 36, Tr05Vpp()), Tr05Ms(10);
    Tr05Off(4, 10, Tr05Vpp()), Tr05Ms(10);
    Tr05Off(2, 18, 0), Tr05Ms(10);
    SetDevicePower(0, static_cast<int>(SupplyVoltage)), Tr05Ms(10);
    Tr05Reg(0, 0);
}

void Tr137Address(uint32_t a) {
    Tr05Ready(), Tr05Reg(6, a >> 8), Tr05Strobe(50);
    Tr05Ready(), Tr05Reg(2, a & 0xFF), Tr05Strobe(50);
}

// Variant 0: EEPROM bytes 60 ms, EPROM bytes 2 ms, 200 us after every
// address but a skipped blank; Read gives 100 us after every address outside
// the EEPROM; Erase 10 ms per EEPROM address with 36 at Vpp.
TEST_F(Boot05TraceRun, Row137Traces) {
    sim::Hc05BootChip* chip = PutTraced("HC05BOOT-137-V0");
    DeviceStart = 0x1FE;
    DeviceEnd = 0x401;
    BufferWindow[0x1FE] = 0xFF, BufferWindow[0x1FF] = 0x44, BufferWindow[0x400] = 0x00,
    BufferWindow[0x401] = 0x55;
    {
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[137].Program(), 1);
        EXPECT_EQ(chip->Taken(), (std::vector<uint32_t>{0x1FF, 0x401}));
        EXPECT_EQ(ProgressStep, 16u);
        ExpectGolden(g, [] {
            Tr137PowerUp(1, 184);
            Tr05On(4, 36, Tr05Vpp()), Tr05Us(100);
            Tr05On(4, 10, Tr05Vpp()), Tr05Us(100);
            for (uint32_t a = 0x1FE; a <= 0x401; ++a) {
                const bool eeprom = a <= 0x1FF;
                const bool mapped = eeprom || a >= 0x400;
                if (mapped && BufferWindow[a] == (eeprom ? 0xFF : 0x00)) continue;
                if (mapped) {
                    Tr137Address(a);
                    Tr05Ready(), Tr05Reg(4, 0), Tr05Reg(5, BufferWindow[a]), Tr05Strobe(50);
                    Tr05Ms(eeprom ? 60 : 2);
                }
                Tr05Us(200);
            }
            Tr05Ready();
            Tr137PowerDown();
        });
    }
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[137].Read(ReadModeRead), 1);
        EXPECT_EQ(BufferWindow[0x401], 0x55);
        ExpectGolden(g, [] {
            Tr137PowerUp(2, 183);
            for (uint32_t a = 0x1FE; a <= 0x401; ++a) {
                const bool eeprom = a <= 0x1FF;
                if (eeprom || a >= 0x400) Tr137Address(a), Tr05Ready(), Tr05Reg(4, 1), Tr05StrobeRead(50);
                if (!eeprom) Tr05Us(100);
            }
            Tr137PowerDown();
        });
    }
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[137].Erase(), 1);
        EXPECT_EQ(chip->Cell(0x1FF), 0xFF);
        ExpectGolden(g, [] {
            Tr137PowerUp(5, 185);
            Tr05On(4, 36, Tr05Vpp()), Tr05Ms(10);
            for (uint32_t a = 0x100; a <= 0x1FF; ++a)
                Tr137Address(a), Tr05Ms(10);
            Tr137PowerDown();
        });
    }
}

// ---- row 140 ----

void Tr140PowerUp(int mode, uint32_t entry) {
    const int supply = Tr05Supply(mode);
    Tr05Front(0, supply, 50, 155, 0, 0);
    Tr05Reg(3, 1), Tr05Reg(0, 0xFA);
    SetDevicePower(1, supply), Tr05Ms(10);
    Tr05On(1, 17, supply), Tr05Ms(10);
    Tr05Reg(6, 0x18), Tr05Reg(0, 0xFB);
    Tr05Download(entry, 176, [](uint8_t b) { Tr05Us(200), Tr05Reg(1, b), Tr05Ms(5); });
}

void Tr140PowerDown() {
    Tr05Reg(0, 0xE0), Tr05Us(100);
    Tr05Off(2, 20, 50), Tr05Us(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage)), Tr05Us(100);
    Tr05Off(1, 17, 50), Tr05Us(100);
    Tr05Reg(0, 0), Tr05Us(100);
}

void Tr140Address(uint32_t a, bool wait) {
    if (wait) Tr05Ready();
    Tr05Reg(6, a >> 8), Tr05Strobe(25);
    if (wait) Tr05Ready();
    Tr05Reg(2, a & 0xFF), Tr05Strobe(25);
}

// Variant 0: EEPROM bytes 60 ms, EPROM bytes no wait but one closing ready
// wait before the power-down (the last byte is still burning); unmapped
// addresses get nothing. Blank check fetches with no ready waits; Erase
// waits for ready before each address byte, 10 ms per address.
TEST_F(Boot05TraceRun, Row140Traces) {
    sim::Hc05BootChip* chip = PutTraced("HC05BOOT-140-V0");
    DeviceStart = 0x1FE;
    DeviceEnd = 0x400;
    {
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[140].Read(ReadModeBlank), 1);
        ExpectGolden(g, [] {
            Tr140PowerUp(0, 183);
            for (uint32_t a : {0x1FEu, 0x1FFu, 0x400u})
                Tr140Address(a, false), Tr05Reg(4, 1), Tr05StrobeRead(30);
            Tr140PowerDown();
        });
    }
    BufferWindow[0x1FE] = 0xFF, BufferWindow[0x1FF] = 0x66, BufferWindow[0x400] = 0x77;
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[140].Program(), 1);
        EXPECT_EQ(chip->Taken(), (std::vector<uint32_t>{0x1FF, 0x400}));
        EXPECT_EQ(chip->Cell(0x400), 0x77);
        ExpectGolden(g, [] {
            Tr140PowerUp(1, 184);
            Tr05On(2, 20, Tr05Vpp()), Tr05Ms(10);
            for (uint32_t a : {0x1FFu, 0x400u}) {
                Tr140Address(a, true);
                Tr05Ready(), Tr05Reg(4, 0), Tr05Reg(5, BufferWindow[a]), Tr05Strobe(25);
                if (a <= 0x1FF) Tr05Ms(60);
            }
            Tr05Ready();
            Tr140PowerDown();
        });
    }
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[140].Erase(), 1);
        EXPECT_EQ(chip->Cell(0x1FF), 0xFF);
        EXPECT_EQ(chip->Cell(0x400), 0x77);
        ExpectGolden(g, [] {
            Tr140PowerUp(5, 185);
            for (uint32_t a = 0x100; a <= 0x1FF; ++a)
                Tr140Address(a, true), Tr05Ms(10);
            Tr140PowerDown();
        });
    }
}

} // namespace
