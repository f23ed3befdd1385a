// Interoperability with srec_cat and objcopy, both ways, on the same bytes:
// files they write load into the buffer exactly, and files we save convert
// back to exactly the buffer's bytes.
#include <cstdio>

#include "tests/engine/HexFilesFixture.h"

namespace {
struct Block { uint32_t address; std::vector<uint8_t> bytes; };
} // namespace

class HexInteropTest : public DataFileTest {
protected:
    static std::string Hex(uint32_t v) {
        char t[16];
        std::snprintf(t, sizeof t, "0x%X", v);
        return t;
    }
    // Loads a file a tool wrote and expects exactly the block's bytes, with
    // no record counted as bad and no warning of a cut (an Intel file has
    // its end record).
    void ExpectLoads(const std::string& file, const Block& block) {
        ResetBufferState();
        MainLog().Clear();
        ASSERT_EQ(LoadHexFamilyFile(file, 0, 0), 1);
        EXPECT_EQ(GetBytes(block.address, static_cast<uint32_t>(block.bytes.size())), block.bytes);
        EXPECT_EQ(GetBytes(block.address - 1, 1), std::vector<uint8_t>{0xFF});
        ExpectNoLogLine("Invalid");
        ExpectNoLogLine("cut short");
    }
};

TEST_F(HexInteropTest, FilesWrittenByTheToolsLoadExactly) {
    const bool srecCat = HaveTool("srec_cat"), objcopy = HaveTool("objcopy");
    if (!srecCat && !objcopy) GTEST_SKIP() << "neither srec_cat nor objcopy installed";
    const Block below64k{0x1F01, Pattern(0x2345, 1)};
    const Block across64k{0xFFF1, Pattern(0x2345, 2)};
    const Block across1m{0xFFFF7, Pattern(0x1234, 3)};
    struct Case { bool objcopy; const Block* block; std::string options; }; // the tool's output options
    const Case cases[] = {
        {false, &across64k, "-intel"},                                           // type 04
        {false, &across1m, "-intel -obs=32 -crlf"},                              // type 04, long records
        {false, &across64k, "-intel -address-length=3 -obs=7"},                  // type 02
        {false, &across64k, "-intel -execution-start-address=0x12345"},          // type 05
        {false, &across64k, "-intel -address-length=3 -execution-start-address=0x1000 -crlf"}, // 02, 03
        {false, &below64k, "-motorola -obs=19"},                                 // S0 S1 S5 S9
        {false, &across64k, "-motorola -address-length=3 -crlf"},                // S2 S8
        {false, &across1m, "-motorola -address-length=4 -obs=250"},              // S3 S7
        {false, &below64k, "-tektronix"},
        {false, &below64k, "-tektronix -crlf -obs=5"},
        {true, &across64k, "-O ihex"},                                           // type 02 below 1 MB
        {true, &across1m, "-O ihex --set-start=0x100000"},                       // 02 then 04, type 05
        {true, &across64k, "-O srec --srec-len=9"},
        {true, &across1m, "-O srec --srec-forceS3"},
    };
    int n = 0;
    for (const Case& c : cases) {
        if (!(c.objcopy ? objcopy : srecCat)) continue;
        SCOPED_TRACE(c.options);
        const std::string bin = Write("in.bin", c.block->bytes), out = Path("tool" + std::to_string(n++) + ".txt");
        const std::string at = Hex(c.block->address);
        ASSERT_EQ(Run(c.objcopy ? "objcopy -I binary --change-addresses " + at + " " + c.options + " " + bin + " " + out
                                : "srec_cat " + bin + " -binary -offset " + at + " -o " + out + " " + c.options), 0);
        ExpectLoads(out, *c.block);
    }
}

TEST_F(HexInteropTest, FilesWeSaveAreReadByTheTools) {
    const bool srecCat = HaveTool("srec_cat"), objcopy = HaveTool("objcopy");
    if (!srecCat && !objcopy) GTEST_SKIP() << "neither srec_cat nor objcopy installed";
    const Block blocks[] = {{0xFFF3, Pattern(0x2468, 6)}, {0xFFFF5, Pattern(0x20011, 7)}, {0x101, Pattern(0x3FF, 8)}};
    for (const Block& b : blocks) PutBytes(b.address, b.bytes);
    struct Case { const Block* block; int format; const char* srecName; const char* bfdName; };
    const Case cases[] = {
        {&blocks[0], HexFormatIntel, "-intel", "ihex"},
        {&blocks[1], HexFormatIntel, "-intel", "ihex"},
        {&blocks[0], HexFormatMotorola, "-motorola", "srec"},
        {&blocks[1], HexFormatMotorola, "-motorola", "srec"},
        {&blocks[2], HexFormatTektronix, "-tektronix", nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.srecName) + " at " + Hex(c.block->address));
        const uint32_t end = c.block->address + static_cast<uint32_t>(c.block->bytes.size()) - 1;
        std::string ours = Path("ours" + std::to_string(n++) + ".txt");
        ASSERT_EQ(SaveHexFamilyFile(ours, c.block->address, end, c.format), 1);
        const std::string expected(c.block->bytes.begin(), c.block->bytes.end());
        const std::string bin = Path("back.bin");
        if (srecCat) {
            ASSERT_EQ(Run("srec_cat " + ours + " " + c.srecName + " -offset -" + Hex(c.block->address) + " -o " + bin +
                          " -binary"), 0);
            EXPECT_EQ(Read(bin), expected);
        }
        if (objcopy && c.bfdName != nullptr) {
            ASSERT_EQ(Run(std::string("objcopy -I ") + c.bfdName + " -O binary " + ours + " " + bin), 0);
            EXPECT_EQ(Read(bin), expected);
        }
    }
}
