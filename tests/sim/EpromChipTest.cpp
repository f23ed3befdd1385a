// The pulse-programmed EPROM model at its pins, part by part from the
// catalog: pulse width, programming voltage, supply order, electrical erase
// and the margin reads of a weakly programmed cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/EpromChip.h"

#include "PinBench.h"

namespace {

struct PartName {
    const char* maker;
    const char* name;
};

// Byte-wide (24, 28 and 32 pins, with and without /PGM), 16-bit, blank at
// 00h and electrically erasable parts.
const PartName kParts[] = {
    {"INTEL", "2732A"},      {"AMD", "Am27128"},       {"INTEL", "27C256"},     {"AMD", "Am27C010"},
    {"ST", "M27C1024"},      {"CYPRESS", "CY27C256"},  {"INTEL", "2764A"},      {"MICROCHIP", "27HC256"},
    {"WINBOND", "W27C512"},  {"SST", "SST27SF512"},    {"WINBOND", "W27E512"},  {"WINBOND", "W27C4096"},
};
const PartName kErasable[] = {
    {"WINBOND", "W27C512"}, {"SST", "SST27SF512"}, {"WINBOND", "W27E512"}, {"WINBOND", "W27C4096"}};

std::string PrintName(const ::testing::TestParamInfo<PartName>& info) { return info.param.name; }

// Drives one chip's pins the way its datasheet's timing diagrams do.
class EpromPins : public ::testing::TestWithParam<PartName> {
protected:
    const sim::EpromConfig& cfg = *sim::FindFacts<sim::EpromConfig>(GetParam().maker, GetParam().name);
    sim::EpromChip chip{cfg};
    Env env;

