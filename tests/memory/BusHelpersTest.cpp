// The shared steps of the flash buses as the rows meet them: the bus state a
// power-up leaves for the next row, and the gang helper's passes over the
// sockets (each socket alone, the mask afterwards, never past the adapter).
#include <string>
#include <vector>

#include "FlashFixture.h"
#include "engine/AlgorithmTable.h"
#include "memory/Gang.h"

namespace {

class BusHelpers : public FlashRun {
protected:
    sim::SeatedFlash part;

    void StartPart(const char* maker, const char* name, uint32_t words = 0x20) {
        ASSERT_TRUE(Select(maker, name)) << name;
        Limit(words);
        part = SeatPart(maker, name);
    }
    // The register-3 writes of the trace from index `from`, as hex bytes.
    std::string Masks(size_t from = 0) const {
        std::string t;
        const auto& tr = simp.RegisterTrace();
        for (size_t i = from; i < tr.size(); ++i) {
            if (!tr[i].write || tr[i].reg != 3) continue;
            char one[8];
            std::snprintf(one, sizeof one, "%02X ", tr[i].value);
            t += one;
        }
        return t;
    }
    std::vector<std::pair<uint32_t, uint16_t>> CommandWrites() const {
        std::vector<std::pair<uint32_t, uint16_t>> seen;
        for (const auto& w : part.flash()->Writes()) seen.emplace_back(w.address, w.data & 0xFF);
        return seen;
    }
};

// A row whose byte-mode parts take doubled command addresses must not leave
// the doubling to the next row: every power-up states its own addressing.
TEST_F(BusHelpers, CommandAddressingIsTheRowsOwnAtEveryPowerUp) {
    const std::vector<std::pair<uint32_t, uint16_t>> plain = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80},
                                                              {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x10}};
    StartPart("ST", "M29F040B");
    DeviceFlags |= 0x400;
    ASSERT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_NE(CommandWrites(), plain); // the doubled second address

    Unseat();
    StartPart("AMD", "Am29F016B");
    ASSERT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(CommandWrites(), plain);
    EXPECT_EQ(part.flash()->ChipErases(), 1u);

    ExpectNoViolations();
}

// A pass over the gang selects each socket alone in order and ends with the
// mask asked for; a pass that stops at the first failing socket leaves the
// later ones alone.
TEST_F(BusHelpers, PassesSelectEachSocketAloneAndEndWithTheirMask) {
    AddGang(4);
    StartPart("AMD", "Am29F016B");
    LastSocketIndex = 3;
    simp.EnableTrace(true);
    std::vector<uint32_t> visited;
    bool all = true;
    Entry([&] {
        all = OnEverySocket(GangPass{}, [&](uint32_t s) {
            visited.push_back(s);
            return s != 1;
        });
        return 1;
    });
    EXPECT_FALSE(all);
    EXPECT_EQ(visited, (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_NE(Masks().find("FE FD FB F7 00 "), std::string::npos) << Masks();

    const size_t from = simp.RegisterTrace().size();
    visited.clear();
    Entry([&] {
        all = OnEverySocket(GangPass{0xFF, true}, [&](uint32_t s) {
            visited.push_back(s);
            return s != 1;
        });
        return 1;
    });
    EXPECT_FALSE(all);
    EXPECT_EQ(visited, (std::vector<uint32_t>{0, 1}));
    EXPECT_NE(Masks(from).find("FE FD FF "), std::string::npos) << Masks(from);
}

// The socket-by-socket polls stay on a socket until it reads ready, and the
// last socket's ready ends them.
TEST_F(BusHelpers, PollsInTurnMoveOnOnlyFromAReadySocket) {
    AddGang(3);
    StartPart("AMD", "Am29F016B");
    LastSocketIndex = 2;
    simp.EnableTrace(true);
    // Socket 0 ready at once, socket 1 at its third read, socket 2 at once.
    int calls = 0;
    bool done = false;
    Entry([&] {
        done = PollInTurns(10, [&] {
            ++calls;
            return calls != 2 && calls != 3;
        });
        return 1;
    });
    EXPECT_TRUE(done);
    EXPECT_EQ(calls, 5);
    EXPECT_NE(Masks().find("FE FD FD FD FB 00 "), std::string::npos) << Masks();

    // Out of reads before the last socket: not done, every socket selected again.
    const size_t from = simp.RegisterTrace().size();
    Entry([&] {
        done = PollInTurns(4, [] { return false; });
        return 1;
    });
    EXPECT_FALSE(done);
    EXPECT_NE(Masks(from).find("FE FE FE FE 00 "), std::string::npos) << Masks(from);
}

// A socket count past the adapter's eight sockets (a setting gone wrong)
// never makes a pass wrap around to socket 0 again or poll without end.
TEST_F(BusHelpers, SocketCountPastTheAdapterStopsAtItsLastSocket) {
    AddGang(8);
    StartPart("AMD", "Am29F016B");
    simp.EnableTrace(true);
    std::vector<uint32_t> visited;
    bool done = false;
    Entry([&] {
        LastSocketIndex = 12;
        OnEverySocket(GangPass{}, [&](uint32_t s) {
            visited.push_back(s);
            return true;
        });
        done = PollInTurns(100, [] { return true; });
        LastSocketIndex = 7;
        return 1;
    });
    EXPECT_EQ(visited.size(), kGangSockets);
    EXPECT_EQ(visited.back(), kGangSockets - 1);
    EXPECT_TRUE(done);
    EXPECT_NE(Masks().find("FE FD FB F7 EF DF BF 7F 00 FE FD FB F7 EF DF BF 7F 00 "), std::string::npos) << Masks();
}

} // namespace
