#include "BufferFixture.h"

class BufferBankTest : public BufferFixture {
protected:
    // A file operation that fails with one message box.
    void ExpectRefused(int result, const std::string& box) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{box});
        ui.Clear();
    }
};

TEST_F(BufferBankTest, GrowthFillsNewBanksAndRefusalLeavesStateAlone) {
    FillByte = 0x5A;
    ASSERT_EQ(SelectBank(0x25000, 1), 1);
    EXPECT_EQ(BankCount, 3u);
    EXPECT_EQ(CurrentBank, 2u);
    for (uint32_t a : {0x10000u, 0x1FFFFu, 0x20000u, 0x2FFFFu}) EXPECT_EQ(ReadBufferByteCached(a), 0x5A) << a;
    // Bank 0 keeps the fill of start-up.
    EXPECT_EQ(ReadBufferByteCached(0), 0xFF);

    // Growth is only asked with grow 1; an existing bank is simply selected.
    EXPECT_EQ(SelectBank(0x10000, 1), 1);
    EXPECT_EQ(BankCount, 3u);
    EXPECT_EQ(SelectBank(0x30000, 0), 0);
    EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{"Can not swap"});
    EXPECT_EQ(CurrentBank, 1u);
    EXPECT_EQ(BankCount, 3u);

    // A later fill value applies to later banks only.
    FillByte = 0x00;
    ASSERT_EQ(SelectBank(0x30000, 1), 1);
    EXPECT_EQ(ReadBufferByteCached(0x30000), 0x00);
    EXPECT_EQ(ReadBufferByteCached(0x2FFFF), 0x5A);
}

TEST_F(BufferBankTest, WindowTailIsTheNextBanksHead) {
    ASSERT_EQ(SelectBank(0x10000, 1), 1);
    BufferWindow[0] = 0x12;
    BufferWindow[0xFF] = 0x34;
    ASSERT_EQ(SelectBank(0, 0), 1);
    EXPECT_EQ(BufferWindow[0x10000], 0x12);
    EXPECT_EQ(BufferWindow[0x100FF], 0x34);

    // Writing into the tail writes the next bank.
    BufferWindow[0x10001] = 0x56;
    ASSERT_EQ(SelectBank(0x10000, 0), 1);
    EXPECT_EQ(BufferWindow[1], 0x56);

    // A 16-bit word read at the bank edge sees the next bank's first byte.
    ASSERT_EQ(SelectBank(0, 0), 1);
    BufferWindow[0xFFFF] = 0xCD;
    EXPECT_EQ(BufferWords[0x7FFF] >> 8, 0xCD);
    const uint16_t edge = static_cast<uint16_t>(BufferWindow[0xFFFF] | BufferWindow[0x10000] << 8);
    EXPECT_EQ(edge, 0x12CD);

    // The tail past the last bank reads the fill value, and a new bank
    // overwrites whatever was written there.
    ASSERT_EQ(SelectBank(0x10000, 0), 1);
    EXPECT_EQ(BufferWindow[0x10000], 0xFF);
    BufferWindow[0x10000] = 0x77;
    ASSERT_EQ(SelectBank(0x20000, 1), 1);
    EXPECT_EQ(BufferWindow[0], 0xFF);
}

