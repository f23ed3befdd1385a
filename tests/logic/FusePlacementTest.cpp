// Where chosen fuses of a JEDEC map land on the chip, for the one-time and
// word-wide PLD rows and the list PLDs (the tables: FusePlacements.h). Each
// fuse is programmed alone through the driver and looked up in the chip
// model by its place, and no other cell of the array may change.
#include <string>
#include <vector>

#include "sim/AddressListBus.h"
#include "tests/logic/FusePlacements.h"
#include "tests/logic/PldFixture.h"

namespace {

using placement::FpSpot;
using placement::FpTable;

class FusePlacementTest : public PldRun {
  protected:
    void SetUp() override {
        PldRun::SetUp();
        sim::RegisterAddressListBusPersonality();
        BlankCheckBeforeProgram = 0;
    }

    template <class Chip, class Facts> Chip* Seat(const char* maker, const char* name) {
        EXPECT_TRUE(SelectPld(maker, name)) << name;
        const Facts* f = sim::FindFacts<Facts>(maker, name);
        EXPECT_NE(f, nullptr) << name;
        return f != nullptr ? SeatAlone<Chip>(*f) : nullptr;
    }

    static std::vector<uint8_t> Snapshot(const sim::CellArrayChip& chip, uint32_t cells) {
        std::vector<uint8_t> s(cells);
        for (uint32_t n = 0; n < cells; ++n)
            s[n] = static_cast<uint8_t>(chip.Cell(n));
        return s;
    }

    // Each spot alone: the map holds `programmed` at its fuse and `other`
    // everywhere else; after Program the chip shows it at its place and the
    // first `cells` cells of the array differ from the blank part in one
    // cell only (the part's test cells lie beyond them).
    template <class Chip, class Facts>
    void ExpectPlaces(const char* maker, const char* name, const std::vector<FpSpot<Chip>>& spots,
                      uint32_t cells, int programmed = 1) {
        for (const FpSpot<Chip>& s : spots) {
            SCOPED_TRACE(std::string(name) + " fuse " + std::to_string(s.fuse) + " at " + s.place);
            Chip* chip = Seat<Chip, Facts>(maker, name);
            ASSERT_NE(chip, nullptr);
            ASSERT_LT(s.fuse, DeviceSize);
            const std::vector<uint8_t> blank = Snapshot(*chip, cells);
            ASSERT_FALSE(s.at(*chip));
            std::vector<uint8_t> fuses(DeviceSize, static_cast<uint8_t>(programmed == 1 ? 0 : 1));
            fuses[s.fuse] = static_cast<uint8_t>(programmed);
            SetUserFuses(fuses);
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            EXPECT_TRUE(s.at(*chip));
            const std::vector<uint8_t> after = Snapshot(*chip, cells);
            size_t changed = 0;
            for (uint32_t n = 0; n < cells; ++n)
                changed += after[n] != blank[n];
            EXPECT_EQ(changed, 1u);
            ExpectNoViolations();
        }
    }
    template <class Chip, class Facts> void ExpectTables(const std::vector<FpTable<Chip, Facts>>& tables) {
        for (const FpTable<Chip, Facts>& t : tables)
            ExpectPlaces<Chip, Facts>(t.maker, t.name, t.spots, t.cells, t.programmed);
    }
};

TEST_F(FusePlacementTest, FuseArrayPalsByGroupColumnAndOutput) {
    ExpectTables(placement::FuseArrayPalTables());
}

TEST_F(FusePlacementTest, ProductTermPalsByLineAndColumn) {
    ExpectTables(placement::ProductTermPalTables());
}

TEST_F(FusePlacementTest, PinAddressedArraysByRowAndColumn) {
    ExpectTables(placement::PinAddressedTables());
}

TEST_F(FusePlacementTest, MacrocellArraysCellByCell) {
    ExpectTables(placement::MacrocellFuseTables());
    ExpectTables(placement::FileOrderFuseTables());
}

TEST_F(FusePlacementTest, BitPlanesByAddressAndBit) {
    ExpectTables(placement::PlaneArrayTables());
    ExpectTables(placement::PlaneFusePromTables());
}

TEST_F(FusePlacementTest, MacrocellWordsByRowColumnAndBit) {
    ExpectTables(placement::MacrocellWordTables());
}

TEST_F(FusePlacementTest, SecuredWordsByRowColumnAndBit) {
    ExpectTables(placement::SecuredWordTables());
    ExpectTables(placement::WideWordTables());
}

TEST_F(FusePlacementTest, TestCellArraysByRowAndColumn) {
    ExpectTables(placement::StrobePlaTables());
    ExpectTables(placement::FplaTables());
}

TEST_F(FusePlacementTest, ListPldsByAddressAndBit) {
    ExpectTables(placement::AddressListTables());
    ExpectTables(placement::TextListTables());
}

} // namespace
