// Which pins moved since a revision, as the electrical model and the socket
// buses answer it from their logs of recent moves: never a moved pin left
// out, whether the revision asked about is recent or long gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "sim/Electrical.h"
#include "sim/IdMemory.h"
#include "sim/MemoryBus.h"
#include "SimTestBus.h"

namespace {

constexpr uint64_t kAllPins = ((uint64_t{1} << (sim::kSocketPins + 1)) - 1) & ~uint64_t{1};

struct Random {
    uint32_t seed;
    uint32_t Next() { return seed = seed * 1103515245u + 12345u; }
    uint32_t Below(uint32_t n) { return (Next() >> 8) % n; }
};

// The log against a table of each pin's last revision: where the log answers,
// it answers exactly what the table says; it always answers for the
// revisions it still holds.
TEST(PinMoveLog, AnswersAsThePinRevisionsWhereItReachesBack) {
    sim::PinMoveLog log;
    std::array<uint64_t, sim::kSocketPins + 1> pinRevision{};
    std::vector<uint64_t> revisions = {0};
    Random r{7};
    uint64_t revision = 0;
    int answered = 0;
    for (int step = 0; step < 2000; ++step) {
        revision += 1 + r.Below(3);
        uint64_t pins = 0;
        for (int k = r.Below(4); k > 0; --k) pins |= uint64_t{1} << (1 + r.Below(sim::kSocketPins));
        if (r.Below(10) == 0) pins = 0; // a revision that moved no pin
        log.Add(revision, pins);
        for (uint64_t m = pins; m != 0; m &= m - 1) pinRevision[static_cast<size_t>(__builtin_ctzll(m))] = revision;
        revisions.push_back(revision);
        for (int q = 0; q < 4; ++q) {
            // Mostly the last few revisions, sometimes one long gone or one
            // between two revisions.
            const size_t back = q < 3 ? r.Below(10) : r.Below(static_cast<uint32_t>(revisions.size()));
            const uint64_t since = revisions[revisions.size() - 1 - std::min(back, revisions.size() - 1)] + (q == 1 ? 1 : 0);
            uint64_t expected = 0;
            for (int p = 1; p <= sim::kSocketPins; ++p) expected |= static_cast<uint64_t>(pinRevision[static_cast<size_t>(p)] > since) << p;
            uint64_t moved = ~uint64_t{0};
            if (log.Since(since, moved)) {
                ++answered;
                ASSERT_EQ(moved, expected) << "step " << step << " since " << since;
            } else {
                ASSERT_GE(back, 8u) << "the last eight revisions are always answered";
            }
        }
    }
    EXPECT_GT(answered, 5000);
}

// Random switching, DAC codes and settle times: every pin whose state differs
// from the one at an earlier revision is among the pins moved since.
TEST(ElectricalMoves, EveryChangedPinIsReportedMoved) {
    sim::SimProgrammer p;
    UseClaimRegisters(0x7E58, 12, &p);
    sim::AddIdMemory(p);
    sim::Electrical* e = sim::AddElectrical(p);
    struct Seen {
        uint64_t revision;
        std::array<sim::PinState, sim::kSocketPins + 1> pins;
    };
    std::vector<Seen> seen;
    auto look = [&] {
        Seen s{e->Revision(), {}};
        for (int z = 1; z <= sim::kSocketPins; ++z) s.pins[static_cast<size_t>(z)] = e->Pin(z);
        seen.push_back(s);
    };
    auto differs = [](const sim::PinState& a, const sim::PinState& b) {
        return a.source != b.source || a.switches != b.switches || a.millivolts != b.millivolts ||
               a.supplyMillivolts != b.supplyMillivolts || a.steadyFromUs != b.steadyFromUs;
    };
    Random r{99};
    look();
    for (int step = 0; step < 1500; ++step) {
        p.AdvanceUs(r.Below(20));
        switch (r.Below(4)) {
        case 0: // a supply-B, ground or strong-path latch bit
            WriteReg(p, 15, 0x81);
            WriteReg(p, static_cast<uint8_t>(16 + r.Below(14)), static_cast<uint8_t>((r.Below(2) << 3) | r.Below(8)));
            WriteReg(p, 15, 0x01);
            break;
        case 1: // supply-A switches
            WriteReg(p, static_cast<uint8_t>(26 + r.Below(6)), static_cast<uint8_t>((1u << r.Below(8)) & (r.Below(2) ? 0xFFu : 0u)));
            break;
        case 2: // a DAC channel
            WriteReg(p, 13, static_cast<uint8_t>(r.Below(4)));
            WriteReg(p, 18, static_cast<uint8_t>(r.Below(3) == 0 ? 0 : r.Below(256)));
            break;
        default: // the DAC control alone moves nothing
            WriteReg(p, 13, static_cast<uint8_t>(0x0C | r.Below(4)));
            break;
        }
        look();
        const Seen& now = seen.back();
        // The last dozen observations and a few older ones.
        for (int q = 0; q < 16; ++q) {
            const size_t back = q < 12 ? static_cast<size_t>(q) + 1 : r.Below(static_cast<uint32_t>(seen.size()));
            if (back >= seen.size()) continue;
            const Seen& then = seen[seen.size() - 1 - back];
            const uint64_t moved = e->MovedSince(then.revision);
            for (int z = 1; z <= sim::kSocketPins; ++z) {
                if (differs(then.pins[static_cast<size_t>(z)], now.pins[static_cast<size_t>(z)])) {
                    ASSERT_TRUE((moved >> z) & 1) << "step " << step << ", pin " << z << ", " << back << " looks back";
                }
            }
            if (then.revision == now.revision) {
                EXPECT_EQ(moved, 0u);
            }
        }
    }
    EXPECT_EQ(e->MovedSince(0), kAllPins);
}

// A chip on the memory bus that, at every update, checks each pin's supply
// and ground against the electrical model's pin now, and the pins the bus
// reports as moved since each of its earlier updates against the conditions
// it saw then.
class SupplyWatcher : public sim::ChipModel {
public:
    explicit SupplyWatcher(const sim::Electrical& e) : e_(e) {}
    std::string Name() const override { return "supply watcher"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        Seen now{env.SupplyRevision(), env.SupplyTable(), {}};
        for (int z = 1; z <= sim::kSocketPins; ++z) {
            const sim::PinCondition c = env.ConditionAt(z);
            now.supply[static_cast<size_t>(z)] = c;
            sim::PinCondition want;
            sim::ApplySupply(e_.Pin(z), want);
            if (c.grounded != want.grounded || c.supplyTenths != want.supplyTenths || c.steadyFromUs != want.steadyFromUs)
                ++stale;
        }
        const size_t from = seen.size() > 40 ? seen.size() - 40 : 0;
        for (size_t i = from; i < seen.size(); ++i) {
            const Seen& then = seen[i];
            const uint64_t moved = env.SupplyMovedSince(then.revision, then.table);
            for (int z = 1; z <= sim::kSocketPins; ++z) {
                const sim::PinCondition& a = then.supply[static_cast<size_t>(z)];
                const sim::PinCondition& b = now.supply[static_cast<size_t>(z)];
                if ((a.grounded != b.grounded || a.supplyTenths != b.supplyTenths || a.steadyFromUs != b.steadyFromUs) &&
                    !((moved >> z) & 1))
                    ++missed;
            }
            if (then.revision == now.revision && then.table == now.table && moved != 0) ++missed;
            ++checks;
        }
        seen.push_back(now);
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }

