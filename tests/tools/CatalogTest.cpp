// The built device library against the simulator's catalog: every device of
// a row that has a module has a catalog part, and the part agrees with the
// device record on size, width and identity codes, so a family adds its
// device lines and its parts together and a wrong record names its device.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/ProgramState.h"
#include "engine/Tables.h"
#include "logic/InstallLogicRows.h"
#include "mcu/InstallMcuRows.h"
#include "memory/InstallMemoryRows.h"
#include "sim/Catalog.h"
#include "sim/EpmChainChip.h"
#include "sim/EpmJtagChip.h"
#include "sim/EpmRowChip.h"
#include "sim/EpromChip.h"
#include "sim/GalParts.h"
#include "sim/LogicIc.h"
#include "sim/PicChip.h"
#include "sim/RamParts.h"
#include "tools/PartAgreement.h"

namespace {

bool RowHasModule(uint32_t row) {
    const AlgorithmEntry& e = AlgorithmTable[row];
    return e.Read != AlgNoRead || e.Program != AlgNoOperation || e.Erase != AlgNoOperation ||
           e.Secure != AlgNoOperation;
}


bool IsTesterPart(const sim::CatalogPart& p) {
    return p.As<sim::LogicIcConfig>() != nullptr || p.As<sim::RamPartFacts>() != nullptr;
}

TEST(CatalogTest, EveryDeviceOfARowWithAModuleHasAnAgreeingPart) {
    ResetProgramState();
    InstallMemoryAlgorithms();
    InstallLogicAlgorithms();
    InstallMcuAlgorithms();
    ProgramDirectory = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    LibraryFileName = "krd.dat";
    const uint32_t sections[4] = {kLibraryEntryEprom, kLibraryEntryPld, kLibraryEntryMicro, kLibraryEntryProm};
    size_t checked = 0;
    std::set<std::string> used;
    for (uint32_t section = 0; section < 4; ++section) {
        std::vector<uint8_t> list(OpenLibraryEntry(sections[section]));
        for (uint32_t k = 0; k < list.size(); ++k) list[k] = ReadLibraryByte(k);
        DeviceRecord r{};
        for (size_t pos = 0, next = 0;
             pos < list.size() && ParseLibraryRecord(list.data(), list.size(), pos, section, r, next); pos = next) {
            DeviceSection = section;
            // A PLD record carries no identity codes (selection keeps the
            // previous device's): none is compared for it.
            ExpectedMakerId = 0;
            ExpectedDeviceId = 0;
            ASSERT_EQ(SetCurrentDevice(r), 1);
            if (!RowHasModule(CurrentAlgorithm)) continue;
            const std::string who = CurrentMakerName + " " + CurrentDeviceName;
            EXPECT_EQ(Disagreement(sim::FindPart(CurrentMakerName, CurrentDeviceName)), "") << who;
            used.insert(who);
            ++checked;
        }
    }
    EXPECT_GE(checked, 60u);
    // Each part stands for a device of the library, but for the testers'
    // parts (logic ICs and RAMs, named alone).
    for (const sim::CatalogPart& p : sim::Catalog()) {
        if (IsTesterPart(p)) continue;
        EXPECT_EQ(used.count(p.maker + " " + p.name), 1u) << p.name;
    }
    ResetProgramState();
}

// The compare itself: a record whose identity code is 0 disagrees with a part
// that has one; a part without a signature wants 0.
TEST(CatalogTest, ARecordWithoutItsPartsIdentityCodesDisagrees) {
    ResetDeviceState();
    const sim::CatalogPart* coded = nullptr;
    const sim::CatalogPart* uncoded = nullptr;
    for (const sim::CatalogPart& p : sim::Catalog()) {
        if (IsTesterPart(p) || p.As<sim::GalPartFacts>() != nullptr) continue;
        if (!coded && p.facts->makerCode > 0 && p.facts->deviceCode > 0) coded = &p;
        if (!uncoded && p.facts->makerCode < 0 && p.facts->deviceCode < 0) uncoded = &p;
    }
    ASSERT_NE(coded, nullptr);
    ASSERT_NE(uncoded, nullptr);
    auto as = [](const sim::CatalogPart& p, uint32_t maker, uint32_t device) {
        DeviceSection = SectionEprom;
        CurrentAlgorithm = 0;
        DeviceSize = p.facts->words;
        DataWidth = static_cast<uint8_t>(p.facts->width);
        ExpectedMakerId = maker;
        ExpectedDeviceId = device;
        return Disagreement(&p);
    };
    const auto maker = static_cast<uint32_t>(coded->facts->makerCode);
    const auto device = static_cast<uint32_t>(coded->facts->deviceCode);
    EXPECT_EQ(as(*coded, maker, device), "");
    EXPECT_NE(as(*coded, 0, device).find("maker code 0 in the library"), std::string::npos);
    EXPECT_NE(as(*coded, maker, 0).find("device code 0 in the library"), std::string::npos);
    EXPECT_EQ(as(*uncoded, 0, 0), "");
    EXPECT_NE(as(*uncoded, 0x1F, 0), "");
    ResetDeviceState();
}

// The catalog itself: one part per maker and name, every part builds its
// chip model blank and at its size (the testers' parts keep nothing), and a
// tester's part is found by its name alone.
TEST(CatalogTest, PartsAreUniqueAndBuildBlankChips) {
    std::set<std::string> keys;
    for (const sim::CatalogPart& p : sim::Catalog()) {
        EXPECT_TRUE(keys.insert(p.maker + "\t" + p.name).second) << p.name;
        EXPECT_EQ(sim::FindPart(p.maker, p.name), &p);
        const auto chip = sim::MakeChip(p);
        ASSERT_NE(chip, nullptr) << p.name;
        EXPECT_EQ(chip->Facts().name, p.name);
        if (IsTesterPart(p)) {
            EXPECT_EQ(chip->Words(), 0u) << p.name;
            continue;
        }
        // The EPM parts keep their whole cell array, past the user map
        // of their words.
        const sim::CellArrayChip* epm = sim::SeatedModel<sim::EpmRowChip>(chip.get());
        if (epm == nullptr) epm = sim::SeatedModel<sim::EpmChainChip>(chip.get());
        if (epm == nullptr) epm = sim::SeatedModel<sim::EpmJtagChip>(chip.get());
        if (epm != nullptr) {
            EXPECT_EQ(chip->Words(), epm->CellCount()) << p.name;
            EXPECT_GT(chip->Words(), p.facts->words) << p.name;
        } else {
            EXPECT_EQ(chip->Words(), p.facts->words) << p.name;
        }
        EXPECT_EQ(chip->Cell(0), p.facts->blank) << p.name;
        // A PIC's factory calibration word sits in its last program word.
        const auto* pic = p.As<sim::PicFacts>();
        const uint16_t last = pic != nullptr && pic->calibration != 0 && pic->userWords == 0
                                  ? static_cast<uint16_t>(pic->calibration)
                                  : p.facts->blank;
        EXPECT_EQ(chip->Cell(p.facts->words - 1), last) << p.name;
    }
    EXPECT_EQ(sim::FindPart("INTEL", "no such part"), nullptr);
    EXPECT_EQ(sim::FindPart("no such part"), nullptr);
    for (const char* name : {"SN74LS00", "61256", "GAL16V8"}) {
        const sim::CatalogPart* p = sim::FindPart(name);
        ASSERT_NE(p, nullptr) << name;
        EXPECT_EQ(p->name, name);
    }
    EXPECT_NE(sim::FindFacts<sim::LogicIcConfig>("SN74LS00"), nullptr);
    EXPECT_EQ(sim::FindFacts<sim::RamPartFacts>("SN74LS00"), nullptr); // of another family
    EXPECT_EQ(sim::FindFacts<sim::GalPartFacts>("LATTICE", "GAL16V8")->fuses, 2194u);
}

// Each part's chip model comes from the make function its family registered
// with it: it builds from facts a test changed, refuses facts of another
// family, and a part registered without one builds nothing and disagrees
// with every record rather than seating an empty socket silently.
TEST(CatalogTest, PartsBuildFromTheirOwnFamilysFacts) {
    const sim::CatalogPart* eprom = sim::FindPart("AMD", "Am27C256");
    const sim::CatalogPart* gal = sim::FindPart("LATTICE", "GAL16V8");
    ASSERT_NE(eprom, nullptr);
    ASSERT_NE(gal, nullptr);
    sim::EpromConfig smaller = *eprom->As<sim::EpromConfig>();
    smaller.words = 0x4000;
    const auto changed = sim::MakeChip(*eprom, smaller);
    ASSERT_NE(changed, nullptr);
    EXPECT_EQ(changed->Facts().words, 0x4000u);
    EXPECT_EQ(changed->Words(), 0x4000u);
    EXPECT_EQ(sim::MakeChip(*eprom, *gal->facts), nullptr);
    EXPECT_EQ(sim::MakeChip(*gal, *eprom->facts), nullptr);

    sim::CatalogPart bare = *eprom;
    bare.make = nullptr;
    EXPECT_EQ(sim::MakeChip(bare), nullptr);
    EXPECT_NE(Disagreement(&bare), "");
}

// The contents the rack keeps between runs go through each family's cells
// both ways: a word set is the word read, at the first and the last word,
// whether programmed away from blank or set back to it.
TEST(CatalogTest, KeptContentsRoundTrip) {
    for (const sim::CatalogPart& p : sim::Catalog()) {
        if (IsTesterPart(p)) continue;
        auto chip = sim::MakeChip(p);
        ASSERT_NE(chip, nullptr) << p.name;
        const uint16_t blank = p.facts->blank;
        const uint16_t v = blank == 1 ? 0 : static_cast<uint16_t>(blank ^ (p.facts->width > 8 ? 0x0102 : 0x01));
        for (const uint32_t a : {0u, static_cast<uint32_t>(chip->Words() - 1)}) {
            for (const uint16_t w : {v, blank}) {
                chip->SetCell(a, w);
                EXPECT_EQ(chip->Cell(a), w) << p.maker << " " << p.name << " word " << a;
            }
        }
    }
}

// A part of a row without a documented part (the library's GENERIC-ALGORITHM
// maker) is always marked as following the row, so the sweep never counts
// its pass as proof against a chip.
TEST(CatalogTest, PartsWithoutADatasheetFollowTheRow) {
    size_t marked = 0;
    for (const sim::CatalogPart& p : sim::Catalog()) {
        if (p.maker == "GENERIC-ALGORITHM") {
            EXPECT_TRUE(p.facts->followsRow) << p.name;
        }
        marked += p.facts->followsRow ? 1 : 0;
    }
    EXPECT_GT(marked, 0u);
    EXPECT_FALSE(sim::FindPart("AMD", "Am27C256")->facts->followsRow);
}

} // namespace
