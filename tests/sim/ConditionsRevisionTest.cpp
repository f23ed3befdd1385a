// The revision a bus names its socket table by when it updates the chips, the
// memory bus's drives kept while the registers behind them stand, and the
// EPROM model's update that does nothing under a revision it has already been
// updated under: each against a from-scratch look at the pin conditions.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/EpromChip.h"
#include "sim/MemoryBus.h"

#include "PinBench.h"
#include "SimTestBus.h"

namespace {

using CondTable = std::array<sim::PinCondition, sim::kSocketPins + 1>;

bool SameConditions(const CondTable& a, const CondTable& b) {
    for (int p = 1; p <= sim::kSocketPins; ++p) {
        const sim::PinCondition &x = a[static_cast<size_t>(p)], &y = b[static_cast<size_t>(p)];
        if (x.grounded != y.grounded || x.supplyTenths != y.supplyTenths || x.driven != y.driven ||
            x.drivenHigh != y.drivenHigh || x.pull != y.pull || x.steadyFromUs != y.steadyFromUs)
            return false;
    }
    return true;
}

// A 28-pin chip that keeps, at every update, the revision it was given and
// every pin's condition as it saw it.
class RevisionWitness : public sim::ChipModel {
public:
    std::string Name() const override { return "witness"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        CondTable t;
        for (int p = 1; p <= sim::kSocketPins; ++p) t[static_cast<size_t>(p)] = env.ConditionAt(p);
        seen.push_back({env.ConditionsRevision(), t});
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    std::vector<std::pair<uint64_t, CondTable>> seen;

private:
    std::vector<int> pins_ = sim::DipSocketPins(28);
};

// Random address, data, strobe and mask writes on the memory bus, with the
// supplies switched and the DAC moved in between: every update names its
// table, an update under a revision seen before sees the very same table,
// and a table that differs from the one before carries a new revision.
TEST(ConditionsRevision, MemoryBusNamesEachTableItUpdatesTheChipsUnder) {
    sim::RegisterMemoryBusPersonality();
    sim::SimProgrammer p;
    sim::AddElectrical(p);
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityMemoryBus;
    h.params[1] = 28, h.params[2] = 16, h.params[3] = 27;
    p.ConfigureDirect(h);
    auto socket = std::make_unique<sim::Socket>();
    auto* witness = socket->Insert(std::make_unique<RevisionWitness>());
    p.AddComponent(std::move(socket));

    const uint8_t strobes[] = {0x00, 0x1F, 0x0F, 0x15, 0x1D, 0x11, 0x13};
    uint32_t seed = 4242;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int step = 0; step < 3000; ++step) {
        const uint32_t r = next();
        switch (r % 9) {
        case 0: WriteReg(p, 0, static_cast<uint8_t>(next())); break;
        case 1: WriteReg(p, 1, static_cast<uint8_t>(next() & 3)); break; // few values: tables repeat
        case 2: WriteReg(p, 3, static_cast<uint8_t>(next() & 1 ? 0xFF : 0xFE)); break;
        case 3: WriteReg(p, 4, strobes[next() % std::size(strobes)]); break;
        case 4: WriteReg(p, 6, static_cast<uint8_t>(next() & 0x81)); break;
        case 5: WriteReg(p, 7, static_cast<uint8_t>(next() & 1)); break;
        case 6: // a supply-A switch of an odd and an even pin
            WriteReg(p, static_cast<uint8_t>(26 + next() % 6), static_cast<uint8_t>(next() & 0x11));
            break;
        case 7: // a DAC channel moved
            WriteReg(p, 13, static_cast<uint8_t>(next() & 3));
            WriteReg(p, 18, static_cast<uint8_t>(next() & 1 ? 0 : 60 + next() % 80));
            break;
        default: ReadReg(p, 6); break;
        }
    }
    ASSERT_GT(witness->seen.size(), 3000u);
    std::map<uint64_t, size_t> first; // revision -> first update under it
    size_t repeats = 0;
    for (size_t i = 0; i < witness->seen.size(); ++i) {
        const auto& [revision, table] = witness->seen[i];
        ASSERT_NE(revision, 0u) << "update " << i;
        auto [it, fresh] = first.emplace(revision, i);
        if (!fresh) {
            ++repeats;
            ASSERT_TRUE(SameConditions(witness->seen[it->second].second, table))
                << "update " << i << " under the revision of update " << it->second;
        }
        if (i > 0 && !SameConditions(witness->seen[i - 1].second, table)) {
            ASSERT_NE(witness->seen[i - 1].first, revision) << "update " << i;
        }
    }
    EXPECT_GT(repeats, 100u) << "the walk should update the chips under unchanged tables too";
}

// After every write the memory bus's lines are what the registers say, worked
// out afresh: the address on A0-A15, /CE and /OE from the strobe value, the
// datum on the data lines while /OE is high, nothing driven while released.
// Writes that change nothing, supply moves and reads come in between.
TEST(ConditionsRevision, MemoryBusLinesFollowTheRegistersAfterEveryWrite) {
    sim::RegisterMemoryBusPersonality();
    sim::SimProgrammer p;
    sim::AddElectrical(p);
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityMemoryBus;
    h.params[1] = 28, h.params[2] = 16;
    p.ConfigureDirect(h);
    auto socket = std::make_unique<sim::Socket>();
    auto* witness = socket->Insert(std::make_unique<RevisionWitness>());
    p.AddComponent(std::move(socket));
    const sim::EpromConfig pinout = sim::Jedec28("", 1u << 16);
    const std::vector<int> seat = sim::DipSocketPins(28);
    auto Z = [&](int chipPin) { return static_cast<size_t>(seat[static_cast<size_t>(chipPin - 1)]); };

    const uint8_t strobes[] = {0x00, 0x1F, 0x0F, 0x15, 0x1D, 0x11, 0x13};
    uint32_t address = 0;
    uint8_t strobe = 0, datum = 0;
    uint32_t seed = 777;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        switch (next() % 8) {
        case 0: address = (address & 0xFF00u) | (next() & 0xFFu), WriteReg(p, 0, static_cast<uint8_t>(address)); break;
        case 1: address = (address & 0xFFu) | (next() & 3u) << 8, WriteReg(p, 1, static_cast<uint8_t>(address >> 8)); break;
        case 2: strobe = strobes[next() % std::size(strobes)], WriteReg(p, 4, strobe); break;
        case 3: datum = static_cast<uint8_t>(next()), WriteReg(p, 6, datum); break;
        case 4: WriteReg(p, 3, static_cast<uint8_t>(next() & 1 ? 0xFF : 0x00)); break;
        case 5: WriteReg(p, 5, 0); break;
        case 6: WriteReg(p, static_cast<uint8_t>(26 + next() % 6), static_cast<uint8_t>(next() & 0x11)); break;
        default: ReadReg(p, 6); break;
        }
        ASSERT_FALSE(witness->seen.empty());
        const CondTable& t = witness->seen.back().second;
        const bool released = strobe == 0;
        const bool ceHigh = strobe == 0x1F || strobe == 0x13, oeHigh = strobe != 0x0F;
        for (size_t i = 0; i < 16; ++i) {
            const sim::PinCondition& c = t[Z(pinout.addressPins[i])];
            ASSERT_EQ(c.driven, !released) << "A" << i;
            if (!released) {
                ASSERT_EQ(c.drivenHigh, ((address >> i) & 1) != 0) << "A" << i;
            }
        }
        ASSERT_EQ(t[Z(pinout.cePin)].driven, !released);
        ASSERT_EQ(t[Z(pinout.oePin)].driven, !released);
        if (released) continue;
        ASSERT_EQ(t[Z(pinout.cePin)].drivenHigh, ceHigh);
        ASSERT_EQ(t[Z(pinout.oePin)].drivenHigh, oeHigh);
        for (size_t i = 0; i < 8; ++i) {
            const sim::PinCondition& c = t[Z(pinout.dataPins[i])];
            ASSERT_EQ(c.driven, oeHigh) << "D" << i;
            if (oeHigh) {
                ASSERT_EQ(c.drivenHigh, ((datum >> i) & 1) != 0) << "D" << i;
            }
        }
    }
}

