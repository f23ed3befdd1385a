// Where the PIC rows take their words from and put them: split-mode lanes,
// the data memory as the PIC toolchains lay it out, the whole configuration
// and ID words, and the configuration records' reading of each part's bits.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <tuple>
#include <sstream>
#include <type_traits>

#include "PicFixture.h"

#include "engine/HexFiles.h"
#include "mcu/Pic.h"

namespace {

constexpr uint32_t kDataWord = 0x2100;

bool HaveGpasm() { return std::system("gpasm -v > /dev/null 2>&1") == 0; }

std::string Slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// gpdasm's lines from word address `from` on (the ID, configuration and
// data lines of a 14-bit part's file).
std::string DisassemblyFrom(const std::string& hex, uint32_t from) {
    const std::string out = hex + ".dis";
    if (std::system(("gpdasm -p16f84 " + hex + " > " + out + " 2>&1").c_str()) != 0) return "gpdasm failed";
    std::istringstream in(Slurp(out));
    std::string line, kept;
    while (std::getline(in, line)) {
        unsigned a = 0;
        if (std::sscanf(line.c_str(), "%x:", &a) == 1 && a >= from) kept += line + "\n";
    }
    return kept;
}

// The data bytes gpasm's listing shows for the data-memory lines (from
// 2100h): each "de" byte followed by the 00h high byte it writes, whether
// the listing prints them as bytes or as words.
std::vector<unsigned> ListedDataBytes(const std::string& lst) {
    std::vector<unsigned> bytes;
    std::istringstream in(Slurp(lst));
    std::string line;
    bool data = false;
    while (std::getline(in, line)) {
        std::istringstream t(line);
        std::vector<std::string> tokens;
        for (std::string tok; t >> tok;) tokens.push_back(tok);
        const bool head = !line.empty() && line[0] != ' ' && !tokens.empty() && tokens[0].size() == 4 &&
                          tokens[0].rfind("21", 0) == 0;
        if (!head && (!data || line.empty() || line[0] != ' ')) {
            data = false;
            continue;
        }
        // The listing shows the data as bytes (low, high) or as words.
        auto hex = [](const std::string& t) {
            return (t.size() == 2 || t.size() == 4) &&
                   std::all_of(t.begin(), t.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
        };
        size_t k = head ? 1 : 0;
        const size_t first = k;
        for (; k < tokens.size() && hex(tokens[k]); ++k) {
            const auto v = static_cast<unsigned>(std::stoul(tokens[k], nullptr, 16));
            bytes.push_back(tokens[k].size() == 2 ? v : v & 0xFF);
            if (tokens[k].size() == 4) bytes.push_back(v >> 8);
        }
        data = k > first && (head || k == tokens.size());
    }
    return bytes;
}

class PicLayout : public PicRun {};

TEST_F(PicLayout, SplitModeLaneOnRow113RefusedOnTheOthers) {
    // WordMode 2: lane 1 is every second buffer word. Row 113 steps its
    // words by the lane and programs the lane's. The other rows keep their
    // configuration, ID and data words at buffer words named by chip
    // addresses, which the lanes' data fill: Program and Read are refused
    // before the part is touched, and the buffer stays as it was.
    for (const char* part : {"PIC16C54", "PIC16C61", "PIC16F84", "PIC17C42A", "PIC12C508A", "PIC12C671", "PIC14000",
                             "PIC16F877"}) {
        SCOPED_TRACE(part);
        ReseatAnyPic(part, [&](auto* chip) {
            const uint32_t blank = CurrentAlgorithm == 114 ? 0xFFF : RowBlank();
            ClearWords();
            FillWords(128, blank);
            WordMode = 2;
            DeviceEnd = 63;
            const std::vector<uint16_t> before(BufferWords, BufferWords + 0x8000);
            if (CurrentAlgorithm == 113) {
                ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
                for (uint32_t a = 0; a <= 63; ++a) ASSERT_EQ(chip->Word(a), BufferWords[2 * a + 1]) << a;
                EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
            } else {
                const size_t from = ui.Log.size();
                EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
                EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
                size_t said = 0;
                for (size_t i = from; i < ui.Log.size(); ++i) said += ui.Log[i] == "Cannot support Split mode!";
                EXPECT_EQ(said, 2u) << LogText();
                for (uint32_t a = 0; a <= 63; ++a) ASSERT_EQ(chip->Word(a), blank) << a;
                EXPECT_TRUE(std::equal(before.begin(), before.end(), BufferWords));
            }
            WordMode = 0;
            ExpectNoViolations();
        });
    }
    WordMode = 0;
}

TEST_F(PicLayout, DataByteGoesToItsOwnAddressWhateverTheRange) {
    // Chip End + 1 not a multiple of the data memory's size, Chip Start
    // above 0: byte i still lands in data cell i, and Read puts it back in
    // the low byte of word 2100h + i, over the part's whole data memory (64,
    // 128 or 256 bytes). A byte that differs is named at that word.
    struct Case {
        const char* part;
        uint32_t start, end;
    };
    for (const Case k : {Case{"PIC16F84", 0, 0x1F}, Case{"PIC16F84", 0, 0x3FF}, Case{"PIC16F877", 0x10, 0x5F},
                         Case{"PIC16F873", 0, 0x7F}}) {
        SCOPED_TRACE(std::string(k.part) + " end " + std::to_string(k.end));
        sim::PicChip* chip = ReseatPic(k.part);
        ASSERT_NE(chip, nullptr);
        const uint32_t bytes = chip->Facts().dataBytes;
        DeviceStart = k.start;
        DeviceEnd = k.end;
        ClearWords();
        FillWords(k.end + 1, 0x3FFF);
        for (uint32_t i = 0; i < bytes; ++i) BufferWords[kDataWord + i] = static_cast<uint16_t>((i * 37 + 5) & 0xFF);
        BufferWords[kDataWord + 9] = 0xFF; // a blank byte gets no write and stays blank
        const std::vector<uint16_t> source(BufferWords, BufferWords + 0x8000);
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t i = 0; i < bytes; ++i) ASSERT_EQ(chip->DataByte(i), source[kDataWord + i]) << i;
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        ClearWords();
        ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t i = 0; i < bytes; ++i) ASSERT_EQ(BufferWords[kDataWord + i], source[kDataWord + i]) << i;
        // The word after the data memory is none of its bytes: Read leaves it.
        EXPECT_EQ(BufferWords[kDataWord + bytes], 0);
        // A byte three quarters in (C0h of 256) that differs fails Verify
        // and stands in Data Compare's list, both at its word.
        const uint32_t odd = kDataWord + bytes * 3 / 4, chipByte = BufferWords[odd];
        BufferWords[odd] ^= 0x10;
        char cell[40], buffer[40], listed[40];
        std::snprintf(cell, sizeof cell, "  Chip addr: %06Xh  data: %04Xh", odd, chipByte);
        std::snprintf(buffer, sizeof buffer, "Buffer addr: %06Xh  data: %04Xh", 2 * odd, chipByte ^ 0x10);
        std::snprintf(listed, sizeof listed, "%08Xh:(%04X)-(%04X)\r\n", odd, chipByte ^ 0x10, chipByte);
        EXPECT_EQ(Run(OpVerify), ResultFailed);
        EXPECT_TRUE(HasLinesInARow({cell, buffer})) << LogText();
        EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
        EXPECT_EQ(ReadText("COMPARE.TXT"), std::string("Compare file\r\nAddress : (Buffer data)-(Chip data)\r\n") + listed);
        BufferWords[odd] ^= 0x10;
        // A last data byte that differs from the buffer fails Verify; on an
        // erased part, that byte alone programmed fails Blank check.
        BufferWords[kDataWord + bytes - 1] ^= 0x01;
        EXPECT_EQ(Run(OpVerify), ResultFailed);
        ASSERT_EQ(Run(OpErase), ResultOk) << LogText();
        for (uint32_t i = 0; i < 0x8000; ++i) BufferWords[i] = 0x3FFF;
        for (uint32_t i = 0; i < bytes; ++i) BufferWords[kDataWord + i] = 0xFF;
        BufferWords[kDataWord + bytes - 1] = 0xA5;
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->DataByte(bytes - 1), 0xA5);
        EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
        std::snprintf(cell, sizeof cell, " Chip addr: %06Xh  data: 00A5h", kDataWord + bytes - 1);
        EXPECT_TRUE(HasLine(cell)) << LogText();
        ExpectNoViolations();
    }
}

