// The EPROM model's supply checks kept per supply revision (voltages, powered
// state, supply order, readiness time; the powered state also across
// revisions that moved no supply or ground of the part): two chips of a part are fed the same
// pin history, one under an environment that names its supply revisions and
// tables, the other under one that names nothing and so works everything out
// at every update. Both must record the same violations and pulses, drive
// the same data and end with the same cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/EpromChip.h"

#include "PinBench.h"

namespace {

// A table environment that names its supply revision, the revision each pin's
// supply last moved at, and its table; the test draws new ones whenever it
// moves a supply or any pin.
class SupplyChecksNamedEnv : public TableEnv {
public:
    SupplyChecksNamedEnv() {
        supplyRevision_ = supplyEpoch_ = NewSupplyRevision();
        supplyPinRevisions_ = pinRevisions_;
    }
    void SupplyMoved(int socketPin) {
        supplyRevision_ = NewSupplyRevision();
        if (socketPin >= 1 && socketPin <= sim::kSocketPins) pinRevisions_[socketPin] = supplyRevision_;
    }
    void PinsMoved() { conditionsRevision_ = NewSupplyRevision(); }

private:
    uint64_t pinRevisions_[sim::kSocketPins + 1] = {};
};

struct SupplyChecksCase {
    const char* maker;
    const char* name;
    int vccMaxTenths; // 0: the part's own window
};

void RunSupplyChecksTwins(const SupplyChecksCase& k, uint32_t seed) {
    const sim::EpromConfig* found = sim::FindFacts<sim::EpromConfig>(k.maker, k.name);
    ASSERT_NE(found, nullptr);
    sim::EpromConfig cfg = *found;
    if (k.vccMaxTenths != 0) cfg.vcc = {k.vccMaxTenths - 6, k.vccMaxTenths};
    sim::EpromChip quick(cfg), plain(cfg);
    SupplyChecksNamedEnv named;
    Env scratch;
    auto S = [&](int chipPin) { return chipPin == 0 ? 0 : quick.SocketPins()[static_cast<size_t>(chipPin - 1)]; };
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    const int vccOn = (cfg.vcc.minTenths + cfg.vcc.maxTenths) / 2;
    const int vppOn = (cfg.vpp.minTenths + cfg.vpp.maxTenths) / 2;
    const std::vector<int> dataSockets = [&] {
        std::vector<int> d;
        for (int pin : cfg.dataPins) d.push_back(S(pin));
        return d;
    }();

    auto compare = [&] {
        ASSERT_EQ(named.violations, scratch.violations);
        ASSERT_EQ(quick.Pulses().size(), plain.Pulses().size());
        for (size_t i = 0; i < quick.Pulses().size(); ++i) {
            ASSERT_EQ(quick.Pulses()[i].address, plain.Pulses()[i].address) << "pulse " << i;
            ASSERT_EQ(quick.Pulses()[i].data, plain.Pulses()[i].data) << "pulse " << i;
            ASSERT_EQ(quick.Pulses()[i].widthUs, plain.Pulses()[i].widthUs) << "pulse " << i;
            ASSERT_EQ(quick.Pulses()[i].erase, plain.Pulses()[i].erase) << "pulse " << i;
        }
        std::vector<sim::ChipDrive> a(dataSockets.size()), b(dataSockets.size());
        quick.Outputs(named, dataSockets.data(), dataSockets.size(), a.data());
        plain.Outputs(scratch, dataSockets.data(), dataSockets.size(), b.data());
        ASSERT_EQ(a, b);
        ASSERT_EQ(named.violations, scratch.violations);
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
        named.pins[s].steadyFromUs = named.now + next() % 3;
        named.SupplyMoved(s);
    };
    auto release = [&](int chipPin) {
        const int s = S(chipPin);
        if (s == 0) return;
        named.pins[s].driven = false;
    };
    for (int g : cfg.gndPins) named.pins[S(g)].grounded = true;
    for (int step = 0; step < 8000; ++step) {
        const uint32_t r = next() % 16;
        bool moved = true;
        if (r == 0) {
            const uint32_t v = next() % 10;
            supply(cfg.vccPin, v == 0 ? -1 : v <= 2 ? cfg.vcc.maxTenths + 5 : vccOn);
        } else if (r == 1 || r == 2) {
            // Vpp: the programming level, the read level, a level above the
            // window, or off (the logic driver then holds the pin).
            const uint32_t v = next() % 8;
            supply(cfg.vppPin, v < 3 ? vppOn : v < 5 ? vccOn : v == 5 ? cfg.vppMaxTenths + 5 : -1);
        } else if (r == 3) {
            // A ground switch opened or closed.
            const int s = S(cfg.gndPins[next() % cfg.gndPins.size()]);
            named.pins[s].grounded = next() % 6 != 0;
            named.SupplyMoved(s);
        } else if (r == 4 && (cfg.erasePin != 0 || cfg.hvBlankCheck)) {
            supply(cfg.erasePin != 0 ? cfg.erasePin : cfg.cePin, next() % 2 ? vppOn : -1);
        } else if (r <= 6) {
            drive(cfg.cePin, next() % 2);
        } else if (r == 7) {
            drive(cfg.oePin, next() % 2);
        } else if (r == 8) {
            if (next() % 4 == 0) {
                release(cfg.vppPin); // the pin floats unless a supply holds it
            } else {
                drive(cfg.vppPin != 0 ? cfg.vppPin : cfg.pgmPin, next() % 2);
            }
        } else if (r == 9) {
            drive(cfg.pgmPin, next() % 2);
        } else if (r == 10) {
            drive(cfg.addressPins[next() % cfg.addressPins.size()], next() % 2);
        } else if (r == 11) {
            drive(cfg.dataPins[next() % cfg.dataPins.size()], next() % 2);
        } else {
            moved = false; // an update with nothing moved
        }
        if (moved) named.PinsMoved();
        named.now += next() % 4 == 0 ? next() % 300 : 1;
        std::copy(std::begin(named.pins), std::end(named.pins), std::begin(scratch.pins));
        scratch.now = named.now;
        quick.Update(named);
        plain.Update(scratch);
        if (cfg.vppTimedPulse && next() % 2) {
            quick.SuppliesChanged(named);
            plain.SuppliesChanged(scratch);
        }
        SCOPED_TRACE(step);
        compare();
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(quick.Pulses().size(), 10u);
    EXPECT_FALSE(named.violations.empty());
    for (uint32_t a = 0; a < cfg.words; ++a) ASSERT_EQ(quick.Cell(a), plain.Cell(a)) << a;
}

// Byte-wide parts with /PGM, Vpp on its own pin, erasable, verifying with
// /CE high, blank checked at high voltage, pulsed by Vpp on /OE, and a 3.3 V
// part whose logic-high level is above its supply window.
TEST(EpromSupplyChecks, UpdatesAndReadsMatchTheChipWorkedOutFromScratch) {
    const SupplyChecksCase cases[] = {
        {"INTEL", "27C256", 0},
        {"WINBOND", "W27C512", 0},
        {"GENERIC-ALGORITHM", "EPMODE256-16K", 0},
        {"MICROCHIP", "27HC641", 0},
        {"GENERIC-ALGORITHM", "EPMODEOE-8K", 0},
        {"INTEL", "27C256", 36},
    };
    uint32_t seed = 17;
    for (const SupplyChecksCase& k : cases) {
        SCOPED_TRACE(std::string(k.maker) + " " + k.name + (k.vccMaxTenths ? " at 3.3 V" : ""));
        RunSupplyChecksTwins(k, seed += 101);
        if (HasFatalFailure()) return;
    }
}

} // namespace
