// Rows 204-206 end to end against the read-back EPLD model, every record:
// the driver's operations, the walks' coverage and golden positions, the
// bytes the programming run writes, injected faults, and the refusal of a
// row-206 package without a pin map.
#include <algorithm>
#include <set>
#include <tuple>

#include "logic/ReadBackEpld.h"
#include "sim/ReadBackEpldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kRbMaker = "GENERIC-ALGORITHM";

struct RbRecord {
    const char* name;
    uint32_t row, fuses;
    size_t bytes;     // chip bytes one walk visits
};
constexpr RbRecord kRbRecords[] = {
    {"BEPLD14088", 204, 14088, 11 * 84 + 11 * 80 + 2 + 30 + 8},
    {"BEPLD8488", 205, 8488, 9 * 76 + 7 * 64 + 5 * 4 + 3 + 1 + 1},
    {"BEPLD22103", 206, 22103, 16 * 124 + 2 * 7 * 60 + 15 + 48 + 2},
    {"BEPLD22103-PLCC", 206, 22103, 16 * 124 + 2 * 7 * 60 + 15 + 48 + 2},
};

// The security cell of each pin-out: half, select, address, bit.
std::tuple<int, int, int, int> RbSecurityCell(uint32_t row) {
    if (row == 204) return {0, 2, 218, 0};
    if (row == 205) return {0, 0, 0xC5, 4};
    return {3, 0, 15, 0};
}

class ReadBackEpldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    sim::ReadBackEpldChip* Seat(const RbRecord& r) {
        EXPECT_TRUE(SelectPld(kRbMaker, r.name));
        return SeatAlone<sim::ReadBackEpldChip>(*sim::FindFacts<sim::ReadBackEpldFacts>(kRbMaker, r.name));
    }
    // The part's cells as fuses, through the row's walk.
    static std::vector<uint8_t> PartFuses(const sim::ReadBackEpldChip* chip, const RbRecord& r) {
        std::vector<uint8_t> f(r.fuses, 0);
        for (const CellByte& b : ReadBackEpldWalk(r.row)) {
            const uint8_t byte = chip->Byte(b.Select >> 4, b.Select & 15, b.Bus);
            for (int i = 0; i < b.Count; ++i)
                f[b.Fuses[i].Fuse] = static_cast<uint8_t>((byte >> b.Fuses[i].Position) & 1);
        }
        return f;
    }
    static std::string RbFailLine(uint32_t fuse) {
        char line[64];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
        return line;
    }
};

// Blank check of a fresh part, program from a JEDEC file with the driver's
// verify, read into a cleared buffer (the saved file keeps its "C" field),
// erase with the driver's blank check, secure: rows 205 and 206 read the
// secured part back as 0s, row 204 reads its security byte back.
TEST_F(ReadBackEpldTest, EveryRecordThroughTheDriver) {
    for (const RbRecord& r : kRbRecords) {
        SCOPED_TRACE(r.name);
        sim::ReadBackEpldChip* chip = Seat(r);
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row);
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_TRUE(HasLine("Program ok!")) << LogText();
        EXPECT_EQ(PartFuses(chip, r), fuses);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        EXPECT_TRUE(chip->Blank());

        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Locked());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();

        // A security cell that never takes fails Secure: rows 205 and 206
        // through the driver's read-back, row 204 through its own.
        chip = Seat(r);
        const auto [half, select, address, bit] = RbSecurityCell(r.row);
        chip->StickCell(sim::ReadBackEpldChip::CellOf(half, select, address, bit));
        EXPECT_EQ(Run(OpSecurity), -1) << LogText();
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        if (r.row == 204) {
            EXPECT_TRUE(HasLine(" Security bit not programmed (security byte reads FFh).")) << LogText();
            EXPECT_EQ(DatumLines(), "");
        }
        EXPECT_FALSE(chip->Locked());
        ExpectNoViolations();
    }
}

