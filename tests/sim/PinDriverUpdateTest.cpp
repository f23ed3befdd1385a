// The pin driver keeps its table of pin conditions up to date pin by pin and
// tells the chips once per register write: at every update a chip sees what a
// computation from the latches, the pull, the faults and the electrical model
// gives, contention is reported exactly where a chip fights the driver, and
// the supply watch's update after a latch write is the only one left out.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/GangAdapter.h"
#include "sim/PicChip.h" // SupplyWatch
#include "sim/Universal.h"
#include "SimTestBus.h"

namespace {

// What the test wrote: the latches (all driven low when configured) and the
// pull, as the driver should hold them.
struct PdutShadow {
    uint8_t latches[12] = {}; // register 2g the float bits of block g, 2g + 1 its levels
    sim::Pull pull = sim::Pull::None;
};

// Occupies every socket pin; at each update compares the table with the
// from-scratch conditions and drives what the test tells it.
class PdutChecker : public sim::ChipModel {
public:
    PdutChecker(const PdutShadow& shadow, const sim::Electrical& e) : shadow_(shadow), e_(e) {
        for (int pin = 1; pin <= sim::kSocketPins; ++pin) pins_.push_back(pin);
    }
    std::string Name() const override { return "checker"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        ++updates;
        lastUpdateUs = env.NowUs();
        for (int pin = 1; pin <= sim::kSocketPins; ++pin) {
            const sim::PinCondition want = Expected(pin);
            const sim::PinCondition got = env.ConditionAt(pin);
            if (got.grounded != want.grounded || got.supplyTenths != want.supplyTenths || got.driven != want.driven ||
                got.drivenHigh != want.drivenHigh || got.pull != want.pull || got.steadyFromUs != want.steadyFromUs) {
                if (mismatches++ == 0) {
                    firstMismatch = "pin " + std::to_string(pin) + " at update " + std::to_string(updates) + ": table " +
                                    Describe(got) + ", from scratch " + Describe(want);
                }
            }
        }
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int socketPin) const override {
        return socketPin >= 1 && socketPin <= sim::kSocketPins ? drive[socketPin] : sim::ChipDrive::None;
    }

    sim::ChipDrive drive[sim::kSocketPins + 1] = {};
    int updates = 0;
    uint64_t lastUpdateUs = 0;
    int mismatches = 0;
    std::string firstMismatch;

private:
    static std::string Describe(const sim::PinCondition& c) {
        return std::string(c.grounded ? "grounded " : "") + "supply " + std::to_string(c.supplyTenths) +
               (c.driven ? (c.drivenHigh ? " driven high" : " driven low") : " undriven") + " pull " +
               std::to_string(static_cast<int>(c.pull)) + " steady " + std::to_string(c.steadyFromUs);
    }
    sim::PinCondition Expected(int pin) const {
        sim::PinCondition c;
        const int g = (pin - 1) / 8;
        const unsigned b = static_cast<unsigned>(pin - 1) % 8;
        c.driven = ((shadow_.latches[2 * g] >> b) & 1) == 0;
        c.drivenHigh = ((shadow_.latches[2 * g + 1] >> b) & 1) != 0;
        c.pull = shadow_.pull;
        const sim::ProgrammerFaults& f = e_.Faults();
        if (c.driven && pin == f.stuckDriver) c.drivenHigh = f.stuckLevel != 0;
        if (pin == f.deadPullDown && c.pull == sim::Pull::Down) c.pull = sim::Pull::None;
        sim::ApplySupply(e_.Pin(pin), c);
        return c;
    }

    const PdutShadow& shadow_;
    const sim::Electrical& e_;
    std::vector<int> pins_;
};

class PinDriverUpdateTest : public ::testing::Test {
public:
    sim::SimProgrammer p;
    sim::Electrical* e = nullptr;
    PdutChecker* chip = nullptr;
    PdutShadow shadow;