TEST_F(PicLayout, GpasmFileProgramsReadsAndSavesAsItsToolsSeeIt) {
    if (!HaveGpasm()) GTEST_SKIP() << "gpasm is not installed";
    // PWRTE on (active low on this part), __IDLOCS and a 64-byte data table.
    {
        std::ofstream a("d.asm");
        a << "  list p=16f84\n  include <p16f84.inc>\n"
          << "  __CONFIG _CP_OFF & _PWRTE_ON & _WDT_OFF & _XT_OSC\n  __IDLOCS 0x1234\n"
          << "  org 0\nstart\n  movlw 0x5A\n  movwf 0x0C\n  goto start\n  org 0x2100\n";
        for (int row = 0; row < 8; ++row) {
            a << "  de ";
            for (int k = 0; k < 8; ++k) a << (k ? ", " : "") << "0x" << std::hex << ((row * 8 + k) * 29 + 3) % 256;
            a << std::dec << "\n";
        }
        a << "  end\n";
    }
    ASSERT_EQ(std::system("gpasm -q -a inhx8m -o d.hex d.asm > gpasm.log 2>&1"), 0) << Slurp("gpasm.log");
    const std::string sourceTail = DisassemblyFrom("d.hex", 0x2000);
    const std::vector<unsigned> listed = ListedDataBytes("d.lst");
    ASSERT_EQ(listed.size(), 128u) << Slurp("d.lst");
    for (const uint32_t end : {0x1Fu, 0x3FFu}) {
        SCOPED_TRACE("Chip End " + std::to_string(end));
        sim::PicChip* chip = ReseatPic("PIC16F84");
        ASSERT_NE(chip, nullptr);
        DeviceEnd = end;
        ClearWords();
        for (uint32_t i = 0; i < 0x8000; ++i) BufferWords[i] = 0x3FFF;
        LoadToolHexFile("d.hex"); // written by gpasm
        if (HasFatalFailure()) return;
        EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
        EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
        for (uint32_t i = 0; i < 64; ++i) ASSERT_EQ(chip->DataByte(i), listed[2 * i]) << i;
        EXPECT_EQ(chip->Config(), 0x3FF1u);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(chip->Id(i), static_cast<uint32_t>(i + 1)) << i;
        EXPECT_EQ(chip->Word(0), 0x305Au);

        ClearWords();
        ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
        EXPECT_TRUE(HasLine("Power-up Timer: Enable")) << LogText();
        EXPECT_TRUE(HasLine("Watchdog Timer: Disable")) << LogText();
        EXPECT_TRUE(HasLine("Memory Protect: Disable")) << LogText();
        EXPECT_EQ(BufferWords[0x2007], 0x3FF1);
        for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[0x2000 + i], i + 1) << i;
        ASSERT_EQ(SaveHexFamilyFile("r.hex", 0, DeviceEnd * 2 + 1, HexFormatIntel), 1);
        EXPECT_EQ(DisassemblyFrom("r.hex", 0x2000), sourceTail);
        // The saved file, loaded again, holds the listing's data words.
        ClearWords();
        ASSERT_EQ(LoadHexFamilyFile("r.hex", 0, 0), 1);
        for (uint32_t i = 0; i < 64; ++i)
            ASSERT_EQ(BufferWords[kDataWord + i], listed[2 * i] | listed[2 * i + 1] << 8) << i;
        ExpectNoViolations();
    }
}

