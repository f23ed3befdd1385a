// Rows 311 and 312 end to end against the byte-addressed chip model, every
// record: the driver's operations, the cell maps' coverage and golden bytes,
// and injected faults.
#include <set>
#include <tuple>

#include "logic/ByteEpld.h"
#include "sim/ByteEpldChip.h"
#include "sim/IdMemory.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kMaker = "GENERIC-ALGORITHM";

struct Record {
    const char* name;
    uint32_t row;
    int variant, subVariant;
    uint32_t fuses;
    size_t bytes;      // chip bytes one walk visits
    size_t extra;      // bytes written before the map
    uint32_t inverted; // first of ten fuses an erased part reads as 0
};
constexpr uint32_t kNone = UINT32_MAX;
constexpr Record kRecords[] = {
    {"BEPLD1842", 311, 0, 0, 1842, 314, 10, 1832},
    {"BEPLD2378", 311, 1, 0, 2378, 346, 0, 2352},
    {"BEPLD2178", 312, 0, 0, 2178, 6 * 44 + 3 * 32 + 2, 10, 2168},
    {"BEPLD2714", 312, 1, 0, 2714, 6 * 44 + 3 * 42 + 4, 0, 2688},
    {"BEPLD2696", 200, 0, 0, 2696, 8 * 36 + 36 + 36 + 8, 0, kNone},
    {"BEPLD4088", 201, 0, 0, 4088, 15 * 44 + 10, 88, kNone},
    {"BEPLD4088L", 201, 1, 0, 4088, 15 * 44 + 10, 88, kNone},
    {"BEPLD5873", 202, 0, 1, 5873, 17 * 44 + 10 + 1 + 3, 0, kNone},
    {"BEPLD5828", 202, 0, 0, 5828, 17 * 44 + 10, 0, kNone},
    {"BEPLD4166", 203, 0, 0, 4166, 15 * 36 + 8 + 1 + 8, 0, kNone},
};

class ByteEpldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    sim::ByteEpldChip* Seat(const Record& r) {
        EXPECT_TRUE(SelectPld(kMaker, r.name));
        return SeatAlone<sim::ByteEpldChip>(*sim::FindFacts<sim::ByteEpldFacts>(kMaker, r.name));
    }
    // The part's cells as fuses: each byte of the row's walk read from the
    // part at its select code and address (bus bits 1-6 on rows 311 and 312),
    // the inverted bytes complemented back; row 200's part clears the cells
    // of the complemented byte, so its cells hold the fuses as they are.
    static std::vector<uint8_t> PartFuses(const sim::ByteEpldChip* chip, const Record& r) {
        std::vector<uint8_t> f(r.fuses, 0);
        const int shift = r.row == 311 || r.row == 312 ? 1 : 0;
        for (const CellByte& b : CellArrayWalk(r.row, r.variant, r.subVariant)) {
            const uint8_t byte = chip->Byte(b.Select, (b.Bus >> shift) & 63);
            const bool inverted = b.Complemented != (r.row == 200);
            for (int i = 0; i < b.Count; ++i)
                f[b.Fuses[i].Fuse] = static_cast<uint8_t>(((byte >> b.Fuses[i].Position) & 1) ^ (inverted ? 1 : 0));
        }
        return f;
    }
    static std::string FailLine(uint32_t fuse) {
        char line[64];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
        return line;
    }
};