// The same conditions as a table environment names them, with a revision the
// test draws whenever it moves a pin.
class NamedTableEnv : public TableEnv {
public:
    void Moved() { conditionsRevision_ = NewSupplyRevision(); }
};

// Two EPROMs fed the same pin history: one under the named table (its quiet
// update skips the work), the other through an environment with neither a
// table nor any revision, worked out from scratch at every update. Strobes,
// programming voltage, supply changes and updates with nothing moved come in
// random order, often with time passing and readiness reached in between.
TEST(ConditionsRevision, EpromQuietUpdateMatchesTheUpdateFromScratch) {
    for (const char* name : {"27C256", "W27C512"}) {
        SCOPED_TRACE(name);
        const char* maker = std::string(name) == "27C256" ? "INTEL" : "WINBOND";
        const sim::EpromConfig& cfg = *sim::FindFacts<sim::EpromConfig>(maker, name);
        sim::EpromChip quick(cfg), plain(cfg);
        NamedTableEnv named;
        Env scratch;
        auto S = [&](int chipPin) { return chipPin == 0 ? 0 : quick.SocketPins()[static_cast<size_t>(chipPin - 1)]; };
        auto update = [&] {
            std::copy(std::begin(named.pins), std::end(named.pins), std::begin(scratch.pins));
            scratch.now = named.now;
            quick.Update(named);
            plain.Update(scratch);
            ASSERT_EQ(named.violations, scratch.violations);
            ASSERT_EQ(quick.Pulses().size(), plain.Pulses().size());
            for (size_t i = 0; i < quick.Pulses().size(); ++i) {
                ASSERT_EQ(quick.Pulses()[i].address, plain.Pulses()[i].address);
                ASSERT_EQ(quick.Pulses()[i].data, plain.Pulses()[i].data);
                ASSERT_EQ(quick.Pulses()[i].widthUs, plain.Pulses()[i].widthUs);
                ASSERT_EQ(quick.Pulses()[i].erase, plain.Pulses()[i].erase);
            }
        };
        auto drive = [&](int chipPin, bool high) {
            const int s = S(chipPin);
            if (s == 0) return;
            named.pins[s].driven = true;
            named.pins[s].drivenHigh = high;
        };
        auto supply = [&](int chipPin, int tenths) {
            const int s = S(chipPin);
            if (s == 0) return;
            named.pins[s].supplyTenths = tenths;
            named.pins[s].steadyFromUs = named.now;
        };
        for (int g : cfg.gndPins) named.pins[S(g)].grounded = true;
        uint32_t seed = 99;
        auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
        const int vppOn = (cfg.vpp.minTenths + cfg.vpp.maxTenths) / 2;
        for (int step = 0; step < 6000; ++step) {
            const uint32_t r = next() % 12;
            bool moved = true;
            if (r == 0) {
                supply(cfg.vccPin, next() % 8 == 0 ? -1 : 50);
            } else if (r == 1) {
                supply(cfg.vppPin, next() % 2 ? vppOn : 50);
            } else if (r == 2 && cfg.erasePin != 0) {
                supply(cfg.erasePin, next() % 2 ? vppOn : -1);
            } else if (r <= 4) {
                drive(cfg.cePin, next() % 2);
            } else if (r == 5) {
                drive(cfg.oePin, next() % 2);
            } else if (r == 6) {
                drive(cfg.pgmPin, next() % 2);
            } else if (r == 7) {
                drive(cfg.addressPins[next() % cfg.addressPins.size()], next() % 2);
            } else if (r == 8) {
                drive(cfg.dataPins[next() % cfg.dataPins.size()], next() % 2);
            } else {
                moved = false; // an update with nothing moved
            }
            if (moved) named.Moved();
            named.now += next() % 4 == 0 ? next() % 200 : 1;
            update();
            if (HasFatalFailure()) return;
        }
        EXPECT_GT(quick.ProgramPulseCount(), 10u);
        for (uint32_t a = 0; a < cfg.words; ++a) ASSERT_EQ(quick.Cell(a), plain.Cell(a)) << a;
    }
}

} // namespace
