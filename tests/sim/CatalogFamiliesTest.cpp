// The catalog is built from the families that register themselves in their
// parts files. The simulator library is linked whole; were a registration
// dropped by the linker, its family's parts would be missing here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/Catalog.h"

namespace {

// The families the files in sim/ define (their Add...Parts functions), the
// ones they register, and the ones another family's function adds.
struct SourceFamilies {
    std::set<std::string> defined, registered, called;
};
SourceFamilies FamiliesInSources() {
    const char* src = std::getenv("VEXLOR_SOURCE_DIR");
    const std::filesystem::path dir = std::filesystem::path(src ? src : ".") / "sim";
    SourceFamilies out;
    if (!std::filesystem::is_directory(dir)) return out;
    const std::regex defines(R"(^void (Add\w+Parts)\(std::vector<CatalogPart>& \w+\) \{)");
    const std::regex registers(R"(^SIM_CATALOG_FAMILY\((\w+)\);)");
    const std::regex calls(R"(^\s+(Add\w+Parts)\(\w+\);)");
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".cpp") continue;
        std::ifstream in(entry.path());
        std::string line;
        std::smatch m;
        while (std::getline(in, line)) {
            if (std::regex_search(line, m, defines)) out.defined.insert(m[1]);
            if (std::regex_search(line, m, registers)) out.registered.insert(m[1]);
            if (std::regex_search(line, m, calls)) out.called.insert(m[1]);
        }
    }
    return out;
}

TEST(CatalogFamilies, EveryFamilyOfTheSourcesRegistersOnceAndIsLinked) {
    const SourceFamilies sources = FamiliesInSources();
    ASSERT_GT(sources.defined.size(), 50u) << "VEXLOR_SOURCE_DIR names no source tree";
    // A family that defines its parts registers them, unless another
    // family's function adds them.
    for (const std::string& f : sources.defined)
        EXPECT_TRUE(sources.registered.count(f) + sources.called.count(f) == 1) << f;
    std::vector<std::string> registered;
    for (const sim::CatalogFamily& f : sim::CatalogFamilies()) registered.push_back(f.name);
    for (const std::string& f : sources.registered)
        EXPECT_EQ(std::count(registered.begin(), registered.end(), f), 1) << f;
    EXPECT_TRUE(std::is_sorted(registered.begin(), registered.end()));
}

TEST(CatalogFamilies, EveryFamilyAddsItsPartsAndTheCatalogHoldsThemAll) {
    // Each family on its own adds parts, and together they are the catalog,
    // part for part in the same order.
    std::vector<sim::CatalogPart> parts;
    for (const sim::CatalogFamily& f : sim::CatalogFamilies()) {
        const size_t before = parts.size();
        f.add(parts);
        EXPECT_GT(parts.size(), before) << f.name;
    }
    const std::vector<sim::CatalogPart>& catalog = sim::Catalog();
    ASSERT_EQ(parts.size(), catalog.size());
    std::set<std::string> makersAndNames;
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(parts[i].maker + " " + parts[i].name, catalog[i].maker + " " + catalog[i].name);
        EXPECT_TRUE(makersAndNames.insert(catalog[i].maker + "\t" + catalog[i].name).second) << catalog[i].name;
        EXPECT_NE(catalog[i].make, nullptr) << catalog[i].name;
    }
}

} // namespace
