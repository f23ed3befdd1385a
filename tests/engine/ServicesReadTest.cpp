#include "BufferFixture.h"

namespace {
int compareCalls = 0;
int CountCompare() {
    ++compareCalls;
    return 1;
}
} // namespace

class ServicesReadTest : public BufferFixture {
protected:
    // One datum through ProcessReadByte (or Word) from buffer index `from`:
    // the result and where the index is left.
    static void ExpectStep(bool word, int mode, uint32_t from, uint32_t value, int result, uint32_t to) {
        BufferIndex = from;
        ReadValue = value;
        EXPECT_EQ(word ? ProcessReadWord(mode) : ProcessReadByte(mode), result) << "mode " << mode;
        EXPECT_EQ(BufferIndex, to) << "mode " << mode;
    }
};

TEST_F(ServicesReadTest, ByteModes) {
    BufferWindow[0x10] = 0x3C;
    BufferWindow[0x12] = 0x3C;
    AddressStep = 2; // split mode: one byte of two
    // Blank check moves one per address whatever the step.
    ExpectStep(false, 0, 0x10, 0xFF, 1, 0x11);
    ExpectStep(false, 0, 0x11, 0xFE, -1, 0x11);
    // Verify (1 and 3): equal moves by the step, a difference stays put.
    for (int mode : {1, 3}) {
        ExpectStep(false, mode, 0x10, 0x3C, 1, 0x12);
        ExpectStep(false, mode, 0x12, 0x3D, -1, 0x12);
        EXPECT_EQ(ExpectedValue, 0x3Cu);
    }
    // Read stores and moves by the step.
    ExpectStep(false, 2, 0x20, 0x9A, 1, 0x22);
    EXPECT_EQ(BufferWindow[0x20], 0x9A);
    // Compare hands every datum to the compare report.
    WriteCompareLineSlot = CountCompare;
    compareCalls = 0;
    ExpectStep(false, 4, 0x22, 0, 1, 0x24);
    EXPECT_EQ(compareCalls, 1);
    // Check after securing; other modes do nothing; the PLD blank value.
    SecureCheckValue = 0x00;
    ExpectStep(false, 6, 0x24, 0x00, 1, 0x25);
    ExpectStep(false, 6, 0x25, 0x01, -1, 0x25);
    ExpectStep(false, 5, 0x25, 0x01, 1, 0x25);
    BlankValue = 1;
    ExpectStep(false, 0, 0x25, 1, 1, 0x26);
    // A read past the window and its tail does not write outside it.
    BufferIndex = BufferWindowBytes;
    ReadValue = 0x11;
    EXPECT_EQ(ProcessReadByte(2), -1);
}

TEST_F(ServicesReadTest, WordModesWithByteSwap) {
    AddressStep = 1;
    ExpectStep(true, 2, 4, 0x1234, 1, 5);
    EXPECT_EQ(BufferWords[4], 0x1234);
    EXPECT_EQ(BufferWindow[8], 0x34); // little-endian word view
    ByteSwap = 1;
    ExpectStep(true, 2, 4, 0x1234, 1, 5);
    EXPECT_EQ(BufferWords[4], 0x3412);
    // Buffer word 3412h verifies against chip word 1234h.
    ExpectStep(true, 3, 4, 0x1234, 1, 5);
    ExpectStep(true, 3, 4, 0x3412, -1, 4);
    EXPECT_EQ(ExpectedValue, 0x1234u);
    // Blank word and a failing blank datum.
    ExpectStep(true, 0, 10, 0xFFFF, 1, 11);
    ExpectStep(true, 0, 11, 0xFF7F, -1, 11);
    // Split 16-bit mode: the step is 2 words.
    ByteSwap = 0;
    AddressStep = 2;
    BufferWords[0] = 0xBEEF;
    ExpectStep(true, 1, 0, 0xBEEF, 1, 2);
    WriteCompareLineSlot = CountCompare;
    compareCalls = 0;
    ExpectStep(true, 4, 2, 0xBEEF, 1, 4);
    EXPECT_EQ(compareCalls, 1);
    ExpectStep(true, 5, 4, 0xBEEF, 1, 4);
}

TEST_F(ServicesReadTest, WordReadAcrossTheBankEdge) {
    // A 16-bit device: 32768 words a bank, advance when the index passes 7FFFh.
    BankSize = 32768;
    AddressStep = 1;
    BufferIndex = 0x7FFE;
    for (uint32_t w : {0xA001u, 0xA002u, 0xA003u, 0xA004u}) {
        ReadValue = w;
        ASSERT_EQ(ProcessReadWord(2), 1);
        if (BufferIndex > 0x7FFF) {
            ASSERT_EQ(AdvanceToNextBank(), 1);
        }
    }
    EXPECT_EQ(CurrentBank, 1u);
    EXPECT_EQ(BankAdvances, 1u);
    EXPECT_EQ(BufferIndex, 2u);
    EXPECT_EQ(BankCount, 2u);
    EXPECT_EQ(BufferWords[0], 0xA003);
    EXPECT_EQ(BufferWords[1], 0xA004);
    ASSERT_EQ(SelectBank(0, 0), 1);
    EXPECT_EQ(BufferWords[0x7FFF], 0xA002);
    // The tail of bank 0 shows the words of bank 1.
    EXPECT_EQ(BufferWords[0x8000], 0xA003);

    EXPECT_EQ(AdvanceToNextBankIf(0), 1);
    EXPECT_EQ(CurrentBank, 0u);
}