    void SetUp() override {
        sim::RegisterUniversalPersonalities();
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalityTest; // the pin driver with pull control
        p.ConfigureDirect(h);
        // As the rack seats them: the supply watch ahead of the electrical model.
        p.AddComponent(std::make_unique<sim::SupplyWatch>());
        e = sim::AddElectrical(p);
        auto s = std::make_unique<sim::Socket>();
        sim::Socket* socket = s.get();
        p.AddComponent(std::move(s));
        chip = socket->Insert(std::make_unique<PdutChecker>(shadow, *e));
    }
    // The shadow moves first: the chip checks it while the write is handled.
    void Write(uint8_t reg, uint8_t value) {
        if (reg < 12) shadow.latches[reg] = value;
        if (reg == 13) {
            shadow.pull = (value & 0x0C) == 0x04 ? sim::Pull::Up : (value & 0x0C) == 0x0C ? sim::Pull::Down : sim::Pull::None;
        }
        WriteReg(p, reg, value);
    }
    void Latch(uint8_t reg, int bit, int state) {
        WriteReg(p, 15, 0x81);
        WriteReg(p, reg, static_cast<uint8_t>((state << 3) | bit));
        WriteReg(p, 15, 0x01);
    }
    int Contentions() const {
        int n = 0;
        for (const auto& v : p.Violations()) n += v.find("drives against the logic driver") != std::string::npos;
        return n;
    }
    // The pins where the chip fights the driver, worked out from scratch.
    uint64_t Fights() const {
        uint64_t fights = 0;
        for (int pin = 1; pin <= sim::kSocketPins; ++pin) {
            const int g = (pin - 1) / 8;
            const unsigned b = static_cast<unsigned>(pin - 1) % 8;
            if ((shadow.latches[2 * g] >> b) & 1) continue;
            const sim::ChipDrive d = chip->drive[pin];
            if (d != sim::ChipDrive::Low && d != sim::ChipDrive::High) continue;
            if ((d == sim::ChipDrive::High) == (((shadow.latches[2 * g + 1] >> b) & 1) != 0)) continue;
            sim::PinCondition c;
            sim::ApplySupply(e->Pin(pin), c);
            if (c.grounded || c.supplyTenths >= 0) continue;
            fights |= uint64_t{1} << pin;
        }
        return fights;
    }
};

TEST_F(PinDriverUpdateTest, EveryUpdateSeesTheConditionsAFreshComputationGives) {
    std::mt19937 rng(7);
    uint64_t fighting = 0;
    int expectedReports = 0;
    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE(step);
        const unsigned what = rng() % 16;
        if (what < 9) {
            // A latch write, often one that moves nothing or a single pin.
            const auto reg = static_cast<uint8_t>(rng() % 12);
            const uint8_t now = shadow.latches[reg];
            const uint8_t value = rng() % 3 == 0 ? now
                                  : rng() % 2 == 0 ? static_cast<uint8_t>(now ^ (1u << (rng() % 8)))
                                                   : static_cast<uint8_t>(rng());
            const int before = chip->updates;
            Write(reg, value);
            // One update per write: the supply watch leaves the driver's alone.
            EXPECT_EQ(chip->updates, before + 1);
            const uint64_t fights = Fights();
            expectedReports += std::popcount(fights & ~fighting);
            fighting = fights;
            EXPECT_EQ(Contentions(), expectedReports);
        } else if (what == 9) {
            Write(13, static_cast<uint8_t>((rng() % 4) << 2));
        } else if (what == 10) {
            // Faults set straight on the electrical model between accesses.
            e->Faults().stuckDriver = static_cast<int>(rng() % 49);
            e->Faults().stuckLevel = static_cast<int>(rng() % 2);
            e->Faults().deadPullDown = static_cast<int>(rng() % 49);
        } else if (what == 11) {
            Latch(23, static_cast<int>(rng() % 8), static_cast<int>(rng() % 2)); // ground switches
        } else if (what == 12) {
            Write(18, static_cast<uint8_t>(rng() % 60));
            Write(26, static_cast<uint8_t>(rng())); // supply A switches
        } else {
            // What the chip drives from now on.
            const int pin = 1 + static_cast<int>(rng() % sim::kSocketPins);
            chip->drive[pin] = static_cast<sim::ChipDrive>(rng() % 5);
        }
        // Every register write reaches the chip once, at its own time.
        const int before = chip->updates;
        WriteReg(p, 16, static_cast<uint8_t>(rng()));
        EXPECT_EQ(chip->updates, before + 1);
        EXPECT_EQ(chip->lastUpdateUs, p.NowUs());
        ASSERT_EQ(chip->mismatches, 0) << chip->firstMismatch;
    }
}

} // namespace

namespace {

// A chip on one socket pin: what it drives there, and how often it was told
// of supply changes.
class GangProbe : public sim::ChipModel {
public:
    std::string Name() const override { return "probe"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void SuppliesChanged(const sim::PinEnvironment&) override { ++supplyChanges; }
    sim::ChipDrive Output(const sim::PinEnvironment&, int socketPin) const override {
        return socketPin == 10 ? sim::ChipDrive::Low : sim::ChipDrive::None;
    }
    int supplyChanges = 0;

private:
    std::vector<int> pins_{10};
};

} // namespace

// With a gang module fitted, the pin lines reach the module's first socket
// and no other: the chip there answers the pin driver's reads and hears the
// supply changes, the chip in the second socket neither.
TEST(PinDriverOnAGangModule, ReachesTheFirstSocketOnly) {
    sim::RegisterUniversalPersonalities();
    sim::SimProgrammer p;
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityUniversal;
    p.ConfigureDirect(h);
    sim::AddElectrical(p);
    sim::GangAdapter* gang = sim::AddGangAdapter(p);
    auto* first = gang->SocketAt(0).Insert(std::make_unique<GangProbe>());
    auto* second = gang->SocketAt(1).Insert(std::make_unique<GangProbe>());
    WriteReg(p, 2, 0xFF); // pins 9-16 float
    EXPECT_EQ(ReadReg(p, 1) & 0x02, 0); // pin 10 pulled low by the first socket's chip
    WriteReg(p, 13, 0);
    WriteReg(p, 18, 50); // DAC channel 1 up
    EXPECT_GT(first->supplyChanges, 0);
    EXPECT_EQ(second->supplyChanges, 0);
    gang->SocketAt(0).Remove(first);
    EXPECT_EQ(ReadReg(p, 1) & 0x02, 0x02); // floats high: the second socket is not on the lines
}