// Each walk reaches every fuse below the fuse count exactly once, in the
// stated number of bytes, no two bytes at one place.
TEST_F(ReadBackEpldTest, WalksCoverEveryFuseOnce) {
    for (const RbRecord& r : kRbRecords) {
        SCOPED_TRACE(r.name);
        const std::vector<CellByte> walk = ReadBackEpldWalk(r.row);
        EXPECT_EQ(walk.size(), r.bytes);
        std::vector<int> seen(r.fuses, 0);
        std::set<std::pair<int, int>> places;
        for (const CellByte& b : walk) {
            EXPECT_TRUE(places.insert({b.Select, b.Bus}).second) << b.Select << " " << b.Bus;
            const auto [half, select, address, bit] = RbSecurityCell(r.row);
            if (b.Select == (select | half << 4) && b.Bus == address) {
                EXPECT_EQ((b.OrMask >> bit) & 1, 1);
            }
            for (int i = 0; i < b.Count; ++i) {
                ASSERT_LT(b.Fuses[i].Fuse, r.fuses);
                ++seen[b.Fuses[i].Fuse];
            }
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(r.fuses));
    }
}

// Golden positions from the rows' tables: (row, kind, select, address) ->
// the fuse at a bit position.
TEST_F(ReadBackEpldTest, GoldenPositions) {
    struct Golden {
        uint32_t row;
        int kind, select, address, position;
        uint32_t fuse;
    };
    const Golden cases[] = {
        {204, 0, 5, 3, 2, 168 * (16 + 2) + 3},     {204, 0, 10, 83, 3, 13440 + 84 * 3 + 83},
        {204, 1, 6, 128, 0, 84},                   {204, 1, 5, 129, 3, 168 + 124 + 2},
        {204, 1, 0, 207, 0, 168 * 79 + 160 + 7},   {204, 2, 4, 213, 3, 13783},
        {204, 3, 6, 213, 3, 13784 + 8},            {204, 3, 10, 217, 7, 13784 + 8 * 29 + 7},
        {204, 4, 8, 208, 0, 14024 + 56 + 7},       {205, 0, 8, 75, 2, 8064 + 152 + 75},
        {205, 1, 1, 128, 4, 76},                   {205, 1, 1, 191, 7, 126 * 63 + 91},
        {205, 1, 6, 130, 1, 126 * 2 + 125},        {205, 2, 4, 196, 0, 8475},
        {205, 2, 4, 196, 7, 8295},                 {205, 5, 5, 195, 7, 8299 + 16 + 7},
        {205, 4, 0, 0xFF, 0, 8479},                {205, 3, 0, 0xC5, 3, 8487},
        {206, 0, 0, 0, 1, 124},                    {206, 0, 0, 123, 7, 248 + 176 * 5 + 123},
        {206, 0, 15, 0, 4, 21368 + 248},           {206, 1, 16, 59, 0, 372},
        {206, 1, 16 + 6, 0, 3, 372 + 176 * 59 + 51}, {206, 2, 16, 64, 0, 10932},
        {206, 3, 48, 12, 3, 21743},                {206, 4, 49, 0x60 + 23, 4, 21783 + 13 * 23 + 4},
        {206, 5, 48, 17, 7, 22102},
    };
    for (const Golden& g : cases) {
        SCOPED_TRACE(std::to_string(g.row) + " fuse " + std::to_string(g.fuse));
        bool found = false;
        for (const CellByte& b : ReadBackEpldWalk(g.row)) {
            if (b.Select != g.select || b.Bus != g.address) continue;
            EXPECT_EQ(b.Kind, g.kind);
            for (int i = 0; i < b.Count; ++i)
                if (b.Fuses[i].Position == g.position) found = b.Fuses[i].Fuse == g.fuse;
        }
        EXPECT_TRUE(found);
    }
}

