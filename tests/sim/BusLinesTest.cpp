// What the chips see of the bus lines as the flash bus moves them one register
// write at a time (the bus redraws only the lines that moved), and the flash
// model's supply state under one supply revision.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "sim/FlashBus.h"
#include "sim/EpromChip.h"
#include "sim/MemoryBus.h"
#include "sim/JedecFlashChip.h"

#include "PinBench.h"
#include "SimTestBus.h"

namespace {

// A chip on the 32-pin footprint that remembers, at every update, which socket
// pins read high and which the programmer drives.
class LineRecorder : public sim::ChipModel {
public:
    struct Seen {
        uint64_t high = 0, driven = 0;
        bool High(int z) const { return (high >> z) & 1; }
        bool Driven(int z) const { return (driven >> z) & 1; }
    };
    std::string Name() const override { return "recorder"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        Seen s;
        for (int z = 1; z <= sim::kSocketPins; ++z) {
            s.high |= static_cast<uint64_t>(env.InputLevel(z) == 1) << z;
            s.driven |= static_cast<uint64_t>(env.ConditionAt(z).driven) << z;
        }
        seen.push_back(s);
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    std::vector<Seen> seen;

private:
    std::vector<int> pins_ = sim::DipSocketPins(32);
};

class FlashBusLines : public ::testing::Test {
protected:
    FlashBusLines() : pins(sim::FlashPinoutById(sim::kPinoutDip32)) {
        sim::RegisterFlashBusPersonality();
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalityFlashBus;
        h.params[0] = sim::kPinoutDip32;
        h.params[1] = 8;
        h.params[2] = 0x55, h.params[3] = 0x05, h.params[4] = 0xAA, h.params[5] = 0x02;
        p.ConfigureDirect(h);
        auto socket = std::make_unique<sim::Socket>();
        rec = socket->Insert(std::make_unique<LineRecorder>());
        p.AddComponent(std::move(socket));
    }
    static int Z(int chipPin) { return chipPin + 8; }
    uint32_t AddressOf(const LineRecorder::Seen& s) const {
        uint32_t a = 0;
        for (size_t i = 0; i < pins.address.size(); ++i) a |= static_cast<uint32_t>(s.High(Z(pins.address[i]))) << i;
        return a;
    }
    uint8_t DataOf(const LineRecorder::Seen& s) const {
        uint8_t d = 0;
        for (size_t i = 0; i < 8; ++i) d = static_cast<uint8_t>(d | s.High(Z(pins.data[i])) << i);
        return d;
    }
    bool DataDriven(const LineRecorder::Seen& s) const {
        bool all = true, any = false;
        for (int d : pins.data) all = all && s.Driven(Z(d)), any = any || s.Driven(Z(d));
        EXPECT_EQ(all, any) << "the data lines are driven together";
        return all;
    }
    void SetAddress(uint32_t a) {
        WriteReg(p, 2, static_cast<uint8_t>(a >> 16));
        WriteReg(p, 1, static_cast<uint8_t>(a >> 8));
        WriteReg(p, 0, static_cast<uint8_t>(a));
    }

