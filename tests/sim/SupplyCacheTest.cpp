// What chips and the pin driver keep from one supply revision to the next:
// the powered state of an EPROM and a PIC, and the pin driver's table of pin
// conditions, each against the conditions as they are.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/EpromChip.h"
#include "sim/IdMemory.h"
#include "sim/PicChip.h"
#include "sim/Universal.h"

#include "PinBench.h"
#include "SimTestBus.h"

namespace {

// A table environment whose supply revision the test names.
class SupplyCacheRevisionEnv : public TableEnv {
public:
    SupplyCacheRevisionEnv() { Revise(); }
    void Revise() { supplyRevision_ = NewSupplyRevision(); }
};

// VCC held by a switch (a new revision with every change) or by a logic
// driver (the revision stays): either way the part reads only while powered.
TEST(SupplyCache, EpromReadsOnlyWhilePowered) {
    const sim::EpromConfig& cfg = *sim::FindFacts<sim::EpromConfig>("INTEL", "27C256");
    for (const bool switched : {true, false}) {
        SCOPED_TRACE(switched ? "VCC switched" : "VCC from a logic driver");
        sim::EpromChip chip(cfg);
        chip.SetCell(0x123, 0x5A);
        SupplyCacheRevisionEnv env;
        auto z = [&](int chipPin) { return chip.SocketPins()[static_cast<size_t>(chipPin - 1)]; };
        for (int g : cfg.gndPins) env.pins[z(g)].grounded = true;
        auto vcc = [&](bool on) {
            sim::PinCondition& c = env.pins[z(cfg.vccPin)];
            c = switched ? sim::PinCondition{false, on ? 50 : -1} : sim::PinCondition{false, -1, true, on};
            if (switched) env.Revise();
        };
        auto drive = [&](int chipPin, bool high) { env.pins[z(chipPin)] = {false, -1, true, high}; };
        for (size_t i = 0; i < cfg.addressPins.size(); ++i) drive(cfg.addressPins[i], ((0x123u >> i) & 1) != 0);
        drive(cfg.cePin, false);
        drive(cfg.oePin, false);
        if (cfg.vppPin != 0 && cfg.vppPin != cfg.oePin) drive(cfg.vppPin, true);
        env.now = 1000000;
        auto read = [&] {
            env.now += 1;
            chip.Update(env);
            int v = 0;
            for (int i = 0; i < 8; ++i) {
                if (chip.Output(env, z(cfg.dataPins[static_cast<size_t>(i)])) == sim::ChipDrive::High) v |= 1 << i;
            }
            return v;
        };
        for (int round = 0; round < 3; ++round) {
            vcc(true);
            EXPECT_EQ(read(), 0x5A);
            vcc(false);
            EXPECT_EQ(read(), 0x00) << "no supply, no data";
        }
    }
}

// VIHH on MCLR with VDD gone is out of order, also where VDD went within one
// supply revision (a logic driver let it fall).
TEST(SupplyCache, PicSeesVddDropWithinARevision) {
    sim::PicFacts facts;
    facts.name = "test pic";
    for (const bool switched : {true, false}) {
        SCOPED_TRACE(switched ? "VDD switched" : "VDD from a logic driver");
        sim::PicChip chip(facts);
        SupplyCacheRevisionEnv env;
        auto z = [&](int chipPin) { return chip.SocketPins()[static_cast<size_t>(chipPin - 1)]; };
        for (int g : facts.pin.vss) env.pins[z(g)].grounded = true;
        auto vdd = [&](bool on) {
            for (int v : facts.pin.vdd)
                env.pins[z(v)] = switched ? sim::PinCondition{false, on ? 50 : -1} : sim::PinCondition{false, -1, true, on};
            if (switched) env.Revise();
        };
        env.pins[z(facts.pin.clock)] = {false, -1, true, false};
        env.pins[z(facts.pin.data)] = {false, -1, true, false};
        vdd(true);
        env.now += 100;
        chip.Update(env);
        vdd(false);
        env.now += 100;
        chip.Update(env);
        env.pins[z(facts.pin.mclr)].supplyTenths = 130;
        env.now += 100;
        chip.Update(env);
        ASSERT_EQ(env.violations.size(), 1u);
        EXPECT_NE(env.violations[0].find("VIHH on MCLR before VDD"), std::string::npos) << env.violations[0];
    }
}

// A chip on the pin driver checking, at every update, each pin's condition
// against the latches written and the electrical model's pin now.
class ConditionChecker : public sim::ChipModel {
public:
    ConditionChecker(const sim::Electrical& e, const uint8_t* floats, const uint8_t* levels)
        : e_(e), floats_(floats), levels_(levels) {}
    std::string Name() const override { return "condition checker"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        ++updates;
        const sim::ProgrammerFaults& f = e_.Faults();
        for (int z = 1; z <= sim::kSocketPins; ++z) {
            sim::PinCondition want;
            const int g = (z - 1) / 8, b = (z - 1) % 8;
            want.driven = ((floats_[g] >> b) & 1) == 0;
            want.drivenHigh = ((levels_[g] >> b) & 1) != 0;
            if (want.driven && z == f.stuckDriver) want.drivenHigh = f.stuckLevel != 0;
            sim::ApplySupply(e_.Pin(z), want);
            const sim::PinCondition got = env.ConditionAt(z);
            if (got.grounded != want.grounded || got.supplyTenths != want.supplyTenths ||
                got.steadyFromUs != want.steadyFromUs || got.driven != want.driven ||
                got.drivenHigh != want.drivenHigh || got.pull != want.pull) {
                if (wrong.size() < 10)
                    wrong.push_back("update " + std::to_string(updates) + ", pin " + std::to_string(z) + ": driven " +
                                    std::to_string(got.driven) + "/" + std::to_string(want.driven) + " high " +
                                    std::to_string(got.drivenHigh) + "/" + std::to_string(want.drivenHigh) + " supply " +
                                    std::to_string(got.supplyTenths) + "/" + std::to_string(want.supplyTenths) +
                                    " grounded " + std::to_string(got.grounded) + "/" + std::to_string(want.grounded));
            }
        }
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }

