// The shortcuts of the per-access paths against the long way round: the
// register traffic each component hears (kept per register while the
// components and the personality stand), and a chip's drives on many pins in
// one call (its pin map checked once) against its drive pin by pin.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/GalChip.h"
#include "sim/IdMemory.h"
#include "sim/SimProgrammer.h"

#include "PinBench.h"
#include "SimTestBus.h"

namespace {

constexpr uint16_t kDispatchPersonalityA = 0x7E61;
constexpr uint16_t kDispatchPersonalityB = 0x7E62;

// Hears the registers of its mask (all of them while personality A is in),
// records every write and read it is given and claims the writes.
class DispatchEar : public sim::SimComponent {
public:
    DispatchEar(uint32_t writes, uint32_t reads, bool allUnderA) : writes_(writes), reads_(reads), allUnderA_(allUnderA) {}
    bool OnWrite(sim::SimProgrammer&, uint8_t reg, uint8_t) override {
        heardWrites.push_back(reg);
        return true;
    }
    std::optional<uint8_t> OnRead(sim::SimProgrammer&, uint8_t reg) override {
        heardReads.push_back(reg);
        return std::nullopt;
    }
    uint32_t HeardWrites(const sim::SimProgrammer& p) const override { return UnderA(p) ? ~uint32_t{0} : writes_; }
    uint32_t HeardReads(const sim::SimProgrammer& p) const override { return UnderA(p) ? ~uint32_t{0} : reads_; }
    // What a from-scratch look at the masks says it must hear.
    bool MustHearWrite(const sim::SimProgrammer& p, int reg) const { return (HeardWrites(p) >> reg) & 1; }
    bool MustHearRead(const sim::SimProgrammer& p, int reg) const { return (HeardReads(p) >> reg) & 1; }

    std::vector<int> heardWrites, heardReads;

private:
    bool UnderA(const sim::SimProgrammer& p) const {
        return allUnderA_ && p.Personality() != nullptr && p.Personality()->Id() == kDispatchPersonalityA;
    }
    uint32_t writes_, reads_;
    bool allUnderA_;
};

// Writes and reads every register other than the latch bank's select and
// the timer's, and checks each ear heard exactly what its mask names now.
void ExpectEachEarHearsItsRegisters(sim::SimProgrammer& p, const std::vector<DispatchEar*>& ears) {
    for (int reg = 0; reg < 32; ++reg) {
        if (reg == 15 || reg == 16 || reg == 17 || reg == 19) continue;
        for (DispatchEar* e : ears) e->heardWrites.clear(), e->heardReads.clear();
        p.ClearViolations();
        WriteReg(p, static_cast<uint8_t>(reg), 0x5A);
        ReadReg(p, static_cast<uint8_t>(reg));
        bool anyWrite = false;
        for (DispatchEar* e : ears) {
            // The personality answers register 2's reads: nobody else is asked.
            const bool w = e->MustHearWrite(p, reg), r = reg != 2 && e->MustHearRead(p, reg);
            anyWrite = anyWrite || w;
            EXPECT_EQ(e->heardWrites, w ? std::vector<int>{reg} : std::vector<int>{}) << "register " << reg;
            EXPECT_EQ(e->heardReads, r ? std::vector<int>{reg} : std::vector<int>{}) << "register " << reg;
        }
        // A write no ear heard is nobody's: a violation, as before.
        EXPECT_EQ(p.Violations().empty(), anyWrite) << "register " << reg;
    }
}

TEST(DispatchCache, EachComponentHearsItsRegistersAcrossAttachDetachAndPersonalityChanges) {
    for (uint16_t id : {kDispatchPersonalityA, kDispatchPersonalityB}) {
        sim::RegisterPersonality(id, [id](const sim::LogicImageHeader&) -> std::unique_ptr<sim::SimPersonality> {
            return std::make_unique<ClaimRegisters>(id, 0);
        });
    }
    sim::SimProgrammer p;
    sim::LogicImageHeader h;
    h.personality = kDispatchPersonalityB;
    p.ConfigureDirect(h);
    DispatchEar low(0x000000FF, 0x0000000F, false), dac(uint32_t{1} << 18 | uint32_t{1} << 13, 0, true);
    p.AttachComponent(&low);
    ExpectEachEarHearsItsRegisters(p, {&low});
    // A component attached after traffic hears from its first write.
    p.AttachComponent(&dac);
    ExpectEachEarHearsItsRegisters(p, {&low, &dac});
    // Its mask moves with the personality.
    h.personality = kDispatchPersonalityA;
    p.ConfigureDirect(h);
    ExpectEachEarHearsItsRegisters(p, {&low, &dac});
    // A detached component hears nothing more.
    p.DetachComponent(&low);
    ExpectEachEarHearsItsRegisters(p, {&dac});
    low.heardWrites.clear();
    WriteReg(p, 3, 0x11);
    EXPECT_TRUE(low.heardWrites.empty());
    // Without a personality (unconfigured and configured again) the masks
    // fall back to the fixed ones.
    h.personality = kDispatchPersonalityB;
    p.ConfigureDirect(h);
    p.AttachComponent(&low);
    ExpectEachEarHearsItsRegisters(p, {&dac, &low});
}

TEST(DispatchCache, ComponentsHearInAttachmentOrder) {
    sim::SimProgrammer p;
    p.ConfigureDirect({});
    std::vector<int> order;
    class Marker : public sim::SimComponent {
    public:
        Marker(std::vector<int>& order, int n, uint32_t mask) : order_(order), n_(n), mask_(mask) {}
        bool OnWrite(sim::SimProgrammer&, uint8_t, uint8_t) override { return order_.push_back(n_), true; }
        uint32_t HeardWrites(const sim::SimProgrammer&) const override { return mask_; }

    private:
        std::vector<int>& order_;
        int n_;
        uint32_t mask_;
    };
    Marker a(order, 1, 0x2), b(order, 2, 0x6), c(order, 3, 0x2);
    p.AttachComponent(&a);
    p.AttachComponent(&b);
    p.AttachComponent(&c);
    WriteReg(p, 1, 0);
    WriteReg(p, 2, 0);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 2}));
}