TEST_F(PicLayout, ProtectedGpasmWordBurnsReadsAndSavesAsTheFileHasIt) {
    // A PIC16C62A file with code protection on (every CP pair 00) and Brown
    // Out off: the part's word and the word of the file saved after a Read
    // are the file's own, as gpdasm reads both files.
    if (!HaveGpasm()) GTEST_SKIP() << "gpasm is not installed";
    {
        std::ofstream a("cp.asm");
        a << "  list p=16c62a\n  include <p16c62a.inc>\n"
          << "  __CONFIG _CP_ALL & _BODEN_OFF & _PWRTE_ON & _WDT_OFF & _XT_OSC\n  __IDLOCS 0x1234\n"
          << "  org 0\nstart\n  movlw 0x5A\n  movwf 0x20\n  goto start\n  end\n";
    }
    ASSERT_EQ(std::system("gpasm -q -a inhx8m -o cp.hex cp.asm > gpasm.log 2>&1"), 0) << Slurp("gpasm.log");
    sim::PicChip* chip = ReseatPic("PIC16C62A");
    ASSERT_NE(chip, nullptr);
    DeviceEnd = 0x3F;
    for (uint32_t i = 0; i < 0x8000; ++i) BufferWords[i] = 0x3FFF;
    ASSERT_EQ(LoadHexFamilyFile("cp.hex", 0, 0), 1);
    const uint16_t fileWord = BufferWords[0x2007];
    EXPECT_EQ(fileWord, 0x0081); // the header's _CP_ALL & _BODEN_OFF & ... as gpasm writes it
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
    EXPECT_EQ(chip->Config(), fileWord);
    EXPECT_TRUE(chip->Protected());

    ClearWords();
    ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Memory Protect: All memory protected")) << LogText();
    EXPECT_TRUE(HasLine("Brown Out: Disable")) << LogText();
    EXPECT_TRUE(HasLine(PicCodeProtectedLine)) << LogText(); // the words read are scrambled
    EXPECT_EQ(BufferWords[0x2007], fileWord);
    ASSERT_EQ(SaveHexFamilyFile("cpr.hex", 0, DeviceEnd * 2 + 1, HexFormatIntel), 1);
    EXPECT_NE(Slurp("cpr.hex").find(":02400E0081002F\r\n"), std::string::npos) << Slurp("cpr.hex");
    EXPECT_EQ(DisassemblyFrom("cpr.hex", 0x2007), DisassemblyFrom("cp.hex", 0x2007));
    ClearWords();
    ASSERT_EQ(LoadHexFamilyFile("cpr.hex", 0, 0), 1);
    EXPECT_EQ(BufferWords[0x2007], fileWord);
    ExpectNoViolations();
}

