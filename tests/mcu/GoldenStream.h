// Golden register streams. A run's register traffic is compared write for
// write with the traffic of its expected steps, replayed through the engine
// services from the state the run started in: every register write in order
// with its value (the timer writes carry each wait's length), and every run
// of reads of one register (a ready poll of any length, a data read) as one
// event.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/Pins.h"
#include "engine/Port.h"
#include "sim/SimProgrammer.h"

struct GoldenEvent {
    bool write;
    uint8_t reg;
    uint8_t value; // 0 for reads
    uint64_t timeUs;
    bool operator==(const GoldenEvent& o) const {
        return write == o.write && reg == o.reg && value == o.value;
    }
};

inline std::string GoldenEventText(const GoldenEvent& e) {
    char t[32];
    if (e.write)
        std::snprintf(t, sizeof t, "R%u=%02X", e.reg, e.value);
    else
        std::snprintf(t, sizeof t, "read R%u", e.reg);
    return t;
}

// Register traffic from..end of a trace, reads of one register in a row
// taken as one event.
inline std::vector<GoldenEvent> GoldenEvents(const std::vector<sim::RegisterAccess>& trace, size_t from,
                                             size_t end) {
    std::vector<GoldenEvent> out;
    for (size_t i = from; i < end && i < trace.size(); ++i) {
        const sim::RegisterAccess& a = trace[i];
        if (!a.write && !out.empty() && !out.back().write && out.back().reg == a.reg) continue;
        out.push_back({a.write, a.reg, a.write ? a.value : uint8_t{0}, a.timeUs});
    }
    return out;
}

// Records a run from construction on; Replay then gives the events of the
// expected steps from the same engine state.
class GoldenStream {
  public:
    explicit GoldenStream(sim::SimProgrammer& p) : p_(p) {
        std::memcpy(shadow_, RegisterShadow, sizeof shadow_);
        std::memcpy(groups_, PinGroupTable, sizeof groups_);
        p_.EnableTrace(true);
        p_.ClearTrace();
    }
    // The run's events; call before Replay.
    std::vector<GoldenEvent> Actual() {
        runEnd_ = p_.RegisterTrace().size();
        return GoldenEvents(p_.RegisterTrace(), 0, runEnd_);
    }
    // The steps replayed from the run's starting state. The part in the
    // socket sees them too: the caller checks its state and the violations
    // before, and clears the violations after.
    std::vector<GoldenEvent> Replay(const std::function<void()>& steps) {
        const size_t from = p_.RegisterTrace().size();
        std::memcpy(RegisterShadow, shadow_, sizeof shadow_);
        std::memcpy(PinGroupTable, groups_, sizeof groups_);
        steps();
        return GoldenEvents(p_.RegisterTrace(), from, p_.RegisterTrace().size());
    }

  private:
    sim::SimProgrammer& p_;
    uint8_t shadow_[32];
    uint8_t groups_[kPinGroupCount][kPinGroupRowBytes];
    size_t runEnd_ = 0;
};

// The first difference of two streams with a few events of context, or "".
inline std::string GoldenDifference(const std::vector<GoldenEvent>& actual,
                                    const std::vector<GoldenEvent>& golden) {
    const size_t n = std::min(actual.size(), golden.size());
    size_t i = 0;
    while (i < n && actual[i] == golden[i])
        ++i;
    if (i == n && actual.size() == golden.size()) return {};
    std::string s = "event " + std::to_string(i) + " of " + std::to_string(actual.size()) + " (golden " +
                    std::to_string(golden.size()) + "):\n  run:   ";
    const size_t from = i >= 3 ? i - 3 : 0;
    for (size_t k = from; k < std::min(actual.size(), i + 4); ++k)
        s += (k == i ? "[" : "") + GoldenEventText(actual[k]) + (k == i ? "] " : " ");
    s += "\n  golden: ";
    for (size_t k = from; k < std::min(golden.size(), i + 4); ++k)
        s += (k == i ? "[" : "") + GoldenEventText(golden[k]) + (k == i ? "] " : " ");
    return s;
}

// A clean run's stream against the golden steps: no violation in the run,
// then the replay (whose violations are dropped) and the comparison.
inline void ExpectGoldenRun(sim::SimProgrammer& p, GoldenStream& g, const std::function<void()>& steps,
                            size_t atLeast) {
    const std::vector<GoldenEvent> run = g.Actual();
    EXPECT_TRUE(p.Violations().empty()) << p.Violations().front();
    const std::vector<GoldenEvent> golden = g.Replay(steps);
    p.ClearViolations();
    EXPECT_GE(golden.size(), atLeast);
    EXPECT_EQ(GoldenDifference(run, golden), "");
}
