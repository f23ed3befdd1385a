// The algorithm table is filled from the families that register their row
// tables in their own files. The algorithm folders are linked whole; were a
// registration dropped by the linker, or a table left unregistered, its rows
// would be missing here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>

#include "engine/AlgorithmTable.h"
#include "engine/RowDef.h"
#include "logic/InstallLogicRows.h"
#include "mcu/InstallMcuRows.h"
#include "memory/InstallMemoryRows.h"
#include "memory/MuxEeprom.h"
#include "memory/PageFlash.h"

namespace {

const std::pair<const char*, RowGroup> kFolders[] = {
    {"memory", RowGroup::Memory}, {"logic", RowGroup::Logic}, {"mcu", RowGroup::Mcu}};

TEST(RowFamilies, EveryTableOfTheSourcesIsRegisteredOnceInItsFolderGroupAtARankOfItsOwn) {
    const char* src = std::getenv("VEXLOR_SOURCE_DIR");
    const std::filesystem::path root(src ? src : ".");
    const std::regex table(R"(^constexpr RowDef kAlgorithmRows\[\])");
    // A family registers its table, or none (only a reset of its own).
    const std::regex registers(R"re(^ROW_FAMILY\("(\w+)", (\w+), (\d+), (kAlgorithmRows|\{\}))re");
    size_t tables = 0;
    for (const auto& [folder, group] : kFolders) {
        ASSERT_TRUE(std::filesystem::is_directory(root / folder)) << "VEXLOR_SOURCE_DIR names no source tree";
        std::set<std::string> inSources;
        for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
            if (entry.path().extension() != ".cpp") continue;
            std::ifstream in(entry.path());
            std::string line;
            std::smatch m;
            int defined = 0, registered = 0;
            while (std::getline(in, line)) {
                defined += std::regex_search(line, table);
                if (std::regex_search(line, m, registers)) {
                    registered += m[4] == "kAlgorithmRows";
                    EXPECT_EQ(m[2].str(), folder == std::string("memory") ? "Memory"
                                          : folder == std::string("logic") ? "Logic"
                                                                           : "Mcu")
                        << entry.path();
                    EXPECT_TRUE(inSources.insert(m[1]).second) << m[1] << " registered twice";
                }
            }
            tables += defined;
            EXPECT_EQ(defined, registered) << entry.path() << ": a table without its registration";
        }
        std::set<std::string> linked;
        std::set<int> ranks;
        for (const RowFamily& f : RowFamilies(group)) {
            EXPECT_TRUE(linked.insert(f.Name).second) << f.Name;
            EXPECT_TRUE(ranks.insert(f.Rank).second) << f.Name << " shares rank " << f.Rank;
        }
        EXPECT_EQ(linked, inSources) << folder;
    }
    EXPECT_GT(tables, 90u);
}

TEST(RowFamilies, InstallingEveryGroupAgainGivesTheSameDeclarationsAndRerunsTheFamiliesResets) {
    ResetAlgorithmTable();
    size_t rows = 0;
    for (const auto& [folder, group] : kFolders) rows += InstallRowFamilies(group);
    EXPECT_EQ(RowInstallConflicts(), 0u);
    std::map<uint32_t, const RowDef*> first;
    for (uint32_t row = 0; row < AlgorithmRowCount; ++row)
        if (const RowDef* d = RowDefinition(row)) first[row] = d;
    EXPECT_EQ(first.size(), rows);

    // A choice the user made in one run is gone after the next install.
    DataProtectMode = 0;
    BlockProtectFlags[0] = 0xFF;
    ResetAlgorithmTable();
    InstallMemoryAlgorithms();
    InstallLogicAlgorithms();
    InstallMcuAlgorithms();
    EXPECT_EQ(DataProtectMode, 1u);
    EXPECT_EQ(BlockProtectFlags[0], 0u);
    EXPECT_EQ(RowInstallConflicts(), 0u);
    for (uint32_t row = 0; row < AlgorithmRowCount; ++row) {
        const auto it = first.find(row);
        EXPECT_EQ(RowDefinition(row), it == first.end() ? nullptr : it->second) << "row " << row;
    }
    ResetAlgorithmTable();
}

} // namespace