// A run goes on in the next bank when a datum steps past the bank's last
// position, whether or not the row looks itself; the data a row takes by
// position reach through the whole image; a blank check moves no bank.
TEST_F(ServicesReadTest, ARunGoesOnAcrossBanks) {
    BankSize = 65536;
    AddressStep = 1;
    ASSERT_EQ(SelectBank(0x10000, 1), 1);
    BufferWindow[0] = 0x77;
    BufferWindow[1] = 0x12;
    ASSERT_EQ(SelectBank(0, 0), 1);
    BufferWindow[0xFFFF] = 0x66;
    EXPECT_EQ(RunBufferByte(0x10000), 0x77);
    EXPECT_EQ(RunBufferWord(0x8000), 0x1277u);
    EXPECT_EQ(RunBufferByte(0x20000), FillByte); // past the image
    ExpectStep(false, 0, 0xFFFF, 0xFF, 1, 0x10000);
    EXPECT_EQ(CurrentBank, 0u);
    ExpectStep(false, 1, 0xFFFF, 0x66, 1, 0);
    EXPECT_EQ(CurrentBank, 1u);
    EXPECT_EQ(BankAdvances, 1u);
    ExpectStep(false, 3, 0, 0x77, 1, 1);
    // A read stores into the next bank the same way.
    ASSERT_EQ(SelectBank(0, 0), 1);
    BankAdvances = 0;
    ExpectStep(false, 2, 0xFFFF, 0x21, 1, 0);
    ExpectStep(false, 2, 0, 0x22, 1, 1);
    EXPECT_EQ(ReadBufferByteCached(0xFFFF), 0x21);
    EXPECT_EQ(ReadBufferByteCached(0x10000), 0x22);
    // 16-bit: 32768 words a bank.
    ASSERT_EQ(SelectBank(0, 0), 1);
    BankSize = 32768;
    BufferWords[0x7FFF] = 0xBEEF;
    ExpectStep(true, 1, 0x7FFF, 0xBEEF, 1, 0);
    EXPECT_EQ(CurrentBank, 1u);
}

TEST_F(ServicesReadTest, ChecksumAcrossBanksAndRowExtras) {
    DeviceSection = SectionEprom;
    DeviceSize = 0x20000;
    for (uint32_t a = 0xFFF0; a <= 0x1000F; ++a) Poke(a, 0x01);
    SelectBank(0x10000, 0);
    // 16 bytes of 1 on each side of the edge, the rest FFh.
    EXPECT_EQ(ComputeBufferChecksum(0xFFF0, 0x1000F), 32u);
    EXPECT_EQ(BufferChecksum, 32u);
    EXPECT_EQ(CurrentBank, 1u);
    EXPECT_EQ(ComputeBufferChecksum(0, 0x1FFFF), 32u + (0x20000u - 32u) * 0xFF);

    // The bank of the end is created when missing.
    EXPECT_EQ(ComputeBufferChecksum(0x2FFFF, 0x2FFFF), 0xFFu);
    EXPECT_EQ(BankCount, 3u);

    // Rows that extend the sum: extra bytes after the device, a longer range.
    RowHookTable[186].ChecksumBytesAfterDevice = 9;
    CurrentAlgorithm = 186;
    DeviceSize = 0x100;
    FillBufferRange(0, 0x1FF, 0);
    FillBufferRange(0x100, 0x109, 2);
    EXPECT_EQ(ComputeBufferChecksum(0, 0xFF), 18u);
    RowHookTable[200].ChecksumEndExtension = 10;
    CurrentAlgorithm = 200;
    EXPECT_EQ(ComputeBufferChecksum(0, 0xFF), 20u);

    // A row with its own checksum returns it.
    RowHookTable[110].Checksum = [] { return BufferChecksum = 0x1234u; };
    CurrentAlgorithm = 110;
    EXPECT_EQ(ComputeBufferChecksum(0, 0xFF), 0x1234u);

    // No device size: the last checksum stays.
    CurrentAlgorithm = 0;
    DeviceSize = 0;
    EXPECT_EQ(ComputeBufferChecksum(0, 0xFF), 0x1234u);
}