// The GAL's drives on a set of pins in one call equal its drives pin by pin
// in every state a random walk of its pins reaches: unpowered (the diode
// network), powered, in edit mode, the 16V8 as programmed logic.
TEST(DispatchCache, GalDrivesOnManyPinsEqualItsDrivesPinByPin) {
    for (const char* name : {"GAL16V8", "GAL22V10D"}) {
        const auto* facts = sim::FindFacts<sim::GalPartFacts>("LATTICE", name);
        ASSERT_NE(facts, nullptr) << name;
        sim::GalChip chip(*facts);
        std::mt19937 rng(7);
        for (uint32_t n = 0; n < chip.CellCount(); ++n) chip.SetCell(n, static_cast<int>(rng() & 1));
        TableEnv env;
        const bool small = facts->map == sim::GalMap::Gal16V8;
        const int offset = small ? 14 : 12;
        const int vcc = (small ? 20 : 24) + offset, gnd = (small ? 10 : 12) + offset, edit = 2 + offset;
        int pins[sim::kSocketPins + 2];
        for (int p = 0; p < sim::kSocketPins + 2; ++p) pins[p] = p; // socket pins 0-49: two off the socket
        int driven = 0;
        for (int step = 0; step < 3000; ++step) {
            const int p = 1 + static_cast<int>(rng() % sim::kSocketPins);
            sim::PinCondition& c = env.pins[p];
            c.driven = (rng() & 3) != 0;
            c.drivenHigh = (rng() & 1) != 0;
            c.pull = static_cast<sim::Pull>(rng() % 3);
            if (step % 50 == 0) {
                env.pins[gnd].grounded = (rng() & 3) != 0;
                env.pins[vcc].supplyTenths = (rng() & 3) != 0 ? 50 : -1;
                env.pins[edit].supplyTenths = (rng() & 1) != 0 ? 162 : -1;
            }
            ++env.now;
            chip.Update(env);
            sim::ChipDrive many[sim::kSocketPins + 2];
            chip.Outputs(env, pins, sim::kSocketPins + 2, many);
            for (int q = 0; q < sim::kSocketPins + 2; ++q) {
                const sim::ChipDrive one = chip.ChipPinAt(q) != 0 ? chip.Output(env, q) : sim::ChipDrive::None;
                ASSERT_EQ(static_cast<int>(many[q]), static_cast<int>(one)) << name << " step " << step << " pin " << q;
                driven += one == sim::ChipDrive::Low || one == sim::ChipDrive::High;
            }
        }
        EXPECT_GT(driven, 0) << name << ": the walk never made the part drive";
    }
}