TEST_F(PicLayout, ProtectedPartSaysSoAfterReadAndAFailedVerify) {
    // A PIC16F84 burnt from a gpasm _CP_ON file reads its code words as 0:
    // Read still ends ok and Verify still fails at the first word, and both
    // say the part is code protected. The verify's look at the part leaves
    // the buffer's configuration and ID words and the failing datum alone.
    // A blank part says nothing of the kind.
    if (!HaveGpasm()) GTEST_SKIP() << "gpasm is not installed";
    {
        std::ofstream a("cp84.asm");
        a << "  list p=16f84\n  include <p16f84.inc>\n"
          << "  __CONFIG _CP_ON & _PWRTE_ON & _WDT_OFF & _XT_OSC\n  __IDLOCS 0x1234\n"
          << "  org 0\nstart\n  movlw 0x5A\n  movwf 0x0C\n  goto start\n  end\n";
    }
    ASSERT_EQ(std::system("gpasm -q -a inhx8m -o cp84.hex cp84.asm > gpasm.log 2>&1"), 0) << Slurp("gpasm.log");
    sim::PicChip* chip = ReseatPic("PIC16F84");
    ASSERT_NE(chip, nullptr);
    DeviceEnd = 0x3F;
    auto load = [] {
        for (uint32_t i = 0; i < 0x8000; ++i) BufferWords[i] = 0x3FFF;
        return LoadHexFamilyFile("cp84.hex", 0, 0);
    };
    ASSERT_EQ(load(), 1);
    const uint16_t first = BufferWords[0];
    EXPECT_EQ(BufferWords[0x2007] & 0x3FF0, 0); // every copy of CP on
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_TRUE(chip->Protected());

    ClearWords();
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Read ok!")) << LogText();
    EXPECT_TRUE(HasLine(PicCodeProtectedLine)) << LogText();
    EXPECT_EQ(BufferWords[0], 0);

    ASSERT_EQ(load(), 1);
    BufferWords[0x2007] = 0x3FFF; // what the verify must not overwrite with the part's word
    for (uint32_t i = 0; i < 4; ++i) BufferWords[0x2000 + i] = 0;
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Buffer addr: 000000h  data: %04Xh", first);
    ExpectLinesInOrder({"Verification error!", PicCodeProtectedLine, "  Chip addr: 000000h  data: 0000h", buffer});
    EXPECT_EQ(BufferWords[0x2007], 0x3FFF);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[0x2000 + i], 0) << i;

    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    EXPECT_FALSE(HasLine(PicCodeProtectedLine)) << LogText();
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_FALSE(HasLine(PicCodeProtectedLine)) << LogText();
    ExpectNoViolations();
}

