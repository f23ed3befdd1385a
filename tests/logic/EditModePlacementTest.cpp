// Where chosen fuses of a JEDEC map land on the edit-mode PLDs (rows 207,
// 208, 210, 209, 240, 241), the GAL6001-type FPLAs (row 225), the
// serial-command PLDs (row 292), the serial-address and text-ID GALs (rows
// 221, 222, 224, 226, 227, 230, 231, 234, 247), the row-serial 16V8 and
// 20V8 GALs (rows 219, 220, 232, 233, 228, 243, 229), the byte-wide and
// 10-bit-word parts with a cycle record (rows 235, 236, 237), the JTAG 22V10
// (row 294) and the instruction-interface block CPLD (row 218); the tables:
// FusePlacements.h. The fuse is
// programmed alone (0, every other fuse 1) through the driver; the chip
// model must show it at that place, and no other cell of the map may change.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/BlockCpldBus.h"
#include "sim/CycleRecordChip.h"
#include "sim/EditModeChip.h"
#include "sim/Gal6001Chip.h"
#include "sim/FuseArrayChip.h"
#include "sim/GalChip.h"
#include "sim/InstructionBlockChip.h"
#include "sim/IspPldChip.h"
#include "tests/logic/FusePlacements.h"
#include "tests/logic/PldFixture.h"

namespace {

using placement::EmSpot;

// The fuse value a part holds for fuse n: its cell, or on the cycle-record
// parts the complement of it.
template <class Chip> int MapValue(const Chip& chip, uint32_t n) { return chip.Cell(n); }
int MapValue(const sim::CycleRecordChip& chip, uint32_t n) { return chip.Fuse(n); }

class EditModePlacementTest : public PldRun {
  protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }

    template <class Chip, class Facts>
    void ExpectPlaces(const char* maker, const char* name, const std::vector<EmSpot>& spots,
                      const std::function<int(const Chip&, const EmSpot&)>& at) {
        for (const EmSpot& s : spots) {
            SCOPED_TRACE(std::string(name) + " fuse " + std::to_string(s.fuse) + " at " +
                         std::to_string(s.a) + "/" + std::to_string(s.b) + "/" + std::to_string(s.c));
            ASSERT_TRUE(SelectPld(maker, name));
            const Facts* f = sim::FindFacts<Facts>(maker, name);
            ASSERT_NE(f, nullptr);
            Chip* chip = SeatAlone<Chip>(*f);
            ASSERT_LT(s.fuse, DeviceSize);
            ASSERT_EQ(at(*chip, s), 1);
            std::vector<uint8_t> fuses(DeviceSize, 1);
            fuses[s.fuse] = 0;
            SetUserFuses(fuses);
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            EXPECT_EQ(at(*chip, s), 0);
            size_t changed = 0;
            for (uint32_t n = 0; n < DeviceSize; ++n)
                changed += chip->Cell(n) == 0 ? 1 : 0;
            EXPECT_EQ(changed, 1u);
            ExpectNoViolations();
        }
    }

    // Every entry of a table at once: in program t, fuse k of the table is 0
    // when bit t of k + 1 is set (every other fuse 1), so the programs spell
    // at each place the number of the entry that landed there.
    template <class Chip, class Facts>
    void ExpectTable(const char* maker, const char* name, const std::vector<EmSpot>& spots,
                     const std::function<int(const Chip&, const EmSpot&)>& at) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SelectPld(maker, name));
        const Facts* f = sim::FindFacts<Facts>(maker, name);
        ASSERT_NE(f, nullptr);
        std::vector<size_t> codes(spots.size(), 0);
        for (size_t t = 0; (spots.size() + 1) >> t != 0; ++t) {
            Chip* chip = SeatAlone<Chip>(*f);
            std::vector<uint8_t> fuses(DeviceSize, 1);
            size_t zeros = 0;
            for (size_t k = 0; k < spots.size(); ++k) {
                if (((k + 1) >> t & 1) == 0) continue;
                ASSERT_LT(spots[k].fuse, DeviceSize);
                fuses[spots[k].fuse] = 0;
                ++zeros;
            }
            SetUserFuses(fuses);
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            size_t programmed = 0;
            for (uint32_t n = 0; n < DeviceSize; ++n)
                programmed += MapValue(*chip, n) == 0 ? 1 : 0;
            EXPECT_EQ(programmed, zeros) << "program " << t;
            for (size_t k = 0; k < spots.size(); ++k) {
                const int v = at(*chip, spots[k]);
                ASSERT_GE(v, 0) << "no cell at " << spots[k].a << "/" << spots[k].b << "/" << spots[k].c;
                codes[k] |= static_cast<size_t>(v == 0 ? 1 : 0) << t;
            }
        }
        for (size_t k = 0; k < spots.size(); ++k) {
            const EmSpot& s = spots[k];
            const size_t got = codes[k];
            EXPECT_EQ(got, k + 1) << "fuse " << s.fuse << " at " << s.a << "/" << s.b << "/" << s.c
                                  << " shows fuse "
                                  << (got >= 1 && got <= spots.size()
                                          ? static_cast<int64_t>(spots[got - 1].fuse)
                                          : -1);
        }
        ExpectNoViolations();
    }
    // Every table of a list, fuse by fuse (ExpectPlaces) or at once (ExpectTable).
    template <class Chip, class Facts> void ExpectPlacesOf(const std::vector<placement::EmTable<Chip>>& tables) {
        for (const auto& table : tables) ExpectPlaces<Chip, Facts>(table.maker, table.name, table.spots, table.at);
    }
    template <class Chip, class Facts> void ExpectTablesOf(const std::vector<placement::EmTable<Chip>>& tables) {
        for (const auto& table : tables) ExpectTable<Chip, Facts>(table.maker, table.name, table.spots, table.at);
    }
    void ExpectEditTables(const std::vector<placement::EmTable<sim::EditModeChip>>& tables) {
        ExpectTablesOf<sim::EditModeChip, sim::EditModeFacts>(tables);
    }
    void ExpectEditPlaces(const std::vector<placement::EmTable<sim::EditModeChip>>& tables) {
        ExpectPlacesOf<sim::EditModeChip, sim::EditModeFacts>(tables);
    }
};

