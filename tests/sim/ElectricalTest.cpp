// The electrical model of the simulated programmer, driven by raw register
// traffic: DAC decoding, switch wiring, the strong paths, and the violations
// it records.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/GangAdapter.h"
#include "sim/IdMemory.h"
#include "sim/ProbeChip.h"
#include "SimTestBus.h"

namespace {

class ElectricalTest : public ::testing::Test {
  public:
    sim::SimProgrammer p;
    sim::Electrical* e = nullptr;

    void SetUp() override {
        UseClaimRegisters(0x7E58, 12, &p); // the pin latches
        sim::AddIdMemory(p);
        e = sim::AddElectrical(p);
    }
    void Write(uint8_t reg, uint8_t value) { WriteReg(p, reg, value); }
    void Latch(uint8_t reg, int bit, int state) {
        Write(15, 0x81);
        Write(reg, static_cast<uint8_t>((state << 3) | bit));
        Write(15, 0x01);
    }
    void Dac(int channel, int code) {
        Write(13, static_cast<uint8_t>(0x0C | (channel - 1)));
        Write(18, static_cast<uint8_t>(code));
    }
    std::string All() const {
        std::string s;
        for (const auto& v : p.Violations()) s += v + "\n";
        return s;
    }
    bool Saw(const std::string& text) const { return All().find(text) != std::string::npos; }
    // The sources' start-up time passes.
    void Started() { p.AdvanceUs(sim::kSourceStartUs); }
    // A supply ramp one code at a time, 10 us a step.
    void Ramp(int channel, int from, int to) {
        for (int code = from; code != to;) {
            code += from < to ? 1 : -1;
            p.AdvanceUs(10);
            Dac(channel, code);
        }
    }
};

TEST_F(ElectricalTest, SourcesAndVoltagesPerPin) {
    // Each calibration byte of the ID memory, written through register 18, lands
    // within half a step of its volt.
    for (int c = 1; c <= 4; ++c) {
        for (int v = 1; v <= 25; ++v) {
            Dac(c, sim::kDefaultDacCalibration[c - 1][v - 1]);
            ASSERT_NEAR(e->DacMillivolts(c), v * 1000, 60) << "channel " << c << " at " << v << " V";
        }
    }

    e->DeclareChip(sim::DipPinLimits("load", 48, 150));
    Dac(1, 127); // 12.5 V
    Dac(2, 0);
    Dac(3, 56); // 5.04 V
    Dac(4, 18); // 1.06 V, the start of a ramp
    Started();
    Write(26, 0x80); // supply A, pin 1
    Latch(16, 0, 1); // supply B, pin 11 (channel 3)
    Latch(21, 4, 1); // supply B, pin 48 (channel 4)
    Latch(28, 3, 1); // strong supply, pin 38
    Latch(23, 4, 1); // ground, pin 8
    Latch(29, 5, 1); // strong ground, pin 15
    Ramp(4, 18, 32); // 2.54 V: the strong path adds 0.9 V
    EXPECT_TRUE(p.Violations().empty()) << All();
    Write(27, 0x01); // supply A, pin 16: channel 2 is off
    EXPECT_EQ(All(), "socket pin 16: supply A switched on before channel 2 was set\n");
    using S = sim::PinSource;
    const std::pair<int, S> sources[] = {{1, S::SupplyA},  {16, S::SupplyA},      {11, S::SupplyB},
                                         {48, S::SupplyB}, {38, S::StrongSupply}, {49, S::Floating}};
    for (auto [pin, source] : sources)
        EXPECT_EQ(e->Pin(pin).source, source) << "pin " << pin;
    EXPECT_NEAR(e->Pin(1).millivolts, 12495, 10);
    EXPECT_NEAR(e->Pin(38).millivolts, 3444, 10);
    Ramp(4, 32, 45); // 3.92 V: +1.1 V
    EXPECT_NEAR(e->Pin(38).millivolts, 5022, 10);
    EXPECT_EQ(e->SuppliedPins(), (std::vector<int>{1, 11, 38, 48}));
    EXPECT_EQ(e->GroundedPins(), (std::vector<int>{8, 15}));
}

// Supplies reach a chip in order: the channel set and started, the strong
// path switched at the start of its ramp, the ramp in small steps, and off
// in the reverse order. Each case breaks one rule.
TEST_F(ElectricalTest, SupplyOrderAndRampsOnAChip) {
    struct Case {
        const char* what;
        void (*steps)(ElectricalTest&);
        const char* violation; // nullptr: none
    };
    static const Case cases[] = {
        {"in order",
         [](ElectricalTest& t) {
             t.Dac(4, 18), t.Dac(1, 56), t.Started();
             t.Latch(28, 3, 1), t.Ramp(4, 18, 60), t.Write(26, 0x04); // Vpp after VCC on pin 11
             t.Write(26, 0x00), t.Ramp(4, 60, 18), t.Latch(28, 3, 0);
         },
         nullptr},
        {"device supply switched at 0 V and ramped up from the bottom",
         [](ElectricalTest& t) { t.Latch(20, 0, 1), t.Ramp(3, 18, 56); }, nullptr},
        {"device supply switched at 0 V, then set to its voltage",
         [](ElectricalTest& t) { t.Latch(20, 0, 1), t.Dac(3, 56); },
         "socket pin 21: channel 3 set after its switch closed"},
        {"switched before the source started",
         [](ElectricalTest& t) { t.Dac(3, 56), t.p.AdvanceUs(sim::kSourceStartUs / 2), t.Latch(20, 0, 1); },
         "socket pin 21: supply B switched on before channel 3 had started up"},
        {"strong path switched onto a starting channel at the bottom of its ramp",
         [](ElectricalTest& t) { t.Dac(4, 18), t.Latch(28, 3, 1), t.Ramp(4, 18, 60); }, nullptr},
        {"channel set after its switch",
         [](ElectricalTest& t) { t.Write(26, 0x04), t.Dac(1, 127); },
         "socket pin 11: supply A switched on before channel 1 was set\n"
         "socket pin 11: channel 1 set after its switch closed"},
        {"strong path switched after the ramp",
         [](ElectricalTest& t) { t.Dac(4, 18), t.Started(), t.Ramp(4, 18, 60), t.Latch(28, 3, 1); },
         "socket pin 38: the strong supply switched on with channel 4 at 5.51 V, not at the start of its ramp"},
        {"strong path switched off before the ramp down",
         [](ElectricalTest& t) { t.Dac(4, 18), t.Started(), t.Latch(28, 3, 1), t.Ramp(4, 18, 60), t.Latch(28, 3, 0); },
         "socket pin 38: the strong supply switched off with channel 4 at 5.51 V, before its ramp down"},
        {"strong path raised without a ramp",
         [](ElectricalTest& t) { t.Dac(4, 18), t.Started(), t.Latch(28, 3, 1), t.Dac(4, 22), t.Dac(4, 60); },
         "socket pin 38: supply from channel 4 rising by more than 250 mV in one step"},
        {"device supply ramped in steps without the wait between them",
         [](ElectricalTest& t) { t.Latch(20, 0, 1), t.Dac(3, 18), t.Dac(3, 19), t.Dac(3, 20), t.Dac(3, 21); },
         "socket pin 21: supply from channel 3 rising again 6 us after its last step, 10 us the least"},
    };
    e->DeclareChip(sim::DipPinLimits("EPROM", 28, 150));
    e->HoldRampPace(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ControlPulse(p); // every switch open, every channel off
        UseClaimRegisters(0x7E58, 12, &p);
        p.ClearViolations();
        c.steps(*this);
        EXPECT_EQ(All(), c.violation ? std::string(c.violation) + "\n" : "");
    }
}

TEST_F(ElectricalTest, ASupplySettlesAfterItsLastChange) {
    e->DeclareChip(sim::DipPinLimits("EPROM", 28, 70));
    Dac(4, 18), Dac(3, 56), Started();
    Latch(28, 3, 1); // strong, pin 38
    Ramp(4, 18, 45);
    EXPECT_EQ(e->Pin(38).steadyFromUs, p.NowUs() + sim::kStrongSettleUs); // the last step just now
    Latch(16, 0, 1); // supply B, pin 11; the switch closes 3 port writes before the end
    EXPECT_EQ(e->Pin(11).steadyFromUs, p.NowUs() - 3 + sim::kSwitchSettleUs);
    EXPECT_TRUE(p.Violations().empty()) << All();
}

TEST_F(ElectricalTest, ViolationsAreRecordedOnceWhenTheyAppear) {
    e->DeclareChip(sim::DipPinLimits("EPROM", 28, 70).Allow(11, 140));
    Dac(1, 127);
    Dac(3, 56);
    Dac(4, 56);
    Started();

    Latch(25, 0, 1); // ground, pin 14
    Latch(17, 5, 1); // supply B, pin 14
    EXPECT_TRUE(Saw("socket pin 14: supply and ground together")) << All();
    const size_t n = p.Violations().size();
    Dac(4, 55); // the short stays: not recorded again
    EXPECT_EQ(p.Violations().size(), n);
    Latch(17, 5, 0);

    Write(28, 0x20); // supply A, pin 21 (12.5 V on a pin rated 7.0 V)
    Latch(20, 0, 1); // supply B, pin 21
    EXPECT_TRUE(Saw("socket pin 21: two supplies fighting (supply A and supply B)")) << All();
    EXPECT_TRUE(Saw(" V above the 7.00 V the chip takes")) << All();
    EXPECT_EQ(e->Pin(21).source, sim::PinSource::Conflict);
    Write(28, 0x00);
    Write(26, 0x04); // pin 11 takes 12.5 V
    EXPECT_FALSE(Saw("socket pin 11")) << All();
    Latch(16, 4, 1); // supply B, pin 1: outside the chip
    EXPECT_TRUE(Saw("socket pin 1: 5.04 V with no chip on the pin")) << All();
}

TEST_F(ElectricalTest, ASupplyWithNoChipFollowsTheChipsAsTheyComeAndGo) {
    auto own = std::make_unique<sim::Socket>();
    sim::Socket* socket = own.get();
    p.AddComponent(std::move(own));
    Dac(3, 56);
    Started();
    Latch(16, 4, 1); // supply B, pin 1
    ASSERT_TRUE(Saw("socket pin 1: 5.04 V with no chip on the pin")) << All();
    int id = 0;
    const sim::ChipModel* seated = nullptr;
    struct Way {
        const char* what;
        std::function<void()> put, take;
    };
    const Way ways[] = {
        {"declared", [&] { id = e->DeclareChip(sim::DipPinLimits("EPROM", 48)); }, [&] { e->WithdrawChip(id); }},
        {"seated", [&] { seated = socket->Insert(std::make_unique<sim::Obstruction>(std::vector<int>{1})); },
         [&] { socket->Remove(seated); }},
    };
    for (const Way& w : ways) {
        SCOPED_TRACE(w.what);
        p.ClearViolations();
        w.put();
        Dac(2, 0); // a write that checks every pin again
        EXPECT_TRUE(p.Violations().empty()) << All();
        w.take();
        Dac(2, 0);
        EXPECT_TRUE(Saw("socket pin 1: 5.04 V with no chip on the pin")) << All();
    }
}

// A gang module takes the programmer's socket: its supplies reach every
// socket of the module, so a chip seated in any of them (not declared) sits
// on the pin, for the check of a supply with no chip and of the supply order.
TEST_F(ElectricalTest, GangModuleSocketsCarryTheChipsOnTheSupplies) {
    sim::GangAdapter* gang = sim::AddGangAdapter(p);
    sim::Socket& third = gang->SocketAt(2);
    Dac(3, 56);
    Started();
    Latch(16, 4, 1); // supply B, pin 1
    ASSERT_TRUE(Saw("socket pin 1: 5.04 V with no chip on the pin")) << All();
    p.ClearViolations();
    const sim::ChipModel* seated = third.Insert(std::make_unique<sim::Obstruction>(std::vector<int>{1, 11}));
    Dac(2, 0); // a write that checks every pin again
    EXPECT_TRUE(p.Violations().empty()) << All();
    Write(26, 0x04), Dac(1, 127); // supply A on pin 11 before its channel is set
    EXPECT_EQ(All(), "socket pin 11: supply A switched on before channel 1 was set\n"
                     "socket pin 11: channel 1 set after its switch closed\n");
    Write(26, 0x00);
    third.Remove(seated);
    p.ClearViolations();
    Dac(2, 0);
    EXPECT_TRUE(Saw("socket pin 1: 5.04 V with no chip on the pin")) << All();
}

TEST_F(ElectricalTest, IdLinesRangeBitsAndUnconfiguring) {
    // Register 13 carries the ID-memory lines too; neither side objects.
    for (uint8_t v : {0x20, 0x60, 0x00, 0x8C}) Write(13, v);
    EXPECT_EQ(e->StrobeCount(), 1u);
    for (uint8_t v : {8, 15, 0}) Write(25, v);
    EXPECT_EQ(e->RangeBits(), 0x80);
    EXPECT_TRUE(p.Violations().empty()) << All();

    e->DeclareChip(sim::DipPinLimits("load", 48, 70));
    Dac(3, 56);
    Latch(16, 4, 1);
    ASSERT_FALSE(e->SuppliedPins().empty());
    ControlPulse(p); // the logic restarts: every switch opens
    EXPECT_TRUE(e->SuppliedPins().empty());
    EXPECT_EQ(e->DacCode(3), 0);
}

} // namespace