    int S(int chipPin) const { return chip.SocketPins()[static_cast<size_t>(chipPin - 1)]; }
    void Tick(uint64_t us = 1) {
        env.now += us;
        chip.Update(env);
    }
    void Drive(int chipPin, bool high) {
        if (chipPin == 0) return;
        env.pins[S(chipPin)].driven = true;
        env.pins[S(chipPin)].drivenHigh = high;
        Tick();
    }
    void Supply(int chipPin, int tenths) {
        env.pins[S(chipPin)].supplyTenths = tenths;
        env.pins[S(chipPin)].steadyFromUs = env.now;
        Tick();
    }
    bool OeIsVpp() const { return cfg.oePin == cfg.vppPin; }
    int Mid(sim::VoltageWindow w) const { return (w.minTenths + w.maxTenths) / 2; }
    // The read level of the Vpp pin: VCC, or /OE high where they share a pin.
    void VppOff() {
        Supply(cfg.vppPin, OeIsVpp() ? -1 : 50);
        if (OeIsVpp()) Drive(cfg.oePin, true);
    }
    void PowerUp(int vccTenths = 50) {
        for (int g : cfg.gndPins) env.pins[S(g)].grounded = true;
        Supply(cfg.vccPin, vccTenths);
        for (int p : {cfg.cePin, cfg.oePin, cfg.pgmPin}) Drive(p, true);
        VppOff();
        Tick(cfg.powerUpUs + 1);
    }
    void Put(const std::vector<int>& pins, uint32_t value) {
        for (size_t i = 0; i < pins.size(); ++i) Drive(pins[i], (value >> i) & 1);
    }
    void Release(const std::vector<int>& pins) {
        for (int p : pins) env.pins[S(p)].driven = false;
        Tick();
    }
    // One program pulse of `us` on the cell: Vpp up, the strobe (/PGM, else
    // /CE) low for the width, Vpp back to its read level.
    void Pulse(uint32_t address, uint16_t datum, uint64_t us, int vppTenths = -1) {
        Put(cfg.addressPins, address);
        Put(cfg.dataPins, datum);
        Supply(cfg.vppPin, vppTenths >= 0 ? vppTenths : Mid(cfg.vpp));
        const int strobe = cfg.pgmPin != 0 ? cfg.pgmPin : cfg.cePin;
        if (strobe != cfg.cePin) Drive(cfg.cePin, false);
        Drive(strobe, false);
        env.now += us - 1;
        Drive(strobe, true);
        Drive(cfg.cePin, true);
        VppOff();
        Release(cfg.dataPins);
    }
    // The word at the address with VCC at `vccTenths`.
    uint16_t Read(uint32_t address, int vccTenths = 50) {
        Supply(cfg.vccPin, vccTenths);
        Tick(cfg.powerUpUs + 1);
        Put(cfg.addressPins, address);
        Drive(cfg.cePin, false);
        Drive(cfg.oePin, false);
        uint16_t word = 0;
        for (size_t i = 0; i < cfg.dataPins.size(); ++i) {
            if (chip.Output(env, S(cfg.dataPins[i])) == sim::ChipDrive::High) word = static_cast<uint16_t>(word | 1u << i);
        }
        ExpectOneCallAgrees();
        Drive(cfg.oePin, true);
        Drive(cfg.cePin, true);
        return word;
    }
    // The drives on the data pins (and /CE, no data line) asked at once, in
    // an environment that keeps a pin table, are those asked pin by pin.
    void ExpectOneCallAgrees() {
        std::vector<int> sockets;
        for (int d : cfg.dataPins) sockets.push_back(S(d));
        sockets.push_back(S(cfg.cePin));
        TableEnv table;
        std::copy(std::begin(env.pins), std::end(env.pins), std::begin(table.pins));
        table.now = env.now;
        std::vector<sim::ChipDrive> once(sockets.size());
        chip.Outputs(table, sockets.data(), sockets.size(), once.data());
        for (size_t i = 0; i < sockets.size(); ++i) EXPECT_EQ(once[i], chip.Output(env, sockets[i])) << "socket pin " << sockets[i];
    }
    bool Recorded(const std::string& what) const {
        return std::any_of(env.violations.begin(), env.violations.end(),
                           [&](const std::string& v) { return v.find(what) != std::string::npos; });
    }
    uint16_t Datum() const { return static_cast<uint16_t>(cfg.blank ^ (cfg.width > 8 ? 0x5AA5 : 0xA5)); }
};

TEST_P(EpromPins, ATooShortPulseProgramsNothingAFullOneProgramsTheCell) {
    PowerUp();
    const uint64_t full = std::max<uint64_t>(cfg.minPulseUs, cfg.fullProgramUs);
    Pulse(0x12, Datum(), cfg.minPulseUs - 1);
    EXPECT_EQ(Read(0x12), cfg.blank);
    EXPECT_EQ(chip.PulsesOn(0x12), 0);
    Pulse(0x12, Datum(), full);
    EXPECT_EQ(chip.PulsesOn(0x12), 1);
    for (int vcc : {45, 50, 55}) EXPECT_EQ(Read(0x12, vcc), Datum()) << vcc;
    ExpectOneCallAgrees(); // deselected: no drive
    EXPECT_EQ(Read(0x13), cfg.blank);
    EXPECT_TRUE(env.violations.empty()) << env.violations.front();
}

// Vpp over the window or the pin's rating, and Vpp without VCC either way,
// are recorded; VCC first and off last is in order.
TEST_P(EpromPins, VppFaultsAreRecorded) {
    PowerUp();
    Supply(cfg.vppPin, Mid(cfg.vpp));
    EXPECT_TRUE(env.violations.empty());
    Supply(cfg.vccPin, -1);
    EXPECT_TRUE(Recorded("programming voltage left on after VCC went off"));
    Supply(cfg.vppPin, -1);
    env.violations.clear();
    Supply(cfg.vppPin, Mid(cfg.vpp));
    EXPECT_TRUE(Recorded("programming voltage applied before VCC"));
    // VCC first, then Vpp, and off the other way round: in order.
    Supply(cfg.vppPin, -1);
    env.violations.clear();
    PowerUp();
    Pulse(0x30, Datum(), cfg.minPulseUs);
    Supply(cfg.vppPin, -1);
    Supply(cfg.vccPin, -1);
    EXPECT_TRUE(env.violations.empty()) << env.violations.front();
    PowerUp();
    if (cfg.erasePin == 0) {
        // Inside the pin's rating but above the program window.
        Pulse(0x20, Datum(), cfg.minPulseUs, cfg.vpp.maxTenths + 1);
        EXPECT_TRUE(Recorded("program pulse at")) << cfg.name;
    }
    Supply(cfg.vppPin, cfg.vppMaxTenths + 5);
    EXPECT_TRUE(Recorded("above its rating")) << cfg.name;
}

TEST_P(EpromPins, AWeakCellReadsRightOnlyAtTheNominalSupply) {
    PowerUp();
    chip.SetFullProgramUs(0x40, 3 * uint64_t{cfg.minPulseUs});
    Pulse(0x40, Datum(), cfg.minPulseUs);
    EXPECT_TRUE(chip.IsWeak(0x40));
    EXPECT_EQ(Read(0x40, 50), Datum());
    EXPECT_EQ(Read(0x40, 45), cfg.blank);
    EXPECT_EQ(Read(0x40, 55), cfg.blank);
    Pulse(0x40, Datum(), 2 * uint64_t{cfg.minPulseUs});
    EXPECT_FALSE(chip.IsWeak(0x40));
    for (int vcc : {45, 50, 55}) EXPECT_EQ(Read(0x40, vcc), Datum()) << vcc;
    EXPECT_TRUE(env.violations.empty()) << env.violations.front();
}

class ErasablePins : public EpromPins {};

TEST_P(ErasablePins, ElectricalEraseClearsTheCells) {
    ASSERT_NE(cfg.erasePin, 0);
    PowerUp();
    const uint32_t last = static_cast<uint32_t>(cfg.words - 1);
    for (uint32_t a : {0u, 0x100u, last}) Pulse(a, 0, cfg.minPulseUs);
    EXPECT_FALSE(chip.IsBlank());
    EXPECT_EQ(chip.PulsesOn(last), 1);
    EXPECT_EQ(chip.PulsesOn(last + 1), 0);
    const int strobe = cfg.eraseStrobePin != 0 ? cfg.eraseStrobePin : cfg.cePin;
    const int level = cfg.vppMaxTenths - 5;
    Supply(cfg.erasePin, level);
    Supply(cfg.vppPin, level);
    // Half the erase time clears nothing yet; the other half clears all.
    for (int half = 0; half < 2; ++half) {
        EXPECT_FALSE(chip.IsBlank());
        Drive(strobe, cfg.eraseStrobeHigh);
        env.now += cfg.erasePulseUs / 2;
        Drive(strobe, !cfg.eraseStrobeHigh);
    }
    Supply(cfg.erasePin, -1);
    VppOff();
    EXPECT_TRUE(chip.IsBlank());
    EXPECT_EQ(Read(0x100), cfg.blank);
    EXPECT_EQ(chip.PulsesOn(0x100), 0);
    EXPECT_TRUE(env.violations.empty()) << env.violations.front();
}

INSTANTIATE_TEST_SUITE_P(Catalog, EpromPins, ::testing::ValuesIn(kParts), PrintName);
INSTANTIATE_TEST_SUITE_P(Catalog, ErasablePins, ::testing::ValuesIn(kErasable), PrintName);

// The intelligent algorithm's parts need the over-program pulse of three
// times the pulses given: 1 ms alone leaves the cell weak.
TEST(EpromPartFacts, IntelligentPartsNeedTheOverProgramPulse) {
    for (const char* name : {"2764A", "27513"}) {
        const auto* c = sim::FindFacts<sim::EpromConfig>("INTEL", name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_GE(c->fullProgramUs, 3 * c->minPulseUs) << name;
    }
    EXPECT_EQ(sim::FindFacts<sim::EpromConfig>("INTEL", "27C256")->fullProgramUs, 0u);
}

} // namespace