// The electrical model keeps the pins with a supply switch closed, and the
// pins with a switch as last checked, as masks: a random walk of switch and
// DAC writes must leave every pin as a model given the final registers at once
// works it out, and a channel set under a closed switch is always reported.
TEST(DispatchCache, ElectricalPinsAfterARandomWalkEqualTheFinalStateWorkedOutAfresh) {
    auto latch = [](sim::SimProgrammer& p, uint8_t reg, int bit, int state) {
        WriteReg(p, 15, 0x81);
        WriteReg(p, reg, static_cast<uint8_t>((state << 3) | bit));
        WriteReg(p, 15, 0x01);
    };
    auto dac = [](sim::SimProgrammer& p, int ch, uint8_t code) {
        WriteReg(p, 13, static_cast<uint8_t>(0x0C | ch));
        WriteReg(p, 18, code);
    };
    sim::SimProgrammer walked;
    UseClaimRegisters(0x7E63, 12, &walked);
    sim::Electrical* e = sim::AddElectrical(walked);
    sim::ChipPinLimits everywhere;
    everywhere.chip = "socket-wide part";
    for (int pin = 1; pin <= sim::kSocketPins; ++pin) everywhere.socketPins.push_back(pin);
    everywhere.maxTenths = 300;
    e->DeclareChip(everywhere);
    std::mt19937 rng(11);
    int setUnderSwitch = 0;
    for (int step = 0; step < 1500; ++step) {
        switch (rng() % 3) {
        case 0:
            WriteReg(walked, static_cast<uint8_t>(26 + rng() % 6), static_cast<uint8_t>(rng() & rng()));
            break;
        case 1: {
            const uint8_t reg = static_cast<uint8_t>(16 + rng() % 14);
            latch(walked, reg, static_cast<int>(rng() % 8), (rng() % 4) == 0 ? 1 : 0);
            break;
        }
        default: {
            const int ch = static_cast<int>(rng() % 4);
            const bool wasOff = e->DacMillivolts(ch + 1) == 0;
            const uint8_t code = (rng() & 1) != 0 ? 0 : static_cast<uint8_t>(rng());
            // Worked out from every pin's switches: the pins a channel
            // coming on is set under (a device supply may come on at the
            // start of its ramp).
            int expected = 0;
            const int channel = ch + 1;
            const int after = sim::DacCodeToMillivolts(channel, code);
            const bool rampStart = after <= sim::kStrongIdleMillivolts;
            for (int pin = 1; pin <= sim::kSocketPins && wasOff && after > 0; ++pin) {
                const uint32_t sw = e->Pin(pin).switches;
                uint32_t feeding = 0;
                if ((sw & sim::kSwitchSupplyA) && channel == (pin % 2 ? 1 : 2)) feeding |= sim::kSwitchSupplyA;
                if ((sw & sim::kSwitchSupplyB) && channel == (pin % 2 ? 3 : 4)) feeding |= sim::kSwitchSupplyB;
                if ((sw & sim::kSwitchStrongSupply) && channel == 4) feeding |= sim::kSwitchStrongSupply;
                if ((sw & sim::kSwitchProgramming) && channel == 1) feeding |= sim::kSwitchProgramming;
                const bool device = feeding != 0 && (feeding & ~(sim::kSwitchSupplyB | sim::kSwitchStrongSupply)) == 0;
                expected += feeding != 0 && !(device && rampStart);
            }
            walked.ClearViolations();
            dac(walked, ch, code);
            int reported = 0;
            for (const std::string& v : walked.Violations()) reported += v.find("set after its switch closed") != std::string::npos;
            ASSERT_EQ(reported, expected) << "step " << step << " channel " << channel;
            setUnderSwitch += reported;
            break;
        }
        }
        if (step % 100 != 99) continue;
        // The final registers, latches and codes written at once to a model
        // that has worked out nothing yet.
        sim::SimProgrammer fresh;
        UseClaimRegisters(0x7E63, 12, &fresh);
        sim::Electrical* f = sim::AddElectrical(fresh);
        for (int ch = 0; ch < 4; ++ch) dac(fresh, ch, e->DacCode(ch + 1));
        for (uint8_t reg = 26; reg <= 31; ++reg) WriteReg(fresh, reg, e->SupplyARegister(reg));
        for (uint8_t reg = 16; reg <= 29; ++reg) {
            for (int bit = 0; bit < 8; ++bit) {
                if ((e->Latch(reg) >> bit) & 1) latch(fresh, reg, bit, 1);
            }
        }
        for (int pin = 1; pin <= sim::kSocketPins; ++pin) {
            const sim::PinState a = e->Pin(pin), b = f->Pin(pin);
            ASSERT_EQ(static_cast<int>(a.source), static_cast<int>(b.source)) << "step " << step << " pin " << pin;
            ASSERT_EQ(a.switches, b.switches) << "step " << step << " pin " << pin;
            ASSERT_EQ(a.millivolts, b.millivolts) << "step " << step << " pin " << pin;
            ASSERT_EQ(a.supplyMillivolts, b.supplyMillivolts) << "step " << step << " pin " << pin;
        }
    }
    // The walk set a channel under a closed switch, and it was reported.
    EXPECT_GT(setUnderSwitch, 0);
}

} // namespace
