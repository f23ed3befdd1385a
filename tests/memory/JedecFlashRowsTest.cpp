// Every JEDEC flash and plain-write row through the operation driver on the
// part of its library record: blank check, program (verify at both levels),
// read back, data compare, a failing blank check, erase and blank check where
// offered, Read ID where the row has it.
#include <cstdio>

#include "FlashFixture.h"

namespace {

struct JedecRowCase {
    const char* label;
    const char* maker;
    const char* name;
    uint32_t words; // the first words only (0: all)
};

class FlashRows : public FlashRun, public ::testing::WithParamInterface<JedecRowCase> {
protected:
    sim::SeatedFlash part;

    uint32_t Cell(uint32_t a) const {
        if (part.sram != nullptr && part.dies.empty()) return part.sram->Cell(a);
        if (part.dies.size() == 3) return part.dies[a / 0x80000]->Cell(a % 0x80000);
        return part.Datum(a);
    }
};

TEST_P(FlashRows, BlankProgramReadCompareEraseAndReadId) {
    const JedecRowCase& c = GetParam();
    ASSERT_TRUE(Select(c.maker, c.name)) << c.name;
    Limit(c.words);
    part = SeatPart(c.maker, c.name);
    const bool flash = !part.dies.empty();
    // The battery-backed RAMs offer no blank check: a fresh part holds
    // whatever it holds.
    const bool blankCheck = (SupportedOperationMask & OpMaskBlankCheck) != 0;
    EXPECT_EQ(blankCheck, flash);
    if (!flash) part.sram->Fill(Wide() ? 0x5AA5 : 0x5A);
    if (blankCheck) {
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    }
    FillData(7);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!"});
    ExpectHolds([&](uint32_t a) { return Cell(a); });
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectHolds([&](uint32_t a) { return Cell(a); });
    // Data compare names the one changed datum.
    const uint32_t at = DeviceSize / 2 + 3, byte = Wide() ? 2 * at : at;
    const uint32_t chipDatum = BufferDatum(at);
    FillBufferRange(byte, byte, BufferByte(byte) ^ 0x01);
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    char diff[40];
    std::snprintf(diff, sizeof diff, Wide() ? "%08Xh:(%04X)-(%04X)" : "%08Xh:(%02X)-(%02X)", at, chipDatum ^ 1, chipDatum);
    EXPECT_NE(ReadText("COMPARE.TXT").find(diff), std::string::npos) << ReadText("COMPARE.TXT");
    if (blankCheck) {
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_TRUE(HasLine("Blank check error!")) << LogText();
        char chipAddr[48];
        std::snprintf(chipAddr, sizeof chipAddr, " Chip addr: %06Xh  data: %04Xh", 0u, Cell(0));
        EXPECT_TRUE(HasLine(chipAddr)) << LogText();
    }
    if (SupportedOperationMask & OpMaskErase) {
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        for (auto* d : part.dies) EXPECT_TRUE(d->IsBlank());
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    }
    if (AlgorithmRow(CurrentAlgorithm)->Identify != AlgNoOperation) {
        ReadId();
        char id[48];
        std::snprintf(id, sizeof id, "Chip Mfg Id:%04Xh, Dev Id:%04Xh", part.flash()->Config().makerId,
                      part.flash()->Config().deviceId);
        EXPECT_TRUE(HasLine(id)) << LogText();
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FlashRows,
    ::testing::Values(JedecRowCase{"Row50Bytes28", "DALLAS", "DS1230Y", 0x300}, JedecRowCase{"Row50Bytes32", "DALLAS", "DS1245Y", 0x300},
                      JedecRowCase{"Row51Words", "DALLAS", "DS1258Y", 0x300}, JedecRowCase{"Row6", "AMD", "Am29F010", 0x300},
                      JedecRowCase{"Row6TopBoot", "AMD", "Am29F002T", 0x300}, JedecRowCase{"Row6BottomBoot", "AMD", "Am29F002B", 0x300},
                      JedecRowCase{"Row6DieCode", "AMD", "Am29F040", 0x300}, JedecRowCase{"Row56Dq7", "SST", "SST39SF010A", 0x300},
                      JedecRowCase{"Row56Toggle", "SST", "SST39SF020A", 0x300}, JedecRowCase{"Row56", "SST", "SST39SF040", 0x300},
                      JedecRowCase{"Row58", "SST", "SST32HF802", 0x300}, JedecRowCase{"Row58Large", "SST", "SST32HF164", 0x300},
                      JedecRowCase{"Row78", "SST", "SST39VF800A", 0x300}, JedecRowCase{"Row78Large", "SST", "SST39VF160", 0x300},
                      JedecRowCase{"Row87", "SST", "3xSST39VF800A", 0x300}, JedecRowCase{"Row93", "AMD", "Am29F016B", 0x300},
                      JedecRowCase{"Row93Bypass", "AMD", "Am29F032B", 0x300}, JedecRowCase{"Row72Bypass", "AMD", "Am29LV040B", 0x300},
                      JedecRowCase{"Row72", "ST", "M29F040B", 0x300}, JedecRowCase{"Row46", "AMD", "Am29LV160DB", 0x300},
                      JedecRowCase{"Row46Top", "AMD", "Am29LV160DT", 0x300}, JedecRowCase{"Row46Small", "AMD", "Am29LV800BB", 0x300},
                      JedecRowCase{"Row46Fujitsu", "FUJITSU", "MBM29LV160BE", 0x300},
                      JedecRowCase{"Row46So44Adapter", "AMD", "Am29LV800BB@SO44", 0x300},
                      JedecRowCase{"Row46FbgaAdapter", "AMD", "Am29LV160DB@FBGA48", 0x300},
                      JedecRowCase{"Row40Lockout", "ATMEL", "AT49F002", 0x300}, JedecRowCase{"Row40LockoutTop", "ATMEL", "AT49F002T", 0x300},
                      JedecRowCase{"Row40Pmc", "PMC", "Pm29F002T", 0x300}, JedecRowCase{"Row40Blocks", "SST", "SST29SF040", 0x300},
                      JedecRowCase{"Row40SevenReads", "SST", "SST28SF040A", 0x300}, JedecRowCase{"Row41", "ATMEL", "AT49F1024", 0x300},
                      JedecRowCase{"Row52", "MACRONIX", "MX29LV160BB", 0x300}, JedecRowCase{"Row55", "ATMEL", "AT49BV1614A", 0x300},
                      JedecRowCase{"Row20ByteMode", "AMD", "Am29F400BB", 0x300}, JedecRowCase{"Row20Top", "AMD", "Am29F400BT", 0x300},
                      JedecRowCase{"Row22Bypass", "AMD", "Am29LV400BB", 0x300}, JedecRowCase{"Row27", "AMD", "Am29F040B", 0x300},
                      JedecRowCase{"Row27Small", "AMD", "Am29F010B", 0x300}, JedecRowCase{"Row29", "AMD", "Am29LV033C", 0x300},
                      JedecRowCase{"Row20Small", "AMD", "Am29F200BB", 0x300}, JedecRowCase{"Row20SmallTop", "AMD", "Am29F200BT", 0x300},
                      JedecRowCase{"Row20Large", "AMD", "Am29F800BB", 0x300}, JedecRowCase{"Row20LargeTop", "AMD", "Am29F800BT", 0x300},
                      JedecRowCase{"Row22Large", "AMD", "Am29LV800BB-BYTE", 0x300},
                      JedecRowCase{"Row22LargeTop", "AMD", "Am29LV800BT", 0x300}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