TEST_F(ServicesReadTest, ChecksumEqualsTheBytewiseSumAtAnyStartAndLength) {
    // Bytes of FFh fill the 16-bit partial sums to their limit; the mixed
    // pattern catches lanes and tails added twice or left out.
    DeviceSection = SectionEprom;
    DeviceSize = 0x40000;
    ASSERT_EQ(SelectBank(0x3FFFF, 1), 1);
    uint8_t* image = BufferImage();
    for (uint32_t a = 0x20000; a < 0x40000; ++a) image[a] = static_cast<uint8_t>(a * 131u >> 3);
    for (uint32_t start : {0u, 1u, 7u, 0xFFF9u, 0x1FFFDu, 0x2FFFFu}) {
        for (uint32_t length : {1u, 7u, 15u, 16u, 17u, 2047u, 2048u, 2049u, 6151u, 0x10000u}) {
            const uint32_t end = start + length - 1;
            uint32_t plain = 0;
            for (uint32_t a = start; a <= end; ++a) plain += image[a];
            EXPECT_EQ(ComputeBufferChecksum(start, end), plain) << std::hex << start << " " << length;
        }
    }
}

TEST_F(ServicesReadTest, AChecksumThatCannotBeComputedIsShownAsTheFailure) {
    DeviceSection = SectionEprom;
    DeviceSize = 0x30000;
    ComputeBufferChecksum(0, 0xFF);
    EXPECT_EQ(BufferChecksumText(), "FF00h"); // 256 x FFh
    // A row whose own sum cannot be made, and a range the buffer cannot reach.
    RowHookTable[110].Checksum = [] { return BufferChecksum = 0xFFFFFFFFu; };
    CurrentAlgorithm = 110;
    ComputeBufferChecksum(0, 0xFF);
    EXPECT_FALSE(BufferChecksumKnown);
    EXPECT_EQ(BufferChecksumText(), "Error");
    CurrentAlgorithm = 0;
    BufferReserveBanks = 2;
    InitBuffers();
    ComputeBufferChecksum(0, 0x2FFFF);
    EXPECT_EQ(BufferChecksumText(), "Error");
    ComputeBufferChecksum(0, 0x1FF);
    EXPECT_EQ(BufferChecksumText(), "FE00h");
}

TEST_F(ServicesReadTest, PldChecksumEqualsTheJedecFuseChecksum) {
    // A fuse map of 2194 fuses with a pseudo-random pattern; fuses past the
    // map in the last byte are set and must not count.
    DeviceSection = SectionPld;
    DeviceSize = 2194;
    std::fill(BufferWindow, BufferWindow + 0x1000, 0xFF);
    uint32_t seed = 12345;
    std::vector<int> fuses(DeviceSize);
    for (uint32_t n = 0; n < DeviceSize; ++n) {
        seed = seed * 1103515245u + 12345u;
        fuses[n] = (seed >> 16) & 1;
        SetBufferBit(n, static_cast<uint32_t>(fuses[n]));
    }
    // The JEDEC "C" field: the 16-bit sum of the fuses taken 8 at a time,
    // fuse 0 the lowest bit, the last byte padded with 0.
    uint32_t jedec = 0;
    for (uint32_t n = 0; n < DeviceSize; n += 8) {
        uint32_t byte = 0;
        for (uint32_t b = 0; b < 8 && n + b < DeviceSize; ++b) byte |= static_cast<uint32_t>(fuses[n + b]) << b;
        jedec += byte;
    }
    EXPECT_EQ(ComputeBufferChecksum(0, DeviceSize / 8) & 0xFFFF, jedec & 0xFFFF);

    // A fuse count that is a multiple of 8: the byte after the map counts nothing.
    DeviceSize = 2192;
    jedec = 0;
    for (uint32_t i = 0; i < 274; ++i) jedec += BufferWindow[i];
    EXPECT_EQ(ComputeBufferChecksum(0, DeviceSize / 8), jedec);
}

TEST_F(ServicesReadTest, FillTouchesOnlyTheRangeAcrossBanks) {
    ASSERT_EQ(FillBufferRange(0xFFFE, 0x20001, 0x1C5), 1);
    EXPECT_EQ(BankCount, 3u);
    EXPECT_EQ(CurrentBank, 0u);
    EXPECT_EQ(ReadBufferByteCached(0xFFFD), 0xFF);
    EXPECT_EQ(ReadBufferByteCached(0xFFFE), 0xC5);
    EXPECT_EQ(ReadBufferByteCached(0x18000), 0xC5);
    EXPECT_EQ(ReadBufferByteCached(0x20001), 0xC5);
    EXPECT_EQ(ReadBufferByteCached(0x20002), 0xFF);
    EXPECT_EQ(FillBufferRange(5, 4, 0), 1); // empty range
    EXPECT_EQ(ReadBufferByteCached(4), 0xFF);

    BufferReserveBanks = 2;
    InitBuffers();
    EXPECT_EQ(FillBufferRange(0x1FFF0, 0x20010, 0), -1);
    EXPECT_EQ(ReadBufferByteCached(0x1FFFF), 0x00);
    EXPECT_TRUE(LogHas("Cannot create swap area."));
}