TEST_F(EditModePlacementTest, CommandBusRowsByAddressAndPosition) {
    ExpectEditPlaces(placement::CommandBusPlaces());
}

TEST_F(EditModePlacementTest, CommandBusFieldsWhole) {
    ExpectEditTables(placement::CommandBusFieldsWhole());
}

TEST_F(EditModePlacementTest, LatchedRowsPastTheArrayWhole) {
    ExpectEditTables(placement::LatchedRowsPastTheArrayWhole());
}

TEST_F(EditModePlacementTest, WideRowOrderAndBlocksWhole) {
    ExpectEditTables(placement::WideRowOrderAndBlocksWhole());
}

TEST_F(EditModePlacementTest, LatchedRowsByAddressAndPosition) {
    ExpectEditPlaces(placement::LatchedRowPlaces());
}

TEST_F(EditModePlacementTest, WideRowByLatchedAddressAndPosition) {
    ExpectEditPlaces(placement::WideRowPlaces());
}

TEST_F(EditModePlacementTest, Gal6001ByRowTermAndChainBit) {
    ExpectPlacesOf<sim::Gal6001Chip, sim::Gal6001Facts>(placement::Gal6001Places());
}

TEST_F(EditModePlacementTest, Gal6001ArchitectureChainWhole) {
    ExpectTablesOf<sim::Gal6001Chip, sim::Gal6001Facts>(placement::Gal6001ArchitectureChainWhole());
}

TEST_F(EditModePlacementTest, SerialCommandByRowShiftAndBit) {
    ExpectPlacesOf<sim::IspPldChip, sim::IspPldFacts>(placement::SerialCommandPlaces());
}

// Rows 224, 221, 222, 226, 227, 234, 231, 230 and 247: every fuse of each device's map
// at its row address and register position.
TEST_F(EditModePlacementTest, SerialAddressGalsWhole) {
    ExpectTablesOf<sim::GalChip, sim::GalPartFacts>(placement::SerialGalWhole());
}

// Rows 219, 220, 232, 233, 228, 243 and 229: every fuse of each device's
// map at its row address and register position, the architecture row in
// the order the part's signature or identification calls for.
TEST_F(EditModePlacementTest, RowSerialGalsWhole) {
    ExpectTablesOf<sim::GalChip, sim::GalPartFacts>(placement::RowSerialGalWhole());
}

// Rows 235 and 236: every fuse at its row address, byte index and bit.
TEST_F(EditModePlacementTest, ByteCycleRecordWhole) {
    ExpectTablesOf<sim::CycleRecordChip, sim::CycleRecordFacts>(placement::ByteCycleRecordWhole());
}

// Row 218: every fuse of the map at its row, program clock and block.
TEST_F(EditModePlacementTest, InstructionBlockCpldWhole) {
    sim::RegisterBlockCpldBusPersonality();
    ExpectTablesOf<sim::InstructionBlockChip, sim::InstructionBlockFacts>(placement::InstructionBlockWhole());
}

// Row 294: the array, row 44 and the architecture row 45.
TEST_F(EditModePlacementTest, JtagV10Whole) {
    ExpectTablesOf<sim::FuseArrayChip, sim::JtagCpldFacts>(placement::JtagV10Whole());
}

// Row 237: every fuse at its column, word group and word bit.
TEST_F(EditModePlacementTest, WordV10Whole) {
    ExpectTablesOf<sim::CycleRecordChip, sim::CycleRecordFacts>(placement::WordV10Whole());
}

} // namespace