// What the programming run writes: nothing for an all-1 map; one byte for
// one fuse at 0, at the place the tables give; row 206's kind 1 walking its
// addresses downwards; every write one pulse of 10 ms in mode 3.
TEST_F(ReadBackEpldTest, ProgrammedBytes) {
    for (const RbRecord& r : kRbRecords) {
        SCOPED_TRACE(r.name);
        sim::ReadBackEpldChip* chip = Seat(r);
        LoadFuses(std::vector<uint8_t>(r.fuses, 1), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_TRUE(chip->Writes().empty());
        EXPECT_TRUE(chip->Pulses().empty());
    }
    struct One {
        size_t record;
        std::vector<uint32_t> zero;
        std::vector<std::tuple<int, int, int, int>> writes; // half, select, address, data
    };
    const One cases[] = {
        {0, {0}, {{0, 0, 0, 0xFE}}},
        {0, {13776}, {{0, 3, 213, 0xFE}}},
        {1, {8479}, {{0, 0, 0xFF, 0xFE}}},
        {1, {8487}, {{0, 0, 0xC5, 0xF7}}},
        {2, {372, 372 + 176}, {{1, 0, 59, 0xFE}, {1, 0, 58, 0xFE}}},
        {3, {22102}, {{3, 0, 17, 0x7F}}},
    };
    for (const One& c : cases) {
        const RbRecord& r = kRbRecords[c.record];
        SCOPED_TRACE(std::string(r.name) + " " + std::to_string(c.zero[0]));
        sim::ReadBackEpldChip* chip = Seat(r);
        std::vector<uint8_t> fuses(r.fuses, 1);
        for (uint32_t z : c.zero) fuses[z] = 0;
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ASSERT_EQ(chip->Writes().size(), c.writes.size());
        for (size_t k = 0; k < c.writes.size(); ++k) {
            const auto& w = chip->Writes()[k];
            EXPECT_EQ(std::make_tuple(w.half, w.select, w.address, w.data), c.writes[k]) << k;
        }
        for (const auto& p : chip->Pulses()) {
            EXPECT_EQ(p.mode, 3);
            EXPECT_GE(p.widthUs, 10000u);
            EXPECT_LT(p.widthUs, 12000u);
        }
        ExpectNoViolations();
    }
}

// A byte that does not read back ends the run at once after its one pulse:
// "Program error!" with the last fuse the byte handed over. Erase is three
// pulses of 100 ms (mode lines 0, 2, 0). ESC answered No ends a read with
// the socket powered down.
TEST_F(ReadBackEpldTest, InjectedFaults) {
    struct Stuck {
        size_t record;
        int half, select, address, bit;
        size_t written; // bytes written up to the failing one
        uint32_t lastFuse;
    };
    const Stuck cases[] = {{0, 0, 0, 1, 0, 2, 168 * 7 + 1},
                           {1, 0, 0, 0xFF, 3, kRbRecords[1].bytes - 1, 8486},
                           {2, 1, 0, 59, 0, 16 * 124 + 1, 379},
                           {3, 3, 0, 16, 0, kRbRecords[3].bytes - 1, 22094}};
    for (const Stuck& s : cases) {
        const RbRecord& r = kRbRecords[s.record];
        SCOPED_TRACE(r.name);
        sim::ReadBackEpldChip* chip = Seat(r);
        chip->StickCell(sim::ReadBackEpldChip::CellOf(s.half, s.select, s.address, s.bit));
        LoadFuses(std::vector<uint8_t>(r.fuses, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(HasLine(RbFailLine(s.lastFuse))) << LogText();
        EXPECT_EQ(chip->Writes().size(), s.written);
        const auto& last = chip->Writes().back();
        EXPECT_EQ(std::make_tuple(last.half, last.select, last.address), std::make_tuple(s.half, s.select, s.address));
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
    // A cell changed after programming fails the driver's verify at its fuse.
    for (const RbRecord& r : kRbRecords) {
        SCOPED_TRACE(r.name);
        sim::ReadBackEpldChip* chip = Seat(r);
        LoadFuses(std::vector<uint8_t>(r.fuses, 1), FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        const CellByte last = ReadBackEpldWalk(r.row).back();
        const CellFuse cell = last.Fuses[last.Count - 1];
        chip->SetCell(sim::ReadBackEpldChip::CellOf(last.Select >> 4, last.Select & 15, last.Bus, cell.Position), 0);
        EXPECT_EQ(Run(OpVerify), -1) << LogText();
        EXPECT_TRUE(HasLine("Verification error!")) << LogText();
        EXPECT_TRUE(HasLine(RbFailLine(cell.Fuse))) << LogText();
    }
    for (const RbRecord& r : kRbRecords) {
        SCOPED_TRACE(r.name);
        sim::ReadBackEpldChip* chip = Seat(r);
        chip->SetByte(0, 0, 0, 0x00);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        ASSERT_EQ(chip->Pulses().size(), 3u);
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(chip->Pulses()[k].mode, k == 1 ? 2 : 0);
            EXPECT_GE(chip->Pulses()[k].widthUs, 100000u);
            EXPECT_LT(chip->Pulses()[k].widthUs, 102000u);
        }
        EXPECT_TRUE(chip->Blank());

        Seat(r);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Where each fuse of the JEDEC map lies on the part: half, select, address
// and bit, listed from the rows' walk and fuse-number tables (kinds in walk
// order) without the module's own walk.
struct RbPlace {
    int half, select, address, position;
    uint32_t fuse;
};
std::vector<RbPlace> RbPlaces(uint32_t row) {
    std::vector<RbPlace> v;
    auto put = [&](int half, int select, int address, int position, int fuse) {
        v.push_back({half, select, address, position, static_cast<uint32_t>(fuse)});
    };
    if (row == 204) {
        const int lineBase[10] = {0, 8, 24, 32, 40, 16, 48, 56, 64, 72};
        const int k1Select[11] = {6, 7, 8, 9, 10, 5, 4, 3, 2, 1, 0};
        const int columnBase[11] = {84, 92, 100, 108, 116, 124, 128, 136, 144, 152, 160};
        const int bitOrder[3][8] = {{0, 1, 2, 3, 4, 5, 6, 7}, {3, 0, 1, 2, 7, 4, 5, 6}, {1, 0, 2, 3, 5, 4, 6, 7}};
        const int k4Select[8] = {0, 1, 2, 3, 4, 6, 7, 8};
        for (int a = 0; a <= 10; ++a)
            for (int b = 0; b <= 83; ++b)
                for (int p = 0; p < (a <= 9 ? 8 : 4); ++p)
                    put(0, a, b, p, a <= 9 ? 168 * (lineBase[a] + p) + b : 13440 + 84 * p + b);
        for (int a = 0; a <= 10; ++a)
            for (int b = 0; b <= 79; ++b)
                for (int i = 0; i < (a == 5 ? 4 : 8); ++i) {
                    const int position = a <= 4 ? i : a == 5 ? (i == 2 ? 3 : i == 3 ? 2 : i) : 7 - i;
                    put(0, k1Select[a], b + 128, position, 168 * b + columnBase[a] + i);
                }
        for (int a = 0; a <= 1; ++a)
            for (int p = 0; p < 4; ++p) put(0, a + 3, 213, p, 13776 + 4 * a + p);
        for (int a = 0; a <= 29; ++a)
            for (int i = 0; i < 8; ++i) put(0, a % 6 + 5, 213 + a / 6, bitOrder[a % 3][i], 13784 + 8 * a + i);
        for (int a = 0; a <= 7; ++a)
            for (int i = 0; i < 8; ++i) put(0, k4Select[a], 208, 7 - i, 14024 + 8 * a + i);
    } else if (row == 205) {
        for (int a = 0; a <= 8; ++a)
            for (int b = 0; b <= 75; ++b)
                for (int p = 0; p < (a <= 7 ? 8 : 3); ++p)
                    put(0, a, b, p, a <= 7 ? 126 * (8 * a + p) + b : 8064 + 76 * p + b);
        for (int a = 0; a <= 6; ++a)
            for (int b = 0; b <= 63; ++b)
                for (int p = 0; p < (a == 6 ? 2 : 8); ++p) {
                    int column = 76 + 8 * a + p;
                    if (a == 0) column = 78 + p;
                    if (a == 1) column = p < 4 ? 86 + p : p < 6 ? 72 + p : 84 + p;
                    if (a == 6) column = 124 + p;
                    put(0, a, b + 128, p, 126 * b + column);
                }
        for (int a = 0; a <= 4; ++a)
            for (int b = 65; b <= 68; ++b)
                for (int p = 0; p < 8; ++p)
                    put(0, a, b + 128, p,
                        a == 4 && b == 68 ? (p < 4 ? 8475 + p : 8288 + p) : 8323 + 32 * a + 8 * (b - 65) + p);
        for (int b = 65; b <= 67; ++b)
            for (int p = 0; p < 8; ++p) put(0, 5, b + 128, p, 8299 + 8 * (b - 65) + p);
        for (int p = 0; p < 8; ++p) put(0, 0, 0xFF, p, 8479 + p);
        for (int p = 0; p < 4; ++p) put(0, 0, 69 + 128, p, p < 3 ? 8296 + p : 8487);
    } else {
        for (int a = 0; a <= 15; ++a)
            for (int b = 0; b <= 123; ++b)
                for (int p = 0; p < (a == 15 ? 5 : 8); ++p) {
                    int fuse = 1304 + 1408 * (a - 1) + 176 * p + b;
                    if (a == 0) fuse = p < 2 ? 124 * p + b : 248 + 176 * (p - 2) + b;
                    if (a == 15) fuse = p < 2 ? 21016 + 176 * p + b : 21368 + 124 * (p - 2) + b;
                    put(0, a, b, p, fuse);
                }
        for (int a = 0; a <= 6; ++a)
            for (int b = 0; b <= 59; ++b)
                for (int p = 0; p < (a == 6 ? 4 : 8); ++p) {
                    put(1, a, 59 - b, p, 372 + 176 * b + 8 * a + p);
                    put(1, a, b + 64, p, 10932 + 176 * b + 8 * a + p);
                }
        for (int b = 0; b <= 14; ++b)
            for (int p = 0; p < (b <= 11 ? 2 : b <= 13 ? 4 : 3); ++p)
                put(3, 0, b, p, b <= 11 ? 21751 + 2 * b + p : b <= 13 ? 21740 + 4 * (b - 12) + p : 21748 + p);
        for (int a = 0; a <= 1; ++a)
            for (int b = 0; b <= 23; ++b)
                for (int p = 0; p < (a == 0 ? 8 : 5); ++p) put(3, a, b | 0x60, p, (a == 0 ? 21775 : 21783) + 13 * b + p);
        for (int b = 0; b <= 1; ++b)
            for (int p = 0; p < 8; ++p) put(3, 0, b + 16, p, 22087 + 8 * b + p);
    }
    return v;
}

// No user map reaches the security bit: an all-0 map (every cell the walk
// reaches cleared) leaves each part open, and it reads back.
TEST_F(ReadBackEpldTest, NoFuseMapSecuresThePart) {
    for (const RbRecord& r : kRbRecords) {
        SCOPED_TRACE(r.name);
        sim::ReadBackEpldChip* chip = Seat(r);
        LoadFuses(std::vector<uint8_t>(r.fuses, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_FALSE(chip->Locked());
        ClearUserMap(r.fuses);
        SetUserFuses(std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), std::vector<uint8_t>(r.fuses, 0));
    }
}

// A random map programmed through the driver lands on the part where the
// tables place each fuse; the tables name every fuse of the map once.
TEST_F(ReadBackEpldTest, FusesLandWhereThePartPlacesThem) {
    for (const RbRecord& r : kRbRecords) {
        SCOPED_TRACE(r.name);
        const std::vector<RbPlace> places = RbPlaces(r.row);
        std::vector<int> named(r.fuses, 0);
        for (const RbPlace& p : places) {
            ASSERT_LT(p.fuse, r.fuses);
            ++named[p.fuse];
        }
        EXPECT_EQ(std::count(named.begin(), named.end(), 1), static_cast<long>(r.fuses));
        sim::ReadBackEpldChip* chip = Seat(r);
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.fuses + 3);
        LoadFuses(fuses, FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        int wrong = 0;
        for (const RbPlace& p : places)
            if (((chip->Byte(p.half, p.select, p.address) >> p.position) & 1) != fuses[p.fuse] && ++wrong <= 5)
                ADD_FAILURE() << "fuse " << p.fuse << " not at half " << p.half << " select " << p.select
                              << " address " << p.address << " bit " << p.position;
        EXPECT_EQ(wrong, 0);
    }
}

// Row 206 in a package of neither 40 nor 44 pins has no pin map: every
// entry logs " Device not supported!" and fails before the part is powered.
TEST_F(ReadBackEpldTest, Row206RefusesAPackageWithoutPins) {
    sim::ReadBackEpldChip* chip = Seat(kRbRecords[2]);
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    for (uint32_t package : {6u, 10u}) {
        SCOPED_TRACE(package);
        PackageIndex = package;
        for (int op : {OpBlankCheck, OpProgram, OpRead, OpErase, OpSecurity}) {
            SCOPED_TRACE(op);
            chip->ClearLog();
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
            EXPECT_FALSE(chip->EverPowered());
        }
    }
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_TRUE(chip->Blank());
}

} // namespace