TEST_F(BufferBankTest, ImageLimitReportsAndBufferStaysUsable) {
    BufferReserveBanks = 3;
    InitBuffers();
    ASSERT_EQ(SelectBank(0x2FFFF, 1), 1);
    EXPECT_EQ(SelectBank(0x30000, 1), 0);
    EXPECT_TRUE(LogHas("Cannot create swap area."));
    EXPECT_EQ(BankCount, 3u);
    EXPECT_EQ(CurrentBank, 2u);
    BufferWindow[5] = 0xA5;
    EXPECT_EQ(Peek(0x20005), 0xA5);

    // The last bank has no next one: a datum at the buffer's last byte
    // closed the run's data (the driver refuses a range past it), so the
    // advance after it keeps the bank and reports nothing.
    MainLog().Clear();
    CurrentBank = 2;
    BufferIndex = 0x10000;
    EXPECT_EQ(AdvanceToNextBank(), 1);
    EXPECT_EQ(CurrentBank, 2u);
    EXPECT_EQ(BufferIndex, 0x10000u);
    EXPECT_FALSE(LogHas("Cannot create swap area."));
    CurrentBank = 1;
    BufferIndex = 0x10002;
    EXPECT_EQ(AdvanceToNextBank(), 1);
    EXPECT_EQ(CurrentBank, 2u);
    EXPECT_EQ(BufferIndex, 2u);

    // No image at all: bank 0 alone still works.
    MainLog().Clear();
    BufferReserveBanks = 0;
    InitBuffers();
    EXPECT_TRUE(LogHas("Cannot create swap area."));
    ASSERT_NE(BufferWindow, nullptr);
    EXPECT_EQ(BufferWindow[0x100FF], 0xFF);
    BufferWindow[0xFFFF] = 1;
    EXPECT_EQ(SelectBank(0x10000, 1), 0);
    EXPECT_EQ(SelectBank(0, 1), 1);
    EXPECT_EQ(BankCount, 1u);
}

TEST_F(BufferBankTest, FuseBitViewOfTheWindow) {
    std::fill(BufferWindow, BufferWindow + BufferWindowBytes, 0);
    SetBufferBit(10, 1);
    EXPECT_EQ(BufferWindow[1], 0x04);
    EXPECT_EQ(GetBufferBit(10), 1u);
    EXPECT_EQ(GetBufferBitShifted(10, 3), 8u);
    SetBufferBit(10, 2); // only bit 0 of the value counts
    EXPECT_EQ(BufferWindow[1], 0x00);
    // The last bit of the tail is in range, one past it is ignored.
    const uint32_t lastBit = BufferWindowBytes * 8 - 1;
    SetBufferBit(lastBit, 1);
    EXPECT_EQ(BufferWindow[BufferWindowBytes - 1], 0x80);
    SetBufferBit(lastBit + 1, 1);
    EXPECT_EQ(GetBufferBit(lastBit + 1), 0u);
}

TEST_F(BufferBankTest, BinaryLoadAcrossBanksAndItsFailures) {
    std::vector<uint8_t> data(40);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
    ASSERT_EQ(LoadFileAt(Write("load.bin", data), 8, 0xFFF0), 1);
    EXPECT_EQ(CurrentBank, 0u);
    EXPECT_EQ(BankCount, 2u);
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(ReadBufferByteCached(0xFFF0 + i), data[8 + i]) << i;
    EXPECT_EQ(ReadBufferByteCached(0xFFEF), 0xFF);
    EXPECT_EQ(ReadBufferByteCached(0x10010), 0xFF);
    // Offset past the end of a 100-byte file; a missing file.
    ui.Clear();
    ExpectRefused(LoadFileAt(Write("small.bin", std::vector<uint8_t>(100, 0xEE)), 200, 0),
                  "Offset is begger then file size!");
    DataFileName = "missing.bin";
    ExpectRefused(LoadFileAt(Path("missing.bin"), 0, 0), "Can't open file!");
    EXPECT_EQ(DataFileName, "");

    // A file larger than the image: refused, buffer unchanged.
    BufferReserveBanks = 2;
    InitBuffers();
    Poke(0x100, 0x42);
    ExpectRefused(LoadFileAt(Write("big.bin", std::vector<uint8_t>(3 * 0x10000, 0x11)), 0, 0), "File is too large.");
    EXPECT_EQ(ReadBufferByteCached(0x100), 0x42);
    EXPECT_EQ(BankCount, 1u);
}