    int missed = 0, checks = 0, stale = 0;

private:
    const sim::Electrical& e_;
    struct Seen {
        uint64_t revision;
        const void* table;
        std::array<sim::PinCondition, sim::kSocketPins + 1> supply;
    };
    std::vector<Seen> seen;
    std::vector<int> pins_ = sim::DipSocketPins(28);
};

TEST(SocketBusMoves, ChipsAreToldEverySupplyThatMoved) {
    sim::SimProgrammer p;
    sim::RegisterMemoryBusPersonality();
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityMemoryBus;
    h.params[1] = 28;
    h.params[2] = 16;
    p.ConfigureDirect(h);
    sim::AddIdMemory(p);
    const sim::Electrical* e = sim::AddElectrical(p);
    auto socket = std::make_unique<sim::Socket>();
    SupplyWatcher* watcher = socket->Insert(std::make_unique<SupplyWatcher>(*e));
    p.AddComponent(std::move(socket));
    Random r{2024};
    for (int step = 0; step < 1200; ++step) {
        p.AdvanceUs(r.Below(30));
        switch (r.Below(4)) {
        case 0:
            WriteReg(p, 15, 0x81);
            WriteReg(p, static_cast<uint8_t>(16 + r.Below(14)), static_cast<uint8_t>((r.Below(2) << 3) | r.Below(8)));
            WriteReg(p, 15, 0x01);
            break;
        case 1:
            WriteReg(p, static_cast<uint8_t>(26 + r.Below(6)), static_cast<uint8_t>(r.Below(256)));
            break;
        case 2:
            WriteReg(p, 13, static_cast<uint8_t>(r.Below(4)));
            WriteReg(p, 18, static_cast<uint8_t>(r.Below(256)));
            break;
        default: // bus lines only: the supplies stay
            WriteReg(p, 0, static_cast<uint8_t>(r.Below(256)));
            WriteReg(p, 4, r.Below(2) ? 0x0F : 0x1F);
            break;
        }
    }
    EXPECT_GT(watcher->checks, 20000);
    EXPECT_EQ(watcher->missed, 0);
    EXPECT_EQ(watcher->stale, 0) << "a pin's supply or ground as the chip sees it is not the electrical model's";
}

} // namespace