TEST_F(PicLayout, TwelveBitIdWordsStayTheFilesWithAShortRange) {
    // gpasm puts a 12-bit part's ID words after its last program word; with
    // Chip End below that they still program the ID cells, never the words
    // after Chip End.
    if (!HaveGpasm()) GTEST_SKIP() << "gpasm is not installed";
    for (const auto& [part, processor] : {std::pair{"PIC16C54", "16c54"}, std::pair{"PIC12C508A", "12c508a"}}) {
        SCOPED_TRACE(part);
        ReseatAnyPic(part, [&](auto* chip) {
            {
                std::ofstream a("i.asm");
                a << "  list p=" << processor << "\n  __CONFIG 0xFFF\n  __IDLOCS 0x1234\n  org 0\n  goto 0\n  end\n";
            }
            ASSERT_EQ(std::system("gpasm -q -a inhx8m -o i.hex i.asm > gpasm.log 2>&1"), 0) << Slurp("gpasm.log");
            for (uint32_t i = 0; i < 0x8000; ++i) BufferWords[i] = 0xFFF;
            ASSERT_EQ(LoadHexFamilyFile("i.hex", 0, 0), 1);
            DeviceEnd = 63;
            EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
            for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(chip->Id(static_cast<int>(i)), i + 1) << i;
            for (uint32_t a = 64; a < 68; ++a) EXPECT_EQ(chip->Word(a), 0xFFFu) << a;
            ExpectNoViolations();
        });
    }
}

TEST_F(PicLayout, RecordsReadEachPartsBitsWithTheirSense) {
    // Configuration words as the parts' own assembler headers spell them.
    struct Case {
        const char* part;
        uint32_t word;
        const char* line;
    };
    for (const Case k : {Case{"PIC16F84", 0x3FF7, "Power-up Timer: Enable"},
                         Case{"PIC16F84", 0x3FFF, "Power-up Timer: Disable"},
                         Case{"PIC16F83", 0x3FF7, "Power-up Timer: Enable"},
                         Case{"PIC16C84", 0x3FFF, "Power-up Timer: Enable"},
                         Case{"PIC16C84", 0x3FF7, "Power-up Timer: Disable"},
                         Case{"PIC16C61", 0x3FFF, "Power-up Timer: Enable"},
                         Case{"PIC16C62A", 0x3FF7, "Power-up Timer: Enable"},
                         Case{"PIC16F877", 0x3FF7, "Power-up Timer: Enable"},
                         Case{"PIC12C671", 0x3FEF, "Power-up Timer: Enable"},
                         Case{"PIC12C671", 0x15BF, "Memory Protect: 0200h-03FFh code protected"},
                         Case{"PIC12CE673", 0x2ADF, "Memory Protect: Do not use"},
                         Case{"PIC12C672", 0x15BF, "Memory Protect: 0200h-07FFh code protected"},
                         Case{"PIC12C508A", 0x0FF7, "Memory Protect: Code Memory Protected"},
                         Case{"PIC16C505", 0x0FDF, "MCLR: MCLR pin function is digital I/O"}}) {
        SCOPED_TRACE(std::string(k.part) + " " + k.line);
        ASSERT_TRUE(Select("MICROCHIP", k.part));
        PicConfigWord = k.word;
        const size_t before = ui.Log.size();
        LogPicConfiguration();
        bool found = false;
        for (size_t i = before; i < ui.Log.size(); ++i) found = found || ui.Log[i] == k.line;
        EXPECT_TRUE(found) << LogText();
    }
}