// Blank check, program from a JEDEC file with the driver's verify, read into
// a cleared buffer (the saved file keeps its "C" field), erase with the
// driver's blank check, then secure with the driver's read-back of 0s.
TEST_F(ByteEpldTest, EveryRecordThroughTheDriver) {
    for (const Record& r : kRecords) {
        SCOPED_TRACE(r.name);
        sim::ByteEpldChip* chip = Seat(r);
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();
        ExpectRoundTripThenErase(Pattern(r.fuses, r.row), FuseRowLength, [&] { return PartFuses(chip, r); });
        EXPECT_TRUE(chip->Blank());
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Locked());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Every mapper reaches each fuse of its map exactly once, in the stated
// number of bytes, and no two bytes share an address.
TEST_F(ByteEpldTest, WalkCoversEveryFuseOnce) {
    for (const Record& r : kRecords) {
        SCOPED_TRACE(r.name);
        const std::vector<CellByte> walk = CellArrayWalk(r.row, r.variant, r.subVariant);
        EXPECT_EQ(walk.size(), r.bytes);
        std::vector<int> seen(r.fuses, 0);
        std::set<std::pair<int, int>> places;
        for (const CellByte& b : walk) {
            EXPECT_TRUE(places.insert({b.Select, b.Bus}).second) << b.Select << " " << b.Bus;
            for (int i = 0; i < b.Count; ++i) {
                ASSERT_LT(b.Fuses[i].Fuse, r.fuses);
                ++seen[b.Fuses[i].Fuse];
            }
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(r.fuses));
    }
}

// Golden bytes of the programming run as the part sees them, for a buffer
// of all `fill` with one fuse flipped: one pulse a byte; the small arrays'
// fixed bytes and row 201's pre-programmed selects first; kind-0 addresses
// of row 311 skipping 28-35; the small variant's kind-1 byte ORed with AAh;
// an all-0 map writing FFh to the inverted bytes; fuse 2377 as bit 0 at
// select 12, address 42; row 200 writing the complement; the bits without
// a fuse written 0 (rows 201, 203) or set (row 203's security bit).
TEST_F(ByteEpldTest, ProgrammedBytes) {
    struct Golden {
        size_t record;
        uint8_t fill;
        uint32_t flipped;
        int select, address, data; // -1: not written
    };
    const Golden cases[] = {
        {0, 0, kNone, 0, 36, 0x00}, {0, 0, kNone, 0, 43, 0x00}, {0, 0, kNone, 0, 30, -1},
        {0, 0, kNone, 10, 0, 0xAA}, {0, 0, kNone, 11, 44, 0xFF}, {0, 0, 1841, 11, 43, 0xFE},
        {1, 0, 2377, 12, 42, 0x01}, {1, 0, 2370, 12, 42, 0x80}, {1, 0, kNone, 10, 0, 0x00},
        {2, 0, kNone, 0, 30, 0x00}, {3, 0, 2713, 12, 42, 0x01},
        {4, 1, kNone, 8, 1, 0x00},  {4, 0, kNone, 8, 1, 0xFF},  {4, 1, 0, 8, 1, 0x80},
        {5, 1, kNone, 2, 0, 0xFC},  {6, 1, kNone, 16, 43, 0x0F},
        {7, 0, 5848, 28, 44, 0x01}, {8, 0, kNone, 28, 44, -1}, {8, 1, kNone, 26, 44, 0x05},
        {9, 1, kNone, 16, 0, 0x18}, {9, 0, kNone, 27, 44, 0x01}, {9, 1, kNone, 27, 44, 0x15},
    };
    for (const Golden& g : cases) {
        const Record& r = kRecords[g.record];
        SCOPED_TRACE(std::string(r.name) + " " + std::to_string(g.select) + "/" + std::to_string(g.address));
        sim::ByteEpldChip* chip = Seat(r);
        std::vector<uint8_t> fuses(r.fuses, g.fill);
        if (g.flipped != kNone) fuses[g.flipped] ^= 1;
        LoadFuses(fuses, FuseRowLength);
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        const auto& w = chip->Writes();
        ASSERT_EQ(w.size(), r.bytes + r.extra);
        int data = -1;
        for (size_t k = r.extra; k < w.size(); ++k)
            if (w[k].select == g.select && w[k].address == g.address) data = w[k].data;
        EXPECT_EQ(data, g.data);
        if (r.extra == 10) {
            EXPECT_EQ(std::make_tuple(w[0].select, w[0].address, w[0].data), std::make_tuple(8, 32, 0xFD));
            EXPECT_EQ(std::make_tuple(w[9].select, w[9].address, w[9].data), std::make_tuple(10, 41, 0x07));
        }
        for (size_t k = 0; k < r.extra && r.extra == 88; ++k)
            ASSERT_EQ(std::make_tuple(w[k].select, w[k].address, w[k].data),
                      std::make_tuple(k < 44 ? 7 : 9, static_cast<int>(k % 44), 0));
        for (size_t k = r.extra; k < w.size() && r.row == 201; ++k) ASSERT_TRUE(w[k].select != 7 && w[k].select != 9);
    }
}

// An erased part read into the buffer: every fuse 1 but the inverted ones,
// and its blank check passes.
TEST_F(ByteEpldTest, ErasedPartReadsInvertedFusesAsZero) {
    for (const Record& r : kRecords) {
        SCOPED_TRACE(r.name);
        Seat(r);
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t n = 0; n < r.fuses; ++n)
            ASSERT_EQ(GetBufferBit(n), n >= r.inverted && n - r.inverted < 10 ? 0u : 1u) << n;
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    }
}