    int updates = 0;
    std::vector<std::string> wrong;

private:
    const sim::Electrical& e_;
    const uint8_t* floats_;
    const uint8_t* levels_;
    std::vector<int> pins_ = sim::DipSocketPins(48);
};

// Random latch writes between supply, ground, DAC and fault changes: the
// table the chip reads is always the one worked out from scratch.
TEST(SupplyCache, PinDriverTableFollowsEveryChange) {
    sim::SimProgrammer p;
    sim::RegisterUniversalPersonalities();
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityUniversal;
    p.ConfigureDirect(h);
    sim::AddIdMemory(p);
    sim::Electrical* e = sim::AddElectrical(p);
    std::array<uint8_t, 6> floats{}, levels{}; // the latches as configured: every pin driven low
    auto socket = std::make_unique<sim::Socket>();
    ConditionChecker* checker = socket->Insert(std::make_unique<ConditionChecker>(*e, floats.data(), levels.data()));
    p.AddComponent(std::move(socket));
    uint32_t seed = 4711;
    auto below = [&](uint32_t n) { return ((seed = seed * 1103515245u + 12345u) >> 8) % n; };
    for (int step = 0; step < 3000; ++step) {
        p.AdvanceUs(below(20));
        switch (below(8)) {
        case 0:
            WriteReg(p, 15, 0x81);
            WriteReg(p, static_cast<uint8_t>(16 + below(14)), static_cast<uint8_t>((below(2) << 3) | below(8)));
            WriteReg(p, 15, 0x01);
            break;
        case 1:
            WriteReg(p, static_cast<uint8_t>(26 + below(6)), static_cast<uint8_t>(below(256)));
            break;
        case 2:
            WriteReg(p, 13, static_cast<uint8_t>(below(4)));
            WriteReg(p, 18, static_cast<uint8_t>(below(256)));
            break;
        case 3:
            if (below(4) == 0) {
                e->Faults().stuckDriver = below(2) ? static_cast<int>(1 + below(48)) : 0;
                e->Faults().stuckLevel = static_cast<int>(below(2));
            }
            break;
        default: {
            const int reg = static_cast<int>(below(12));
            const uint8_t v = static_cast<uint8_t>(below(256));
            (reg % 2 == 0 ? floats : levels)[static_cast<size_t>(reg / 2)] = v;
            WriteReg(p, static_cast<uint8_t>(reg), v);
            break;
        }
        }
    }
    EXPECT_GT(checker->updates, 1000);
    EXPECT_TRUE(checker->wrong.empty()) << checker->wrong.front();
}

} // namespace
