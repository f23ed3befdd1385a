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
    return p.kind == sim::ChipKind::LogicIc || p.kind == sim::ChipKind::Ram;
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
        EXPECT_EQ(chip->Words(), p.facts->words) << p.name;
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

} // namespace