TEST_F(BufferBankTest, BinarySaveWritesExactlyTheRange) {
    for (uint32_t a = 0xFFF0; a <= 0x1000F; ++a) Poke(a, static_cast<uint8_t>(a));
    const std::string path = Path("save.bin");
    ASSERT_EQ(SaveRangeAs(path, 0xFFF0, 0x1000F), 1);
    std::vector<uint8_t> saved = ReadBytes(path), want(32);
    for (uint32_t i = 0; i < 32; ++i) want[i] = static_cast<uint8_t>(0xFFF0 + i);
    EXPECT_EQ(saved, want);

    // A range inside a bank other than bank 0.
    for (uint32_t a = 0x20010; a <= 0x2001F; ++a) Poke(a, static_cast<uint8_t>(a * 3));
    SelectBank(0, 0);
    ASSERT_EQ(SaveBufferRangeToFile(0x20010, 0x2001F, path), 1);
    saved = ReadBytes(path);
    ASSERT_EQ(saved.size(), 16u);
    EXPECT_EQ(saved[0], static_cast<uint8_t>(0x20010 * 3));
    EXPECT_EQ(saved[15], static_cast<uint8_t>(0x2001F * 3));
    EXPECT_EQ(CurrentBank, 0u);

    // Saving past the last bank grows the buffer with the fill value.
    ASSERT_EQ(SaveRangeAs(path, 0x3FFFE, 0x40001), 1);
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(BankCount, 5u);

    // A range past what the image holds is refused before the file is
    // touched: an existing file keeps its contents.
    BufferReserveBanks = 2;
    InitBuffers();
    Write("save.bin", std::vector<uint8_t>{1, 2, 3});
    EXPECT_EQ(SaveRangeAs(path, 0, 0x20000), -1);
    EXPECT_TRUE(LogHas("Cannot create swap area."));
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));

    ui.Clear();
    ExpectRefused(SaveRangeAs(Path("no/such/dir.bin"), 0, 0x1FFFF), "Can't open file!");
    EXPECT_EQ(BankCount, 1u); // a failed open leaves the buffer as it was
}

TEST_F(BufferBankTest, PatternSearchAcrossBanks) {
    for (auto [a, v] : {std::pair{0x1FFFFu, 0x55}, {0x20000u, 0xAA}, {0x2FFFFu, 0x00}, {0x100u, 0x12}, {0x101u, 0x12},
                        {0x102u, 0x34}})
        Poke(a, static_cast<uint8_t>(v));
    struct Case { uint32_t start; int backward; const char* text; int64_t found; };
    for (const Case& c : {
             Case{0, 0, "55AA", 0x1FFFF}, {0x1FFFF, 0, "55aa", 0x1FFFF}, {0x20000, 0, "55AA", -1},
             // Backward: the match must end at or below the start address.
             {0x2FFFF, 1, "55AA", 0x1FFFF}, {0x20000, 1, "55AA", 0x1FFFF}, {0x1FFFF, 1, "55AA", -1},
             {0xFFFFFFFF, 1, "55AA", 0x1FFFF}, // a start beyond the buffer is clamped to its last byte
             // An occurrence overlapping a partial match is still found.
             {0, 0, "1234", 0x101}, {0x2FFFF, 1, "1212", 0x100},
             {0, 0, "", -1}, {0, 0, "5", -1}, {0, 0, "5G", -1}})
        EXPECT_EQ(FindPattern(c.start, c.backward, c.text), c.found) << c.start << " " << c.text;
    // The bank current before the search stays current.
    SelectBank(0x10000, 0);
    FindPattern(0, 0, "55AA");
    EXPECT_EQ(CurrentBank, 1u);
}

TEST_F(BufferBankTest, InitPreparesTheOtherBuffers) {
    EncryptionTable[3] = 0;
    InitBuffers();
    EXPECT_EQ(EncryptionTable[3], 0xFF);
    EXPECT_EQ(TestVectorBuffer[TestVectorBufferBytes - 1], 0);
    EXPECT_EQ(TestBuffer[0], 0);
    FreeBuffers();
    EXPECT_EQ(BufferWindow, nullptr);
    EXPECT_EQ(TestBuffer, nullptr);
    InitBuffers();
}
