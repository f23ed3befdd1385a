// The hex-family reader and writers: record layouts, addressing, limits,
// malformed input and the exact text of the writers.
#include <cstdio>
#include <string_view>

#include "tests/engine/HexFilesFixture.h"

namespace {

// The lines of a saver's text.
std::vector<std::string> HexLines(std::string_view text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

HexLoadState Parse(const std::string& text) {
    HexLoadState state;
    ParseHexFamilyText(state, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return state;
}

} // namespace

TEST(HexTextTest, LinesEndAtLfCrLfAndCrWhereverAPieceEnds) {
    const std::string record = ":0400100011223344" "42"; // 4 bytes at 10h
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        // Move the record across the end of the first piece, one character at a time.
        for (size_t lead = HexReadChunkBytes - record.size() - 3; lead <= HexReadChunkBytes + 1; ++lead) {
            SCOPED_TRACE(std::to_string(lead) + (eol[0] == '\n' ? " LF" : eol[1] ? " CRLF" : " CR"));
            const HexLoadState state = Parse(std::string(lead, '\n') + record + eol + ":0100000055AA");
            ASSERT_EQ(state.Records, 2u);
            ASSERT_EQ(state.BadRecords + state.BadChecksums, 0u);
            ASSERT_EQ(state.LoadedCount, 5u);
            ASSERT_EQ(state.Image.EndAddress(), 0x14u);
        }
    }
}

// A binary load tells a text of nothing but Intel records, or nothing but
// S-records, from anything else: any bytes, each cut of a hex text.
TEST(HexTextTest, RecordTextIsToldFromOtherBytes) {
    auto kind = [](const std::string& text) {
        return DetectHexRecordText(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    const std::string intel = ":0400100012345678D8\r\n\r\n:020000040001F9\r\n:00000001FF\r\n";
    const std::string srec = "S0030000FC\nS2080123450102030484\n  \nS804000000FB\n";
    EXPECT_EQ(kind(intel), HexRecordText::Intel);
    EXPECT_EQ(kind(srec), HexRecordText::Motorola);
    EXPECT_EQ(kind(":0100000055AA\r:00000001FF"), HexRecordText::Intel); // CR ends, none at the end
    EXPECT_EQ(kind(":FF010000" + std::string(510, '1') + "00\n"), HexRecordText::Intel);
    const std::string others[] = {
        "", "\r\n \t\n",                               // no record
        intel + srec,                                    // both formats
        ":0400100012345678D\n",                          // one digit short
        ":0400100012345678D8 \n",                        // a blank after the record
        ":04001000123456G8D4\n",                         // no digit
        ":0400100612345678CE\n",                         // no such type
        "S1020000FD\n", "S4030000FC\n",                  // count too small, no such type
        "/01000203ABCD2E\r", "\x02\r\n$000000,00 01 02\r\n", // Tektronix, ASCII hex
        ":FF010000" + std::string(512, '1') + "00\n",    // longer than any record
        intel + "Header text\n",
    };
    for (const std::string& t : others) EXPECT_EQ(kind(t), HexRecordText::None) << t.substr(0, 40);

    // A binary that begins with ':' or 'S', and any bytes at all.
    std::vector<uint8_t> bytes(4096);
    uint32_t seed = 1;
    for (int round = 0; round < 64; ++round) {
        for (uint8_t& b : bytes) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
        bytes[0] = round % 2 ? ':' : 'S';
        EXPECT_EQ(DetectHexRecordText(bytes.data(), bytes.size() - static_cast<size_t>(round)), HexRecordText::None);
    }
    // Every cut of the Intel text: a record only when the cut falls at a line end.
    for (size_t n = 0; n <= intel.size(); ++n) {
        const bool record =
            n >= 19 && (n == intel.size() || intel[n] == '\r' || intel[n] == '\n' || intel[n - 1] == '\n');
        EXPECT_EQ(kind(intel.substr(0, n)), record ? HexRecordText::Intel : HexRecordText::None) << n;
    }
}

TEST(HexTextTest, ALineLongerThanAnyRecordStopsTheParse) {
    const std::string longest = ":FF010000" + std::string(510, '1') + "00"; // 255 bytes
    struct Case { std::string text; bool tooLong; };
    const Case cases[] = {
        {longest + "\n", false},
        {std::string(HexLineMax, 'x') + "\n" + longest, false},
        {std::string(HexLineMax + 1, 'x') + "\n" + longest, true},
        {longest + "\n" + std::string(HexLineMax + 1, ' '), true},        // last line, no end
        {":00000001FF\r" + std::string(3 * HexReadChunkBytes, 'S'), true}, // endless line
        {std::string(HexReadChunkBytes - 5, '\n') + std::string(HexLineMax + 7, '1'), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        EXPECT_EQ(Parse(c.text).LineTooLong, c.tooLong);
    }
    EXPECT_EQ(Parse(cases[0].text).LoadedCount, 255u);
}

class HexLoadTest : public DataFileTest {};

TEST_F(HexLoadTest, RecordKindsAndAddressing) {
    // Type 04 upper 0001 then a record at 0000 lands at 10000h.
    ASSERT_EQ(Load("a.hex", ":020000040001F9\n:040000001122334452\n:00000001FF\n"), 1);
    EXPECT_EQ(GetBytes(0x10000, 4), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_TRUE(LogHas("4h(4) byte(s) loaded."));

    // Type 02: segment 1000h gives base 10000h; file offset and buffer start shift it.
    ASSERT_EQ(LoadHexFamilyFile(Write("b.hex", ":020000021000EC\n:02001000A55AEF\n"), 0x10000, 0x20), 1);
    EXPECT_EQ(GetBytes(0x30, 2), (std::vector<uint8_t>{0xA5, 0x5A}));

    // An S2 record of count 08 carries 4 bytes.
    ASSERT_EQ(Load("c.s2", "S0030000FC\nS2080123450102030484\nS804000000FB\n"), 1);
    EXPECT_EQ(GetBytes(0x12345, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_TRUE(LogHas("4h(4) byte(s) loaded."));

    // Records past 4 MB are stored as any other.
    ASSERT_EQ(Load("d.s3", "S30600400000AA0F\nS30600400001BBFD\nS30600800000CC0D\n"), 1);
    EXPECT_EQ(GetBytes(0x400000, 2), (std::vector<uint8_t>{0xAA, 0xBB}));
    EXPECT_EQ(GetBytes(0x800000, 1), (std::vector<uint8_t>{0xCC}));
    EXPECT_TRUE(LogHas("3h(3) byte(s) loaded."));
    EXPECT_EQ(HighestLoadAddress, 0x800001u);

    // Tektronix and ASCII hex (its STX, ETX and "$S" lines skipped), CR line ends.
    ASSERT_EQ(Load("e.tek", "/01000203ABCD2E\r/00000000\r"), 1);
    EXPECT_EQ(GetBytes(0x100, 2), (std::vector<uint8_t>{0xAB, 0xCD}));
    ASSERT_EQ(LoadHexFamilyFile(SourceDir() + "/tests/data/hex/ascii-F8-117.asc", 0, 0), 1);
    EXPECT_EQ(GetBytes(0x108, 4), (std::vector<uint8_t>{0x08, 0x09, 0x0A, 0x0B}));
    EXPECT_TRUE(ui.Boxes.empty());
}

TEST_F(HexLoadTest, MalformedRecordsAreSkippedAndCounted) {
    std::string lines =
        ":10000000AABB\n"                 // count larger than its digits
        "S1020000FD\n"                    // count too small for its address
        "$000010,00 11 22\n"              // short ASCII-hex line
        ":02002000ZZ11B0\n"               // non-hex data
        "S4030000FC\n"                    // no such S-record type
        ":2C003000" + std::string(88, '7') + "00\n" // bad checksum: loaded anyway
        ":FF010000" + std::string(510, '1') + "00\n" + // 255 bytes, longer than 500
        "S107000201020304EC\n" // good
        "Header text line\n\n";
    ASSERT_EQ(Load("bad.hex", lines), 1);
    EXPECT_EQ(GetBytes(0x0000, 2), std::vector<uint8_t>(2, 0xFF));
    EXPECT_EQ(GetBytes(0x0030, 2), (std::vector<uint8_t>{0x77, 0x77}));
    EXPECT_EQ(GetBytes(0x0100, 1), (std::vector<uint8_t>{0x11}));
    EXPECT_EQ(GetBytes(0x01FE, 1), (std::vector<uint8_t>{0x11}));
    EXPECT_EQ(GetBytes(0x0002, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_TRUE(LogHas("Invalid record in hex file. (5 record(s))"));
    EXPECT_TRUE(LogHas("Invalid check in hex file. (2 record(s))"));
}

// An Intel file without its end record loads, with one warning that it may
// be cut short: cut at a line end, or inside a record. S-record files and
// Intel files with the end record load without it.
TEST_F(HexLoadTest, AnIntelFileWithoutItsEndRecordLoadsWithAWarning) {
    const std::string cutWarning = " Warning: no end record (:00000001FF); the file may be cut short.";
    const std::string data = ":0400100012345678D8\r\n:0100000055AA\r\n";
    ASSERT_EQ(Load("cut.hex", data), 1);
    EXPECT_EQ(MainLog().Lines(), (std::vector<std::string>{"5h(5) byte(s) loaded.", cutWarning}));
    EXPECT_EQ(GetBytes(0x0, 1), std::vector<uint8_t>{0x55});
    MainLog().Clear();
    ASSERT_EQ(Load("cut2.hex", data + ":000000"), 1);
    EXPECT_TRUE(LogHas(cutWarning));
    EXPECT_TRUE(LogHas("Invalid record in hex file. (1 record(s))"));
    // Whole: the end record anywhere after the data, any line end.
    for (const std::string& whole : {data + ":00000001FF", data + ":00000001FF\r\n\r\n", ":00000001FF\n" + data}) {
        MainLog().Clear();
        ASSERT_EQ(Load("whole.hex", whole), 1);
        EXPECT_EQ(MainLog().Lines(), std::vector<std::string>{"5h(5) byte(s) loaded."});
    }
    MainLog().Clear();
    ASSERT_EQ(Load("a.s19", "S107000201020304EC\n"), 1);
    EXPECT_EQ(MainLog().Lines(), std::vector<std::string>{"4h(4) byte(s) loaded."});
}

// A file taken as binary loads as its bytes, counted as a hex load counts
// them; one whose text is wholly Intel or S-records says so.
TEST_F(HexLoadTest, HexTextLoadedAsBinaryLoadsWithAWarning) {
    struct Case { std::string text; const char* warning; };
    const std::vector<uint8_t> binary = Pattern(300, 3);
    const Case cases[] = {
        {":0400100012345678D8\r\n:00000001FF\r\n",
         " Warning: this file's text is Intel hex lines; it was loaded as binary."},
        {"S107000201020304EC\nS9030000FC\n",
         " Warning: this file's text is Motorola S-record lines; it was loaded as binary."},
        {":" + std::string(binary.begin(), binary.end()), nullptr}, // a binary that begins with ':'
        {"/01000203ABCD2E\r", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 12));
        MainLog().Clear();
        ASSERT_EQ(LoadFileAt(Write("file.bin", c.text), 0, 0x100), 1);
        char count[64];
        std::snprintf(count, sizeof count, "%zxh(%zu) byte(s) loaded.", c.text.size(), c.text.size());
        std::vector<std::string> want = {count};
        if (c.warning != nullptr) want.emplace_back(c.warning);
        EXPECT_EQ(MainLog().Lines(), want);
        EXPECT_EQ(GetBytes(0x100, static_cast<uint32_t>(c.text.size())),
                  std::vector<uint8_t>(c.text.begin(), c.text.end()));
    }
    // From a File Offset inside a record the text is no longer whole records.
    MainLog().Clear();
    ASSERT_EQ(LoadFileAt(Write("file.bin", cases[0].text), 3, 0), 1);
    EXPECT_EQ(MainLog().Lines(), std::vector<std::string>{"1fh(31) byte(s) loaded."});
}

TEST_F(HexLoadTest, FailedLoadLeavesTheBufferAsItWas) {
    BufferClearBeforeLoad = 1;
    PutBytes(0x20, {0x12, 0x34});
    ASSERT_EQ(LoadHexFamilyFile(Path("missing.hex"), 0, 0), -1);
    EXPECT_TRUE(LogHas("Unable to open."));
    ASSERT_EQ(Load("garbage.bin", std::string("\x7F" "ELF\x01\x02 binary :ZZ", 15)), -1);
    EXPECT_TRUE(LogHas("File type invalid."));
    // Nothing but bad records, or a line longer than any record after good ones.
    const std::string endless = ":0200200012349A\n" + std::string(HexReadChunkBytes + 10, '0');
    for (std::string bad : {"", ":10000000AABB\n", "S1020000FD\n", "/0100\r\n", "$000010,00 11\n", endless.c_str()}) {
        MainLog().Clear();
        ASSERT_EQ(Load("bad.hex", bad), -1) << bad.substr(0, 20);
        EXPECT_TRUE(LogHas("File type invalid."));
    }
    EXPECT_EQ(GetBytes(0x20, 2), (std::vector<uint8_t>{0x12, 0x34}));

    // A good file clears first when asked, then stores.
    ASSERT_EQ(Load("ok.hex", ":0100000055AA\n"), 1);
    EXPECT_EQ(GetBytes(0x0, 1), (std::vector<uint8_t>{0x55}));
    EXPECT_EQ(GetBytes(0x20, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
}

// The bar follows the file read and ends full after a load, cleared after a
// failed one, never left part-way.
TEST_F(HexLoadTest, ProgressEndsFullAfterALoadAndClearedAfterAFailure) {
    std::string lines;
    while (lines.size() < 4 * HexReadChunkBytes) lines += ":0100000055AA\n";
    ui.Clear();
    ASSERT_EQ(Load("long.hex", lines), 1);
    ASSERT_GE(ui.Progress.size(), 3u);
    EXPECT_GT(ui.Progress[ui.Progress.size() - 2], 50); // moved with the read
    EXPECT_EQ(ui.Progress.back(), 100);
    ASSERT_EQ(Load("bad.hex", std::string(2000, '0')), -1);
    EXPECT_EQ(ui.Progress.back(), 0);
}

namespace {
std::string LogText() {
    std::string text;
    for (const std::string& l : MainLog().Lines()) text += l + "\n";
    return text;
}
// An S3 record of the bytes at address.
std::string S3(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::string line = "S3";
    char t[16];
    std::snprintf(t, sizeof t, "%02X%08X", static_cast<unsigned>(bytes.size() + 5), address);
    line += t;
    for (uint8_t b : bytes) {
        std::snprintf(t, sizeof t, "%02X", b);
        line += t;
    }
    AppendHexRecordChecksum(line, HexFormatMotorola);
    return line;
}
} // namespace

// Every byte within the buffer is stored, a record across its last byte up to
// that byte; the rest is named as not loaded. A load that stores nothing says
// so and fails, the buffer as it was.
TEST_F(HexLoadTest, BytesPastTheBufferAreNamedAndALoadOfNoByteFails) {
    const std::vector<uint8_t> data = Pattern(32, 5);
    const std::string file = Write("at0.s3", S3(0, {data.begin(), data.begin() + 16}) + S3(16, {data.begin() + 16, data.end()}));
    // File Load Buffer Start FFFFFF0h: the first record fills the buffer's last 16 bytes.
    ASSERT_EQ(LoadHexFamilyFile(file, 0, 0xFFFFFF0), 1);
    EXPECT_EQ(GetBytes(0xFFFFFF0, 16), std::vector<uint8_t>(data.begin(), data.begin() + 16));
    EXPECT_TRUE(LogHas("10h(16) byte(s) loaded.")) << LogText();
    EXPECT_TRUE(LogHas(" 10h(16) byte(s) past the buffer's last byte FFFFFFFh not loaded.")) << LogText();
    EXPECT_EQ(HighestLoadAddress, 0x10000000u);

    // A buffer that could reserve 2 banks only: a record across its last byte.
    BufferReserveBanks = 2;
    InitBuffers();
    MainLog().Clear();
    ASSERT_EQ(LoadHexFamilyFile(file, 0, 0x1FFF8), 1);
    EXPECT_EQ(GetBytes(0x1FFF8, 8), std::vector<uint8_t>(data.begin(), data.begin() + 8));
    EXPECT_TRUE(LogHas("8h(8) byte(s) loaded.")) << LogText();
    EXPECT_TRUE(LogHas(" 18h(24) byte(s) past the buffer's last byte 1FFFFh not loaded.")) << LogText();
    ExpectNoLogLine("swap");

    // Nothing stored: past the buffer, before File Offset, or no data record.
    BufferClearBeforeLoad = 1;
    PutBytes(0x20, {0x12, 0x34});
    struct Case { std::string file; uint32_t fileOffset, bufferStart; const char* why; };
    const Case cases[] = {
        {file, 0, 0x20000, " 20h(32) byte(s) past the buffer's last byte 1FFFFh not loaded."},
        {file, 0x1000, 0, " 20h(32) byte(s) before File Offset 1000h not loaded."},
        {Write("end.hex", ":00000001FF\n"), 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        MainLog().Clear();
        ui.Clear();
        ASSERT_EQ(LoadHexFamilyFile(c.file, c.fileOffset, c.bufferStart), -1) << LogText();
        std::vector<std::string> want = {"0h(0) byte(s) loaded."};
        if (c.why != nullptr) want.push_back(c.why);
        want.push_back("No byte loaded: the buffer is unchanged.");
        EXPECT_EQ(MainLog().Lines(), want);
        EXPECT_EQ(ui.Progress.back(), 0);
        EXPECT_EQ(GetBytes(0x20, 2), (std::vector<uint8_t>{0x12, 0x34}));
    }
}

class HexSaveTest : public DataFileTest {};

TEST_F(HexSaveTest, RecordTextOfEachFormat) {
    std::vector<uint8_t> bytes(0x120);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    PutBytes(0, bytes);
    EXPECT_EQ(Saved("a.hex", 0, 0x10, HexFormatIntel),
              ":10000000000102030405060708090A0B0C0D0E0F78\r\n:0100100010DF\r\n:00000001FF\r\n");
    EXPECT_TRUE(LogHas(" 11h(17) byte saved."));
    EXPECT_EQ(Saved("a.s", 0x100, 0x101, HexFormatMotorola), "S307000001000001F6\r\n");
    EXPECT_EQ(Saved("a.tek", 0x100, 0x10F, HexFormatTektronix).substr(0, 9), "/01001002");
    EXPECT_EQ(Saved("a.asc", 0, 0xF, 0), Read(SourceDir() + "/tests/data/hex/ascii-00-0F.asc"));
    // The last line takes the bytes after the end up to 16.
    EXPECT_EQ(Saved("b.asc", 0xF8, 0x110, 0), Read(SourceDir() + "/tests/data/hex/ascii-F8-117.asc"));
}

TEST_F(HexSaveTest, IntelAddressRecordsAndBoundaries) {
    std::vector<uint8_t> bytes = Pattern(0x40, 7);
    PutBytes(0xFFF8, bytes);
    // The record that would cross 64 KB is split, the second half after its segment record.
    std::vector<std::string> lines = HexLines(Saved("a.hex", 0xFFF8, 0x10007, HexFormatIntel));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 9), ":08FFF800");
    EXPECT_EQ(lines[1], ":020000021000EC");
    EXPECT_EQ(lines[2].substr(0, 9), ":08000000");

    // From 1 MB up: linear address records, after the segment base is cleared.
    PutBytes(0xFFFF8, bytes);
    lines = HexLines(Saved("b.hex", 0xFFFF8, 0x100007, HexFormatIntel));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], ":02000002F0000C");
    EXPECT_EQ(lines[2], ":020000020000FC");
    EXPECT_EQ(lines[3], ":020000040010EA");

    for (const char* name : {"a.hex", "b.hex"}) {
        ResetBufferState();
        ASSERT_EQ(LoadHexFamilyFile(Path(name), 0, 0), 1);
    }
    EXPECT_EQ(GetBytes(0xFFFF8, 0x10), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 0x10));
}

TEST_F(HexSaveTest, TektronixBeyond64KIsRefused) {
    ASSERT_EQ(SaveHexFamilyFile(Path("a.tek"), 0xFFF0, 0x10000, HexFormatTektronix), -1);
    EXPECT_TRUE(LogHas("Not supported."));
    EXPECT_FALSE(std::filesystem::exists(Path("a.tek")));
    ASSERT_EQ(SaveHexFamilyFile(Path("dir/none.hex"), 0, 1, HexFormatIntel), -1);
    EXPECT_TRUE(LogHas("Unable to open."));
}

TEST_F(HexSaveTest, EveryFormatRoundTripsAcross64KAnd1M) {
    const uint32_t start = 0xFFFF3, end = 0x10010C;
    std::vector<uint8_t> bytes = Pattern(end - start + 1, 99);
    PutBytes(start, bytes);
    struct Case { const char* name; int format; };
    for (Case c : {Case{"r.hex", HexFormatIntel}, Case{"r.s3", HexFormatMotorola}, Case{"r.asc", 0}}) {
        SCOPED_TRACE(c.name);
        ResetBufferState();
        PutBytes(start, bytes);
        ASSERT_NE(Saved(c.name, start, end, c.format), "failed");
        ResetBufferState();
        ASSERT_EQ(LoadHexFamilyFile(Path(c.name), 0, 0), 1);
        EXPECT_EQ(GetBytes(start, end - start + 1), bytes);
    }
    const std::vector<uint8_t> tek = Pattern(0x123, 5);
    ResetBufferState();
    PutBytes(0x10, tek);
    ASSERT_EQ(SaveHexFamilyFile(Path("r.tek"), 0x10, 0x132, HexFormatTektronix), 1);
    ResetBufferState();
    ASSERT_EQ(LoadHexFamilyFile(Path("r.tek"), 0, 0), 1);
    EXPECT_EQ(GetBytes(0x10, 0x123), tek);
    ExpectNoLogLine("Invalid");
    ExpectNoLogLine("cut short"); // our Intel saves end with the end record; S-records need none
}
