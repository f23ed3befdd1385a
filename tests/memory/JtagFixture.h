// The JTAG-programmed memories' runs: an entry's TAP traffic, and row 96's
// configuration PROMs selected from the library and seated from the catalog
// (or with changed facts), the runs covering the first 4K.
#pragma once
#include "MemoryFixture.h"
#include "memory/JtagMemory.h"
#include "sim/JtagMemoryChip.h"

// Runs op with the TAP's trace cleared; the entry must start with the reset
// (five TMS-high cycles to Test-Logic-Reset) and one step to Run-Test/Idle.
template <class Run>
const std::vector<sim::TapCycle>& RunFromTapReset(sim::TapController& tap, Run&& run) {
    tap.ClearTrace();
    run();
    const auto& t = tap.Trace();
    EXPECT_GT(t.size(), 6u);
    if (t.size() <= 6) return t;
    for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(t[i].tms) << i;
    EXPECT_EQ(t[4].state, sim::TapState::TestLogicReset);
    EXPECT_EQ(t[5].state, sim::TapState::RunTestIdle);
    return t;
}

struct PromPart {
    const char* name;
    int pins;
};
inline std::ostream& operator<<(std::ostream& os, const PromPart& p) { return os << p.name; }

inline constexpr PromPart kPromParts[] = {
    {"XC18V256", 20}, {"XC18V512", 20}, {"XC18V01", 20}, {"XC18V01@PLCC44", 44}, {"XC18V02", 44}, {"XC18V04", 44},
};

class JtagPromRun : public MemoryRun {
protected:
    static constexpr uint32_t kRange = 0x1000;

    static sim::JtagMemoryFacts Facts96(const std::string& name) {
        const auto* f = sim::FindFacts<sim::JtagMemoryFacts>("XILINX", name);
        EXPECT_NE(f, nullptr) << name;
        return f ? *f : sim::JtagMemoryFacts{};
    }
    // Selects the library's device and seats the part (facts as given).
    sim::IspPromChip* Select96(const std::string& name, const sim::JtagMemoryFacts* facts = nullptr) {
        EXPECT_TRUE(Select("XILINX", name)) << name;
        DeviceEnd = kRange - 1;
        auto chip = std::make_unique<sim::IspPromChip>(facts ? *facts : Facts96(name));
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    // A new chip of the part in place of the seated one.
    sim::IspPromChip* Reseat(const sim::JtagMemoryFacts& facts) {
        socket->Clear();
        elec->WithdrawAllChips();
        auto chip = std::make_unique<sim::IspPromChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    void ExpectPoweredDown() { EXPECT_TRUE(elec->SuppliedPins().empty()); }
};
