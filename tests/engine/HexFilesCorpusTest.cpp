// Every file of the readers' seed corpus (tests/data/corpus/<reader>), fed to
// the parser the fuzz targets drive and to the loader, so a crash found once
// stays fixed: add the crashing input to the corpus.
#include <cstring>

#include "engine/JedecPof.h"
#include "tests/engine/HexFilesFixture.h"

class CorpusTest : public DataFileTest {
protected:
    std::vector<std::string> Files(const std::string& reader) const {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(SourceDir() + "/tests/data/corpus/" + reader))
            if (e.is_regular_file()) files.push_back(e.path().string());
        EXPECT_FALSE(files.empty()) << reader;
        return files;
    }
};

TEST_F(CorpusTest, HexReader) {
    for (const std::string& f : Files("hex")) {
        SCOPED_TRACE(f);
        std::vector<uint8_t> data = ReadBytes(f);
        HexLoadState state;
        ParseHexFamilyText(state, data.data(), data.size());
        EXPECT_LE(state.Image.EndAddress(), HexLoadAddressLimit + 256);
        const int r = LoadHexFamilyFile(f, 0, 0);
        EXPECT_TRUE(r == 1 || r == -1);
    }
}

TEST_F(CorpusTest, JedecReader) {
    const std::vector<std::string> files = Files("jedec");
    DeviceSection = SectionPld;
    DeviceSize = 2194;
    FuseRowLength = 44;
    PackageIndex = 4;
    for (uint32_t row : {0u, 262u, 266u}) {
        CurrentAlgorithm = row;
        for (const std::string& f : files) {
            SCOPED_TRACE(f);
            const std::string data = Read(f);
            std::vector<uint8_t> map(BufferWindowBytes);
            JedecLayout layout{2194, 20, 54096, 59000, TestVectorBufferBytes - 2};
            std::string vectors;
            uint32_t checksum = 0, blow = 0;
            ParseJedecText(data, layout, map.data(), map.size(), vectors, checksum);
            EXPECT_EQ(vectors.size() % 20, 0u);
            const int r = LoadJedecFile(f, checksum, blow);
            EXPECT_TRUE(r == 1 || r == -1);
        }
    }
}

TEST_F(CorpusTest, PofReader) {
    for (const std::string& f : Files("pof")) {
        SCOPED_TRACE(f);
        std::vector<uint8_t> data = ReadBytes(f);
        uint64_t end = 0;
        int parsed = ParsePof(data.data(), data.size(), 1 << 20, nullptr, end);
        EXPECT_LE(end, 1u << 20);
        EXPECT_EQ(LoadPofFile(f), parsed == PofOk ? 1 : -1);
    }
}