// A cell that does not take fails the verify at its fuse; an erase the part
// ignores fails the driver's blank check; ESC answered No ends a read with
// the socket powered down.
TEST_F(ByteEpldTest, InjectedFaults) {
    struct Stuck {
        size_t record;
        int select, address, bit;
        uint32_t fuse;
    };
    const Stuck cases[] = {{0, 0, 0, 0, 0},      {0, 5, 36, 1, 1472 + 36 * 9 + 28},
                           {1, 12, 42, 0, 2377}, {1, 12, 42, 7, 2370},
                           {2, 10, 31, 0, 54 * 31 + 44 + 1}, {3, 13, 42, 7, 2713 - 15},
                           {4, 8, 1, 7, 0},      {5, 2, 0, 2, 44 * 16},
                           {7, 31, 63, 0, 5872}, {9, 16, 0, 3, 3996}};
    for (const Stuck& s : cases) {
        const Record& r = kRecords[s.record];
        SCOPED_TRACE(std::string(r.name) + " " + std::to_string(s.fuse));
        sim::ByteEpldChip* chip = Seat(r);
        chip->StickCell(sim::ByteEpldChip::CellOf(s.select, s.address, s.bit));
        std::vector<uint8_t> fuses(r.fuses, 0);
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Verification error!")) << LogText();
        EXPECT_TRUE(HasLine(FailLine(s.fuse))) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    for (const Record& r : kRecords) {
        SCOPED_TRACE(r.name);
        sim::ByteEpldChip* chip = Seat(r);
        LoadFuses(std::vector<uint8_t>(r.fuses, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        chip->IgnoreErase();
        EXPECT_EQ(Run(OpErase), -1);
        const CellByte first = CellArrayWalk(r.row, r.variant, r.subVariant)[0]; // every fuse of it fails: the last named
        EXPECT_TRUE(HasLine(FailLine(first.Fuses[first.Count - 1].Fuse))) << LogText();

        Seat(r);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// The small arrays' ten fixed bytes, as the part holds them after a
// program run whatever the file: kind-1 select codes, addresses 32-41.
TEST_F(ByteEpldTest, SmallArraysHoldTheTenFixedBytes) {
    constexpr int kSelect[10] = {8, 8, 8, 8, 9, 9, 9, 9, 10, 10};
    constexpr uint8_t kData[10] = {0xFD, 0xF7, 0xDF, 0x7F, 0xFD, 0xF7, 0xDF, 0x7F, 0x0D, 0x07};
    for (size_t record : {size_t{0}, size_t{2}}) {
        const Record& r = kRecords[record];
        SCOPED_TRACE(r.name);
        for (uint8_t fill : {0, 1}) {
            sim::ByteEpldChip* chip = Seat(r);
            LoadFuses(std::vector<uint8_t>(r.fuses, fill), FuseRowLength);
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            for (int i = 0; i < 10; ++i) EXPECT_EQ(chip->Byte(kSelect[i], 32 + i), kData[i]) << i;
        }
    }
}

// Row 311's inverted bytes (select 11, addresses 44 and 43) are verified: a
// cell changed on the part fails the verify at its fuse.
TEST_F(ByteEpldTest, Row311VerifiesItsInvertedBytes) {
    for (size_t record : {size_t{0}, size_t{1}}) {
        const Record& r = kRecords[record];
        SCOPED_TRACE(r.name);
        struct Flip {
            int address;
            uint8_t mask;
            uint32_t fuse;
        };
        const Flip flips[] = {{44, 0x02, r.inverted}, {44, 0x01, r.inverted + 1}, {43, 0x80, r.inverted + 2},
                              {43, 0x01, r.inverted + 9}};
        for (const Flip& f : flips) {
            sim::ByteEpldChip* chip = Seat(r);
            LoadFuses(Pattern(r.fuses, 3), FuseRowLength);
            ASSERT_EQ(Run(OpProgram), 1) << LogText();
            chip->SetByte(11, f.address, static_cast<uint8_t>(chip->Byte(11, f.address) ^ f.mask));
            EXPECT_EQ(Run(OpVerify), -1) << LogText();
            EXPECT_TRUE(HasLine(FailLine(f.fuse))) << LogText();
        }
    }
}

// A part answers only at its own bias level: one 0.3 V off (row 200's part
// at 12.5 V, rows 311/312's at 12.2 V) is no part for the row.
TEST_F(ByteEpldTest, BiasLevelMustMatchThePart) {
    for (const auto& [record, bias] : {std::pair<size_t, int>{4, 125}, {0, 122}, {2, 122}}) {
        const Record& r = kRecords[record];
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(SelectPld(kMaker, r.name));
        sim::ByteEpldFacts f = *sim::FindFacts<sim::ByteEpldFacts>(kMaker, r.name);
        f.biasTenths = bias;
        sim::ByteEpldChip* chip = SeatAlone<sim::ByteEpldChip>(f);
        LoadFuses(std::vector<uint8_t>(r.fuses, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(chip->Blank());
        EXPECT_TRUE(chip->Writes().empty());
    }
}

// Erase and secure pulses as the part sees them: mode lines and width.
TEST_F(ByteEpldTest, EraseAndSecurePulses) {
    struct Case {
        size_t record;
        std::vector<std::pair<int, uint64_t>> erase; // mode lines, ms
        uint64_t secureMs;
    };
    const std::vector<std::pair<int, uint64_t>> shortLast{{0, 100}, {2, 100}, {0, 10}};
    const Case cases[] = {{0, {{0, 10}}, 10},  {3, {{0, 10}}, 10},        {4, shortLast, 300},
                          {5, shortLast, 10}, {6, {{0, 100}, {2, 100}, {0, 100}}, 10},
                          {8, shortLast, 10}, {9, shortLast, 10}};
    for (const Case& c : cases) {
        const Record& r = kRecords[c.record];
        SCOPED_TRACE(r.name);
        sim::ByteEpldChip* chip = Seat(r);
        chip->SetByte(1, 1, 0x00);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(chip->Blank());
        ASSERT_EQ(chip->Pulses().size(), c.erase.size());
        for (size_t k = 0; k < c.erase.size(); ++k) {
            EXPECT_EQ(chip->Pulses()[k].mode, c.erase[k].first) << k;
            EXPECT_GE(chip->Pulses()[k].widthUs, c.erase[k].second * 1000) << k;
            EXPECT_LT(chip->Pulses()[k].widthUs, c.erase[k].second * 1000 + 2000) << k;
        }
        chip->ClearLog();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(chip->Locked());
        ASSERT_FALSE(chip->Pulses().empty());
        EXPECT_EQ(chip->Pulses()[0].mode, 3);
        EXPECT_GE(chip->Pulses()[0].widthUs, c.secureMs * 1000);
        EXPECT_LT(chip->Pulses()[0].widthUs, c.secureMs * 1000 + 2000);
        ExpectNoViolations();
    }
}

// DAC traffic: the bias ramped 5.0 -> 12.5 V in 0.1 V steps of 266 us and
// the cell pulse 2.0 -> 16.0 V in 2.0 V steps (rows 311, 312); row 200's
// pulse 10.0 -> 14.7 V in 0.3 V steps of 10 us.
TEST_F(ByteEpldTest, VoltageRamps) {
    struct Ramp {
        size_t record;
        int op, channel, from, to, step;
        uint64_t stepUs;
    };
    const Ramp ramps[] = {{0, OpSecurity, 1, 50, 125, 1, 266}, {0, OpSecurity, 2, 20, 160, 20, 0},
                          {3, OpSecurity, 1, 50, 125, 1, 266}, {3, OpSecurity, 2, 20, 160, 20, 0},
                          {4, OpProgram, 2, 100, 147, 3, 10}};
    for (const Ramp& r : ramps) {
        SCOPED_TRACE(std::string(kRecords[r.record].name) + " channel " + std::to_string(r.channel));
        Seat(kRecords[r.record]);
        VerifyAfterProgram = 0;
        simp.EnableTrace(true);
        simp.ClearTrace();
        EXPECT_EQ(Run(r.op), 1) << LogText();
        std::vector<std::pair<int, uint64_t>> writes; // tenths, time
        int selected = 1;
        for (const auto& a : simp.RegisterTrace()) {
            if (a.write && a.reg == 13) selected = (a.value & 3) + 1;
            if (a.write && a.reg == 18 && selected == r.channel)
                writes.emplace_back((sim::DacCodeToMillivolts(r.channel, a.value) + 50) / 100, a.timeUs);
        }
        simp.EnableTrace(false);
        size_t k = 0;
        while (k < writes.size() && std::abs(writes[k].first - r.from) > 1) ++k;
        while (k + 1 < writes.size() && writes[k + 1].first == writes[k].first) ++k; // set, then the ramp's start
        ASSERT_LT(k, writes.size());
        for (int v = r.from + r.step; v <= r.to; v += r.step, ++k) {
            ASSERT_LT(k + 1, writes.size());
            EXPECT_NEAR(writes[k + 1].first, v, 1);
            EXPECT_GE(writes[k + 1].second - writes[k].second, r.stepUs);
        }
    }
}

} // namespace