TEST_F(PicLayout, IdWordsAndConfigurationSaveWhole) {
    // The ID words keep the bits above the nibble the ID text edits, and the
    // hex records carry both bytes of each.
    CurrentAlgorithm = 112;
    DeviceSubVariant = 22;
    ClearWords();
    for (uint32_t i = 0; i < 4; ++i) PicIdWords[i] = 0x0120 + i;
    std::snprintf(PicIdText, sizeof PicIdText, "AB");
    PackPicConfigFields();
    const uint32_t ids[4] = {0x0121, 0x0124, 0x0122, 0x0124};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[0x2000 + i], ids[i]) << i;
    BufferWords[0x2007] = 0x3FF1;
    for (uint32_t i = 0; i < 64; ++i) BufferWords[kDataWord + i] = static_cast<uint16_t>(i);
    std::string out;
    WritePicConfigHex111(out);
    EXPECT_NE(out.find(":08400000210124012201240129\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":02400E00F13F80\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":104200000000010002000300040005000600070092\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":10427000380039003A003B003C003D003E003F0062\r\n"), std::string::npos) << out;
    // Row 111 has no data memory.
    CurrentAlgorithm = 111;
    out.clear();
    WritePicConfigHex111(out);
    EXPECT_EQ(out.find(":104200"), std::string::npos) << out;
    // Row 121: 128 data words on a part of 4K program words, 256 on one of
    // 8K, 64 for another size.
    CurrentAlgorithm = 121;
    DeviceSubVariant = 20;
    for (uint32_t i = 0; i < 256; ++i) BufferWords[kDataWord + i] = static_cast<uint16_t>(i);
    for (const auto& [words, last] :
         {std::pair{0x1000u, 0x42F0u}, std::pair{0x2000u, 0x43F0u}, std::pair{0x800u, 0x4270u}}) {
        DeviceSize = words;
        out.clear();
        WritePicConfigHex111(out);
        char line[24];
        std::snprintf(line, sizeof line, ":10%04X", last + 16);
        EXPECT_EQ(out.find(line), std::string::npos) << out;
        std::snprintf(line, sizeof line, ":10%04X00", last);
        const size_t at = out.find(line);
        ASSERT_NE(at, std::string::npos) << out;
        // The record's last byte pair: data byte (last - 4200h) / 2 + 7, high byte 00h.
        char tail[16];
        std::snprintf(tail, sizeof tail, "%02X00", (last - 0x4200) / 2 + 7);
        EXPECT_EQ(out.substr(at + 9 + 28, 4), tail) << out;
    }
}

// ---- what the EPROM cells need ------------------------------------------------------------------

TEST_F(PicLayout, EpromWordsGetTheirOverprogrammingAndConfigurationItsPulses) {
    // Every one-time row over-programs each word as its datasheet asks (3N
    // pulses, or 11N on the 12-bit parts), whatever N the word needed, and
    // gives the configuration word the programming time it needs to take.
    struct Case {
        const char* part;
        uint32_t config;
    };
    for (const Case k : {Case{"PIC16C54", 0xFFD}, Case{"PIC16C61", 0x3FF5}, Case{"PIC12C508A", 0xFFA},
                         Case{"PIC12C671", 0x3FFD}, Case{"PIC14000", 0x3FFE}, Case{"PIC17C43", 0xFFFE}}) {
        SCOPED_TRACE(k.part);
        ReseatAnyPic(k.part, [&](auto* chip) {
            const uint32_t mask = CurrentAlgorithm == 114 ? 0xFFF : RowBlank();
            DeviceEnd = 63;
            ClearWords();
            FillWords(64, mask);
            chip->SetPulsesNeeded(5, 2);
            chip->SetPulsesNeeded(9, 4);
            const PicPositions at = PicBufferPositions();
            if (CurrentAlgorithm == 113) {
                SelectBank(0x10000, 1);
                BufferWords[0x7E00] = static_cast<uint16_t>(k.config);
                SelectBank(0, 1);
            } else {
                BufferWords[at.Config] = static_cast<uint16_t>(k.config);
                for (uint32_t i = 0; i < 4; ++i) BufferWords[at.Id + i] = static_cast<uint16_t>(i + 1);
            }
            ASSERT_EQ(Run(OpAuto), ResultOk) << LogText();
            EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
            EXPECT_EQ(chip->WeakWords(), 0u);
            EXPECT_EQ(chip->Config() & 0x0F, k.config & 0x0F);
            // The 12-bit parts' ID words follow the part's last word, not
            // Chip End: the words after Chip End stay blank.
            if (at.Id != 0) {
                for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(chip->Id(static_cast<int>(i)), i + 1) << i;
                if (CurrentAlgorithm == 110 || CurrentAlgorithm == 114) {
                    for (uint32_t a = 64; a < 68; ++a) EXPECT_EQ(chip->Word(a), mask) << a;
                }
            }
            ExpectNoViolations();
        });
    }
}

TEST_F(PicLayout, Row114GivesUpAfterSevenAttempts) {
    for (const auto& [needed, result, pulses] : {std::tuple{7, ResultOk, 7 + 77}, std::tuple{8, ResultFailed, 7}}) {
        SCOPED_TRACE(needed);
        sim::PicChip* chip = ReseatPic("PIC12C508A");
        DeviceEnd = 63;
        ClearWords();
        for (uint32_t i = 0; i < 64; ++i) BufferWords[i] = 0xFFF;
        BufferWords[3] = 0x0A5;
        chip->SetPulsesNeeded(3, needed);
        EXPECT_EQ(Run(OpProgram), result) << LogText();
        EXPECT_EQ(chip->PulsesOn(3), pulses);
    }
}

TEST_F(PicLayout, Row113ComparesTheConfigurationBitsItProgrammed) {
    // Bits 0-4 and 6 are compared (and 14 on variant 2), and PM2 (bit 15),
    // which the code-protected mode programs with PM1:PM0; the unprogrammable
    // bits read 1 whatever the word asks, so they are not.
    struct Case {
        uint32_t config;
        bool stick6;
        uint32_t refused;
        int result;
    };
    for (const Case k : {Case{0x0050, false, 0, 1}, Case{0x0010, true, 0, -1}, Case{0x0010, false, 0, 1},
                         Case{0xFFAC, false, 0x8000, -1}, Case{0xFFAC, false, 0, 1}, Case{0xFFEC, false, 0x8000, 1}}) {
        SCOPED_TRACE(k.config);
        sim::PicParallelChip* chip = ReseatParallelPic("PIC17C43");
        if (k.stick6) chip->StickWord(0xFE06);
        chip->RefuseConfigBits(k.refused);
        PrepareDialog();
        SelectBank(0x10000, 1);
        BufferWords[0x7E00] = static_cast<uint16_t>(k.config);
        SelectBank(0, 1);
        EXPECT_EQ(ProgramPicConfigFromBuffer(), k.result);
        ExpectNoViolations();
    }
}

} // namespace
