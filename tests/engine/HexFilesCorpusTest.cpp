// Every file of the readers' seed corpus (tests/data/corpus/<reader>), fed to
// the reader check its fuzz target runs and, for the data files, to the
// loader, so a fault found once stays fixed: add the input to the corpus.
#include "tests/engine/HexFilesFixture.h"
#include "tools/fuzz/ReaderChecks.h"

class CorpusTest : public DataFileTest {
protected:
    void TearDown() override {
        ResetLibraryState();
        DataFileTest::TearDown();
    }
    // Runs the check on every corpus file of the reader, then `load` on its path.
    template <class Load = std::nullptr_t>
    void Replay(const std::string& reader, bool (*check)(const uint8_t*, size_t), Load load = nullptr) {
        int files = 0;
        for (const auto& e : std::filesystem::directory_iterator(SourceDir() + "/tests/data/corpus/" + reader)) {
            if (!e.is_regular_file()) continue;
            ++files;
            SCOPED_TRACE(e.path().string());
            const std::vector<uint8_t> data = ReadBytes(e.path().string());
            EXPECT_TRUE(check(data.data(), data.size()));
            if constexpr (!std::is_same_v<Load, std::nullptr_t>) load(e.path().string(), data);
        }
        EXPECT_GT(files, 0) << reader;
    }
};

TEST_F(CorpusTest, DataFileReaders) {
    Replay("hex", CheckHexReader, [](const std::string& f, const std::vector<uint8_t>&) {
        const int r = LoadHexFamilyFile(f, 0, 0);
        EXPECT_TRUE(r == 1 || r == -1);
    });
    DeviceSection = SectionPld;
    DeviceSize = 2194;
    FuseRowLength = 44;
    PackageIndex = 4;
    for (uint32_t row : {0u, 262u, 266u}) {
        CurrentAlgorithm = row;
        Replay("jedec", CheckJedecReader, [](const std::string& f, const std::vector<uint8_t>&) {
            uint32_t checksum = 0, blow = 0;
            MainLog().Clear();
            const int r = LoadJedecFile(f, checksum, blow);
            EXPECT_TRUE(r == 1 || r == -1);
            // Only the files cut short, with a bad fuse digit or an L field
            // without a fuse number say so.
            const std::string name = std::filesystem::path(f).filename().string();
            bool damaged = false;
            for (const std::string& line : MainLog().Lines())
                damaged |= line.find("cut short") != std::string::npos || line.find("neither 0 nor 1") != std::string::npos ||
                           line.find("no fuse number") != std::string::npos;
            EXPECT_EQ(damaged, name.rfind("cut", 0) == 0 || name.rfind("digit", 0) == 0 || name.rfind("number", 0) == 0);
        });
    }
    Replay("pof", CheckPofReader, [](const std::string& f, const std::vector<uint8_t>& data) {
        uint64_t end = 0;
        const int parsed = ParsePof(data.data(), data.size(), 1 << 20, nullptr, end, DeviceSize);
        EXPECT_EQ(LoadPofFile(f), parsed == PofOk ? 1 : -1);
    });
}

TEST_F(CorpusTest, SettingsAndLibraryReaders) {
    Replay("config", CheckConfigFileReader);
    Replay("project", CheckProjectFileReader);
    Replay("library", CheckLibraryReader);
}
