// The librarian keeps records of the 10-bit-address nibble-handshake rows
// within 1 KB: a larger one would write over its first kilobyte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "engine/Library.h"
#include "tools/librarian/LibrarianCore.h"

namespace {

namespace nibfs = std::filesystem;

class NibbleLibrarianTest : public ::testing::Test {
protected:
    nibfs::path nibRoot;
    void SetUp() override {
        char tmpl[] = "/tmp/vexlor-nibble-librarianXXXXXX";
        nibRoot = mkdtemp(tmpl);
        for (const char* d : {"devices", "images", "blocks"}) nibfs::create_directories(nibRoot / d);
        std::ofstream(nibRoot / "images/i.txt") << "entry=245 personality=register-mcu-bus params=05\n";
    }
    void TearDown() override {
        ResetLibraryState();
        nibfs::remove_all(nibRoot);
    }
    // Builds the entries from one device line; the librarian's error.
    std::string BuildWith(const std::string& line) {
        std::ofstream(nibRoot / "devices/d.txt") << line << "\n";
        librarian::EntryMap entries;
        std::string error;
        if (librarian::BuildEntries(nibRoot.string(), entries, error)) return {};
        return error.empty() ? "refused" : error;
    }
};

TEST_F(NibbleLibrarianTest, RecordsPastOneKilobyteAreRefusedNamingTheLine) {
    for (const char* alg : {"171", "174"}) {
        const std::string base = std::string("maker=GENERIC-ALGORITHM name=N section=MICRO alg=") + alg +
                                 " image=245 ops=5Fh formats=1Fh package=26 width=8 vccp=5.0V vpp=12.5V pulse=100 ";
        EXPECT_EQ(BuildWith(base + "size=1K"), "") << alg;
        const std::string why = BuildWith(base + "size=2K");
        EXPECT_NE(why.find("devices/d.txt:1: "), std::string::npos) << why;
        EXPECT_NE(why.find("1024"), std::string::npos) << why;
    }
}

} // namespace