    sim::SimProgrammer p;
    sim::FlashPinout pins;
    LineRecorder* rec = nullptr;
};

// Random addresses and data through idle, write cycles, reads in write mode
// and released lines: every update shows exactly the lines the registers say.
TEST_F(FlashBusLines, EveryUpdateShowsTheRegisters) {
    WriteReg(p, 3, 0xFE); // socket 0 selected
    WriteReg(p, 4, 0xD3); // powered idle
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const uint32_t a = (next() >> 8) & 0x7FFFF;
        const uint8_t d = static_cast<uint8_t>(next() >> 16);
        SetAddress(a);
        ASSERT_EQ(AddressOf(rec->seen.back()), a);
        EXPECT_TRUE(rec->seen.back().Driven(Z(pins.address.back())));
        if (round % 3 == 0) {
            // Released and powered again: the lines come back as they were set.
            WriteReg(p, 4, 0x93);
            EXPECT_FALSE(rec->seen.back().Driven(Z(pins.address.front())));
            EXPECT_FALSE(rec->seen.back().Driven(Z(pins.we)));
            WriteReg(p, 4, 0xD3);
            EXPECT_EQ(AddressOf(rec->seen.back()), a);
        }
        WriteReg(p, 4, 0xDD); // write mode
        const size_t before = rec->seen.size();
        WriteReg(p, 6, d);
        // The /WE pulse: data and address set up with /WE high, /WE low, /WE
        // high again with everything held.
        ASSERT_GE(rec->seen.size(), before + 3);
        const auto& low = rec->seen[rec->seen.size() - 2];
        EXPECT_FALSE(low.High(Z(pins.we)));
        EXPECT_FALSE(low.High(Z(pins.ce)));
        EXPECT_TRUE(low.High(Z(pins.oe)));
        EXPECT_EQ(AddressOf(low), a);
        EXPECT_EQ(DataOf(low), d);
        EXPECT_TRUE(DataDriven(low));
        EXPECT_TRUE(rec->seen.back().High(Z(pins.we)));
        EXPECT_EQ(DataOf(rec->seen.back()), d);
        if (round % 2 == 0) {
            // A read in write mode lets go of the data lines while /OE is low,
            // then drives the datum again.
            const size_t at = rec->seen.size();
            ReadReg(p, 6);
            ASSERT_GE(rec->seen.size(), at + 2);
            const auto& read = rec->seen[at];
            EXPECT_FALSE(read.High(Z(pins.oe)));
            EXPECT_FALSE(DataDriven(read));
            EXPECT_TRUE(DataDriven(rec->seen.back()));
            EXPECT_EQ(DataOf(rec->seen.back()), d);
            EXPECT_TRUE(rec->seen.back().High(Z(pins.oe)));
        }
        WriteReg(p, 4, 0xD3);
        EXPECT_FALSE(DataDriven(rec->seen.back()));
        EXPECT_EQ(AddressOf(rec->seen.back()), a);
    }
    EXPECT_TRUE(p.Violations().empty()) << p.Violations().front();
}

// A 28-pin EPROM image of the memory bus with the program-strobe gate, and
// the lines a recorder sees after each register write.
struct MemoryBusLinesRig {
    MemoryBusLinesRig() {
        sim::RegisterMemoryBusPersonality();
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalityMemoryBus;
        h.params[1] = 28, h.params[2] = 14, h.params[3] = 27, h.params[6] = 1;
        p.ConfigureDirect(h);
        auto socket = std::make_unique<sim::Socket>();
        rec = socket->Insert(std::make_unique<LineRecorder>());
        p.AddComponent(std::move(socket));
    }
    sim::SimProgrammer p;
    LineRecorder* rec = nullptr;
};

// Random writes of the address, mask, strobe, data and mode registers: after
// each, the lines the chip sees equal those a freshly configured bus draws
// from the same register values (the bus redraws only what moved and skips
// a redraw when nothing did).
TEST(MemoryBusLines, EveryUpdateEqualsAFreshDrawing) {
    static constexpr uint8_t kMemoryLinesStrobes[] = {0x00, 0x1F, 0x0F, 0x15, 0x1D, 0x11, 0x13, 0x9F, 0x95, 0x97};
    static constexpr uint8_t kMemoryLinesRegs[] = {0, 1, 3, 4, 6, 7};
    MemoryBusLinesRig bus;
    const sim::EpromConfig eprom = sim::Jedec28("", 1u << 14);
    uint8_t value[8] = {};
    uint32_t seed = 777;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 600; ++round) {
        SCOPED_TRACE(round);
        const uint8_t reg = kMemoryLinesRegs[(next() >> 16) % 6];
        uint8_t v = static_cast<uint8_t>(next() >> 16);
        if (reg == 3) v = (v & 1) ? 0xFF : 0xFE;
        if (reg == 4) v = kMemoryLinesStrobes[v % 10];
        if (reg == 7) v = (v & 1) ? 3 : 0;
        // Now and then the same value again: nothing moves.
        if (round % 5 == 4) v = value[reg];
        value[reg] = v;
        WriteReg(bus.p, reg, v);
        MemoryBusLinesRig fresh;
        for (const uint8_t r : {3, 7, 0, 1, 6, 4}) WriteReg(fresh.p, r, value[r]);
        ASSERT_FALSE(bus.rec->seen.empty());
        ASSERT_FALSE(fresh.rec->seen.empty());
        EXPECT_EQ(bus.rec->seen.back().high, fresh.rec->seen.back().high);
        EXPECT_EQ(bus.rec->seen.back().driven, fresh.rec->seen.back().driven);
        // Lines not released carry the address registers' A0-A13.
        if (value[4] != 0) {
            uint32_t a = 0;
            for (size_t i = 0; i < 14; ++i) a |= static_cast<uint32_t>(bus.rec->seen.back().High(eprom.addressPins[i] + 10)) << i;
            EXPECT_EQ(a, (value[0] | value[1] << 8) & 0x3FFFu);
        }
    }
    EXPECT_TRUE(bus.p.Violations().empty()) << bus.p.Violations().front();
}

// A table environment whose supply revision the test names.
class RevisionEnv : public TableEnv {
public:
    RevisionEnv() { Revise(); }
    void Revise() { supplyRevision_ = NewSupplyRevision(); }
};

// The flash model keeps its supply state for a revision only while switches
// hold its supply and ground: a supply from a logic driver may drop within
// one revision, and a new revision is looked at afresh.
TEST(JedecFlashSupply, ReadsTheSupplyAgainWhereARevisionDoesNotCoverIt) {
    const sim::FlashPinout pins = sim::FlashPinoutById(sim::kPinoutDip32);
    auto z = [](int chipPin) { return chipPin + 8; };
    sim::JedecFlashConfig c;
    c.words = 0x80000;
    for (const bool switched : {true, false}) {
        SCOPED_TRACE(switched ? "supply switched" : "supply from a logic driver");
        sim::JedecFlashChip chip(c);
        chip.SetCell(0x1234, 0x5A);
        RevisionEnv env;
        env.pins[z(16)] = {true};
        auto supply = [&](bool on) {
            env.pins[z(32)] = switched ? sim::PinCondition{false, on ? 50 : 0} : sim::PinCondition{false, -1, true, on};
            if (switched) env.Revise();
        };
        supply(true);
        for (size_t i = 0; i < pins.address.size(); ++i) env.pins[z(pins.address[i])] = {false, -1, true, ((0x1234u >> i) & 1) != 0};
        env.pins[z(pins.we)] = {false, -1, true, true};
        env.pins[z(pins.ce)] = {false, -1, true, false};
        env.pins[z(pins.oe)] = {false, -1, true, false};
        chip.Update(env);
        auto read = [&] {
            int v = 0;
            for (int i = 0; i < 8; ++i) {
                if (chip.Output(env, z(pins.data[static_cast<size_t>(i)])) == sim::ChipDrive::High) v |= 1 << i;
            }
            return v;
        };
        EXPECT_EQ(read(), 0x5A);
        // Supply gone: the outputs are the unpowered part's diode network
        // (every pin weakly low through the grounded pin), not the cell.
        supply(false);
        chip.Update(env);
        EXPECT_EQ(read(), 0x00);
        supply(true);
        chip.Update(env);
        EXPECT_EQ(read(), 0x5A);
    }
}

} // namespace
