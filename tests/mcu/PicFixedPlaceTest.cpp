// The PIC rows' configuration, ID and data-memory words keep their buffer
// words whatever Buffer Start says, and a read fills them whatever the
// range: a range whose buffer words reach them with other chip addresses is
// refused before power-up.
#include "PicFixture.h"

namespace {

class PicFixedPlace : public PicRun {};

// The case: a 512-word part read over Chip 0-1FFh from buffer word 1
// would store the ID word over the range's last word at word 200h. Refused
// with the place and both addresses, the buffer kept, the part not powered;
// from buffer word 0 the same range reads and the ID words land at 200h.
TEST_F(PicFixedPlace, TwelveBitIdWordsAgainstARangeApart) {
    for (const char* part : {"PIC16C54", "PIC12C508A"}) {
        SCOPED_TRACE(part);
        ReseatAnyPic(part, [&](auto* chip) {
            ASSERT_EQ(DeviceSize, 0x200u);
            for (uint32_t i = 0; i < 0x8000; ++i)
                BufferWords[i] = 0x5A5;
            DeviceStart = 0;
            DeviceEnd = 0x1FF;
            BufferStart = 1;
            simp.ClearTrace();
            simp.EnableTrace(true);
            for (const int op : {OpRead, OpProgram, OpVerify}) {
                EXPECT_EQ(Run(op), ResultFailed) << LogText();
                EXPECT_TRUE(HasLine(" Buffer addr 000400h is chip addr 200h's place; the range puts chip "
                                    "addr 1FFh there."))
                    << LogText();
            }
            EXPECT_TRUE(simp.RegisterTrace().empty());
            for (uint32_t i = 0; i < 0x8000; ++i)
                ASSERT_EQ(BufferWords[i], 0x5A5) << std::hex << i;
            BufferStart = 0;
            ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(BufferWords[0x200 + i], chip->Id(i)) << i;
            ExpectNoViolations();
        });
    }
}

// A 14-bit part's configuration word at 2007h and its data memory from
// 2100h: a range whose buffer words cover them is refused, naming the first
// place it meets.
TEST_F(PicFixedPlace, FourteenBitConfigurationAndDataWords) {
    sim::PicChip* chip = ReseatPic("PIC16F84");
    ASSERT_NE(chip, nullptr);
    FillWords(0x400, 0x3FFF);
    DeviceStart = 0;
    DeviceEnd = 0x3FF;
    struct Case {
        uint32_t bufferStart;
        const char* line;
    };
    for (const Case& c :
         {Case{0x2000, " Buffer addr 00400Eh is chip addr 2007h's place; the range puts chip addr 7h there."},
          Case{0x2080,
               " Buffer addr 004200h is chip addr 2100h's place; the range puts chip addr 80h there."}}) {
        BufferStart = c.bufferStart;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(c.line)) << LogText();
    }
    for (uint32_t a = 0; a < 0x400; ++a)
        ASSERT_EQ(chip->Word(a), 0x3FFFu) << a;
    ExpectNoViolations();
}

// Row 121's data memory is the part's whole: 128 words from 2100h on a
// PIC16F873, 256 on a PIC16F877. A range from buffer word 2140h meets both;
// one from 2180h meets only the larger, and on the smaller it programs and
// reads its words there.
TEST_F(PicFixedPlace, Row121DataWordsCoverThePartsDataMemory) {
    struct Case {
        const char* part;
        uint32_t bufferStart;
        const char* line; // nullptr: served
    };
    for (const Case& c :
         {Case{"PIC16F873", 0x2140, " Buffer addr 004280h is chip addr 2140h's place; the range puts chip addr 0h there."},
          Case{"PIC16F877", 0x2140, " Buffer addr 004280h is chip addr 2140h's place; the range puts chip addr 0h there."},
          Case{"PIC16F877", 0x2180, " Buffer addr 004300h is chip addr 2180h's place; the range puts chip addr 0h there."},
          Case{"PIC16F873", 0x2180, nullptr}}) {
        SCOPED_TRACE(std::string(c.part) + " from " + std::to_string(c.bufferStart));
        sim::PicChip* chip = ReseatPic(c.part);
        ASSERT_NE(chip, nullptr);
        ClearWords();
        DeviceStart = 0;
        DeviceEnd = 0x3F;
        BufferStart = c.bufferStart;
        for (uint32_t i = 0; i < 0x40; ++i) BufferWords[c.bufferStart + i] = static_cast<uint16_t>(0x1000 + i);
        EXPECT_EQ(Run(OpProgram), c.line != nullptr ? ResultFailed : ResultOk) << LogText();
        if (c.line != nullptr) {
            EXPECT_TRUE(HasLine(c.line)) << LogText();
            EXPECT_EQ(chip->Word(0), 0x3FFFu);
            continue;
        }
        EXPECT_EQ(chip->Word(0x3F), 0x103Fu);
        for (uint32_t i = 0; i < 0x40; ++i) BufferWords[c.bufferStart + i] = 0;
        ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t i = 0; i < 0x40; ++i)
            ASSERT_EQ(BufferWords[c.bufferStart + i], 0x1000 + i) << i;
        ExpectNoViolations();
    }
    BufferStart = 0;
}

} // namespace
