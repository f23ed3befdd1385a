// JEDEC fuse files and POF files: defaults, fuse rows, extra fields, vectors,
// checksums, malformed input and round trips.
#include <cstdio>
#include <cstring>

#include "engine/JedecPof.h"
#include "engine/Tables.h"
#include "tests/engine/HexFilesFixture.h"

class JedecTest : public DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        SelectPld(2194, 44, 0);
    }
    // A PLD of a 20-pin package.
    static void SelectPld(uint32_t fuses, uint32_t rowLength, uint32_t row) {
        DeviceSection = SectionPld;
        DeviceSize = fuses;
        FuseRowLength = rowLength;
        PackageIndex = 4;
        CurrentAlgorithm = row;
        CurrentMakerName = "Acme";
        CurrentDeviceName = "PL16V8";
        SetupAddressRange();
        std::memset(BufferWindow, 0, BufferWindowBytes);
    }
    static std::string Fuses(uint32_t first, uint32_t count) {
        std::string s;
        for (uint32_t n = first; n < first + count; ++n) s += GetBufferBit(n) ? '1' : '0';
        return s;
    }
    // Loads a whole file (every field closed, an ETX after its STX, fuses
    // of 0 and 1): no line of a file cut short or of a bad fuse digit.
    int LoadWhole(const std::string& path) {
        const size_t before = DamageLines();
        const int r = LoadJedecFile(path, checksum, blow);
        EXPECT_EQ(DamageLines(), before) << LogText();
        return r;
    }
    int LoadJed(const std::string& name, const std::string& text) { return LoadWhole(Write(name, text)); }
    // A file the program saved: it loads with no line at all.
    int LoadSaved(const std::string& path) {
        MainLog().Clear();
        const int r = LoadJedecFile(path, checksum, blow);
        EXPECT_TRUE(MainLog().Lines().empty()) << LogText();
        return r;
    }
    // The lines of the log that say a file is cut short, has a fuse that is
    // neither 0 nor 1 or an L field without a fuse number.
    static size_t DamageLines() {
        size_t n = 0;
        for (const std::string& line : MainLog().Lines())
            n += line.find("cut short") != std::string::npos || line.find("neither 0 nor 1") != std::string::npos ||
                 line.find("no fuse number") != std::string::npos;
        return n;
    }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
    // The JEDEC fuse checksum: 16-bit sum of the fuses taken as 8-bit words,
    // fuse 0 the lowest bit of the first, the last word padded with 0.
    static uint32_t StandardFuseChecksum(uint32_t fuses) {
        uint32_t sum = 0;
        for (uint32_t w = 0; w * 8 < fuses; ++w) {
            uint32_t word = 0;
            for (uint32_t b = 0; b < 8 && w * 8 + b < fuses; ++b) word |= GetBufferBit(w * 8 + b) << b;
            sum += word;
        }
        return sum & 0xFFFF;
    }
    static std::string LogText() {
        std::string text;
        for (const std::string& line : MainLog().Lines()) text += line + "\n";
        return text;
    }
    uint32_t checksum = 0, blow = 0;
};

TEST_F(JedecTest, DefaultsAndFuseRows) {
    // F1: every fuse set; the L field's four '0' digits clear fuses 8-11.
    ASSERT_EQ(LoadJed("a.jed", "\x02\nQP20*QF2194*\nF1*\nL0008 0000*\n\x03"), 1);
    EXPECT_EQ(Fuses(0, 14), "11111111000011");
    EXPECT_EQ(blow, 2194u - 4); // padding bits of the last byte not counted
    EXPECT_EQ(GetBufferBit(2193), 1u);
    // Nor summed: the saved checksum is the standard fuse checksum.
    char c[16];
    std::snprintf(c, sizeof c, "\nC%04X*", StandardFuseChecksum(2194));
    EXPECT_TRUE(Has(FormatJedecText(nullptr, 0), c)) << c;

    // F0 and no F: clear except the '1' digits; blanks and line ends between digits.
    for (const char* text : {"\x02*QF2194*F0*L00002 10 1\r\n1*\x03", "\x02*QF2194*L00002 10 1\r\n1*\x03"}) {
        std::memset(BufferWindow, 0xFF, 512);
        ASSERT_EQ(LoadJed("b.jed", text), 1);
        EXPECT_EQ(Fuses(0, 8), "00101100");
        EXPECT_EQ(blow, 3u);
        EXPECT_EQ(BufferWindow[400], 0xFF); // past the map: untouched
    }

    // A fuse number padded with zeros past ten digits is still its number;
    // zeros past the device's map are no fuses the file sets.
    ASSERT_EQ(LoadJed("c.jed", "\x02*L0001 1*L526335 00000*L000000000000000000004 1*L00003 1*C0000*\x03"), 1);
    EXPECT_EQ(Fuses(0, 6), "010110");
}

// A file that sets a fuse the device does not have (at or past its fuse
// count, within the window or past it) is refused with a line naming the
// fuse; the map stays as it was.
TEST_F(JedecTest, FusesPastTheMapAreRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"\x02*QF2195*L00000 1*L02190 00001*\x03", " The file sets fuse 2194; the device has fuses 0 to 2193 only."},
        {"\x02*L0001 1*L526335 11111*\x03", " The file sets fuse 526335; the device has fuses 0 to 2193 only."},
        {"\x02*F1*L02194 1*\x03", " The file sets fuse 2194; the device has fuses 0 to 2193 only."}};
    for (const auto& [text, line] : cases) {
        SCOPED_TRACE(text);
        MainLog().Clear();
        std::memset(BufferWindow, 0x5A, 300);
        EXPECT_EQ(LoadJed("p.jed", text), -1);
        EXPECT_TRUE(LogHas(line));
        EXPECT_FALSE(LogHas("File type invalid."));
        EXPECT_EQ(std::vector<uint8_t>(BufferWindow, BufferWindow + 300), std::vector<uint8_t>(300, 0x5A));
    }
    // The last fuse of the map is the device's.
    ASSERT_EQ(LoadJed("q.jed", "\x02*QF2194*L02193 1*\x03"), 1);
    EXPECT_EQ(GetBufferBit(2193), 1u);
}

TEST_F(JedecTest, ChecksumBlowCountAndVectors) {
    std::string rows;
    for (uint32_t r = 0; r * 44 < 2194; ++r) {
        rows += "L" + std::to_string(r * 44) + " ";
        for (uint32_t n = r * 44; n < std::min(2194u, r * 44 + 44); ++n) rows += (n % 3 == 0) ? '1' : '0';
        rows += "*\n";
    }
    std::string vectors = "V0001 0X0X0X0X0NHLHLHLHL0N*\n"   // 20 pins
                          "V2 1111*\n"                       // short: padded with X
                          "V0003 000000000000000000001111*\n" // long: cut to 20
                          "V 1*\n";                           // no number: skipped
    std::string text = "\x02Made by hand*\nN NOTE V0009 11* QP20*QF2194*\n" + rows + vectors + "C1A2b*\n\x03" "0000";
    ASSERT_EQ(LoadJed("a.jed", text), 1);
    EXPECT_EQ(checksum, 0x1A2Bu);
    EXPECT_EQ(blow, 732u); // multiples of 3 below 2194
    EXPECT_EQ(std::string(reinterpret_cast<char*>(TestVectorBuffer), 61),
              std::string("0X0X0X0X0NHLHLHLHL0N"
                          "1111XXXXXXXXXXXXXXXX"
                          "00000000000000000000") + '\0');

    // Saved: 50 fuse rows, the last of 38 fuses, then the vectors and the
    // standard fuse checksum; the file reads back to the same map.
    std::vector<uint8_t> vec(TestVectorBuffer, TestVectorBuffer + 0x8000);
    ASSERT_EQ(SaveJedecFile(Path("s.jed"), vec.data(), vec.size()), 1);
    std::string saved = Read(Path("s.jed"));
    EXPECT_EQ(saved.rfind("\x02\nJEDEC file generated by ", 0), 0u);
    EXPECT_TRUE(Has(saved, "DM Acme*\nDD PL16V8*\nQP20*\nQF2194*\nQV3*\nG0*F0*\nL00000 "));
    EXPECT_TRUE(Has(saved, "\nL02156 " + rows.substr(rows.rfind("L2156 ") + 6, 38) + "*\n"));
    EXPECT_FALSE(Has(saved, "L02200"));
    EXPECT_TRUE(Has(saved, "V00002 1111XXXXXXXXXXXXXXXX*\n"));
    char c[16];
    std::snprintf(c, sizeof c, "C%04X*\n\x03" "0000", StandardFuseChecksum(2194));
    EXPECT_EQ(saved.substr(saved.size() - 12), c);
    size_t rowsWritten = 0;
    for (size_t p = saved.find("\nL"); p != std::string::npos; p = saved.find("\nL", p + 1)) ++rowsWritten;
    EXPECT_EQ(rowsWritten, 50u);

    // A vector whose pins the list leaves unset (the vector editor's '.', or
    // a list cut for fewer pins) has X there, never a control byte.
    std::vector<uint8_t> shortList(40, 0);
    std::memcpy(shortList.data(), "0101010101HLHLHLHL0N" "11110000", 28);
    shortList[22] = 0xFF;
    const std::string partial = FormatJedecText(shortList.data(), shortList.size());
    EXPECT_TRUE(Has(partial, "QV2*")) << partial;
    EXPECT_TRUE(Has(partial, "\nV00002 11X10000XXXXXXXXXXXX*\n")) << partial;

    std::vector<uint8_t> before(BufferWindow, BufferWindow + 275);
    std::memset(BufferWindow, 0xFF, 512);
    ASSERT_EQ(LoadSaved(Path("s.jed")), 1);
    EXPECT_EQ(std::vector<uint8_t>(BufferWindow, BufferWindow + 274), std::vector<uint8_t>(before.begin(), before.end() - 1));
    EXPECT_EQ(checksum, StandardFuseChecksum(2194));
}

TEST_F(JedecTest, ExtraFieldsOfTheirRows) {
    // Row 266: E (73 fuses from 54096) and U (32 from 59000) round trip.
    SelectPld(54096, 64, 266);
    for (uint32_t i = 0; i < 73; ++i) SetBufferBit(54096 + i, i % 2);
    for (uint32_t i = 0; i < 32; ++i) SetBufferBit(59000 + i, i < 4);
    std::string e = Fuses(54096, 73), u = Fuses(59000, 32);
    ASSERT_EQ(SaveJedecFile(Path("e.jed"), nullptr, 0), 1);
    std::string saved = Read(Path("e.jed"));
    EXPECT_TRUE(Has(saved, "*\nE" + e + "*\nU" + u + "*\nC"));
    EXPECT_FALSE(Has(saved, "L54096")); // the count divides evenly: no empty row
    std::memset(BufferWindow, 0, BufferWindowBytes);
    ASSERT_EQ(LoadSaved(Path("e.jed")), 1);
    EXPECT_EQ(Fuses(54096, 73) + Fuses(59000, 32), e + u);

    // Row 260: 'E' at 7724; a letter inside another field is no field, and a
    // field with another character is abandoned.
    SelectPld(7724, 0, 260);
    ASSERT_EQ(LoadJed("f.jed", "\x02*N DEVICE E111*E2 11*QF7724*L0 1*N E1111*E 10 01*\x03"), 1);
    EXPECT_EQ(Fuses(7724, 6), "100100");
    // No row length: the writer uses rows of 64 fuses.
    ASSERT_EQ(SaveJedecFile(Path("g.jed"), nullptr, 0), 1);
    EXPECT_TRUE(Has(Read(Path("g.jed")), "\nL00064 "));
}

// A file whose QF names another fuse count (another device, or another PAL
// type than the one chosen) loads as before, with a line naming both counts.
TEST_F(JedecTest, FuseCountOfAnotherDeviceIsNamedAndLoaded) {
    SelectPld(2706, 40, 0); // a 20V8-type part, a 16V8 file
    ASSERT_EQ(LoadJed("a.jed", "\x02*QP20*QF 2194 *F0*L00000 1011*L02190 1*\x03"), 1);
    EXPECT_TRUE(LogHas(" The file has 2194 fuses (QF); the device has 2706.")) << LogText();
    EXPECT_EQ(Fuses(0, 4), "1011");
    EXPECT_EQ(GetBufferBit(2190), 1u);
    // A PAL type's count replaces the device's: its own files say nothing.
    MainLog().Clear();
    SelectPld(328, 32, 0);
    ASSERT_EQ(LoadJed("b.jed", "\x02*QF328*L00000 1*\x03"), 1);
    ASSERT_EQ(LoadJed("c.jed", "\x02*QP20*L00000 1*\x03"), 1); // no QF at all
    ExpectNoLogLine("(QF)");
    ASSERT_EQ(LoadJed("d.jed", "\x02*QF2194*L00000 1*\x03"), 1);
    EXPECT_TRUE(LogHas(" The file has 2194 fuses (QF); the device has 328.")) << LogText();
}

// A file whose "C" field differs from the fuses it sets, or whose
// transmission checksum is neither 0000 nor the sum of its text, still loads
// as written, with a line naming both values; good files load silently
// whatever range the buffer checksum covers.
TEST_F(JedecTest, ChecksumsThatDisagreeWithTheFileAreNamed) {
    // The text from STX to ETX summed, as the transmission checksum counts it.
    auto textSum = [](const std::string& text) {
        uint32_t sum = 0;
        for (size_t i = text.find('\x02'); i <= text.find('\x03'); ++i) sum += static_cast<uint8_t>(text[i]);
        return sum & 0xFFFF;
    };
    // The body with a "C" field, ETX and a transmission checksum (its own
    // sum plus `off`, or 0000).
    auto withSums = [&](const std::string& body, uint32_t fuseSum, bool transmission, uint32_t off = 0) {
        char c[16];
        std::snprintf(c, sizeof c, "C%04X*\n", fuseSum);
        const std::string text = "\x02\n" + body + c + "\x03";
        std::snprintf(c, sizeof c, "%04X", transmission ? (textSum(text) + off) & 0xFFFF : 0);
        return text + c;
    };
    // Fuses 0, 2, 3 and 2193: 0Dh + 02h (fuse 2193 is bit 1 of byte 274).
    const std::string body = "QP20*QF2194*F0*\nL00000 1011*\nL02193 1*\n";
    BufferStart = 0;
    BufferEnd = 10; // the user's range: the buffer sum is not the file's
    for (bool transmission : {false, true}) {
        ASSERT_EQ(LoadJed("good.jed", withSums(body, 0x0F, transmission)), 1);
        EXPECT_EQ(checksum, 0x0Fu);
    }
    // F1 and a QF past the device: its fuses past the device count as set.
    SelectPld(2190, 44, 0);
    ASSERT_EQ(LoadJed("f1.jed", withSums("*QF2194*F1*\nL00000 0000*\n", (0xF0 + 273 * 0xFF + 0x03) & 0xFFFF, true)), 1);
    ExpectNoLogLine("Invalid check");
    SelectPld(2194, 44, 0);

    // One fuse flipped after the sum was taken: the file's map, and the line.
    std::string flipped = body;
    flipped.replace(flipped.find("1011"), 4, "1001");
    ASSERT_EQ(LoadJed("flip.jed", withSums(flipped, 0x0F, true)), 1);
    EXPECT_TRUE(LogHas("Invalid check in JEDEC file. (fuse checksum 000Fh, the fuses sum to 000Bh)")) << LogText();
    EXPECT_EQ(Fuses(0, 4), "1001");
    EXPECT_EQ(checksum, 0x0Fu);

    // A transmission checksum of another text.
    MainLog().Clear();
    const std::string wrong = withSums(body, 0x0F, true, 1);
    ASSERT_EQ(LoadJed("t.jed", wrong), 1);
    char line[96];
    std::snprintf(line, sizeof line, "Invalid check in JEDEC file. (transmission checksum %04Xh, the text sums to %04Xh)",
                  (textSum(wrong) + 1) & 0xFFFF, textSum(wrong));
    EXPECT_TRUE(LogHas(line)) << LogText();
    ExpectNoLogLine("fuse checksum");
    EXPECT_EQ(Fuses(0, 4), "1011");

    // Three digits, no STX, a letter among the digits, no C field: nothing to compare.
    MainLog().Clear();
    for (const std::string& text : {wrong.substr(0, wrong.size() - 1), std::string("QF2194*L00000 1011*\x03" "1234"),
                                    std::string("\x02*QF2194*L00000 1*\x03" "12G4"),
                                    std::string("\x02*QF2194*L00000 1011*\x03")})
        ASSERT_EQ(LoadJed("s.jed", text), 1);
    ExpectNoLogLine("Invalid check");

    // Row 262's E field lies over fuse 0: it is no part of the fuse checksum.
    SelectPld(2194, 44, 262);
    ASSERT_EQ(LoadJed("e.jed", withSums(body + "E1111*\n", 0x0F, true)), 1);
    EXPECT_EQ(Fuses(0, 4), "1111");
    // A QF larger than any map: no sum to compare with.
    ASSERT_EQ(LoadJed("q.jed", withSums("*QF9999999*L00000 1*\n", 0x1234, true)), 1);
    ExpectNoLogLine("Invalid check");

    // The program's own files read back silently: their C field is the sum
    // of their fuses whatever the user's range or the row's own buffer
    // checksum covers (row 266's reaches into its E field).
    SelectPld(54096, 64, 266);
    for (uint32_t n = 0; n < 54096 + 73; n += 5) SetBufferBit(n, 1);
    BufferEnd = 10;
    ASSERT_EQ(SaveJedecFile(Path("own.jed"), nullptr, 0), 1);
    ASSERT_EQ(LoadSaved(Path("own.jed")), 1);
    EXPECT_EQ(checksum, StandardFuseChecksum(54096));
    ExpectNoLogLine("Invalid check");
}

// File > Save carries the test vectors only for the pin count they were
// loaded for: regrouped by another pin count each vector would take pins of
// the next, cut to it each would lose pins. An empty list for another pin
// count says nothing. What is saved loads again with no line.
TEST_F(JedecTest, SavedVectorsAreThoseOfTheirPinCount) {
    auto saved = [] {
        const VectorList v = TestVectorsForSave();
        return FormatJedecText(v.Data, v.Length);
    };
    const std::string sixteen = "V1 011000000N0NNNNNNNHN*V2 010000000N0NNNNNNNLN*";
    const std::string twentyFour = "V1 110000000000NNNNNNNNNHNN*V2 100000000000NNNNNNNNNLNN*";
    const struct {
        uint32_t fuses, package; // the part selected when saving
        std::string file;        // a file of the other pin count
        const char* head;
        const char* line;
    } cases[] = {
        // A GAL16V8 file's vectors held with a 22V10-type part selected.
        {5892, 6, "\x02*QP20*QF2194*L00000 1*" + sixteen + "\x03", "QP24*\nQF5892*\nQV0*",
         " The vectors are for 20 pins; the device has 24: none saved."},
        // A 24-pin part's vectors with a 20-pin part selected: not cut to 20.
        {2194, 4, "\x02*QP24*QF2194*L00000 1*" + twentyFour + "\x03", "QP20*\nQF2194*\nQV0*",
         " The vectors are for 24 pins; the device has 20: none saved."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        MainLog().Clear();
        ASSERT_EQ(LoadJed("v.jed", c.file), 1);
        SelectPld(c.fuses, 44, 0);
        PackageIndex = c.package;
        const std::string other = saved();
        EXPECT_TRUE(Has(other, c.head)) << other;
        EXPECT_FALSE(Has(other, "\nV")) << other;
        EXPECT_TRUE(LogHas(c.line)) << LogText();
        ASSERT_EQ(LoadSaved(Write("other.jed", other)), 1);
    }

    // Their own pin count saves them whole.
    ASSERT_EQ(LoadJed("v.jed", "\x02*QP20*QF2194*L00000 1*" + sixteen + "\x03"), 1);
    const std::string own = saved();
    EXPECT_TRUE(Has(own, "QV2*\n")) << own;
    EXPECT_TRUE(Has(own, "\nV00001 011000000N0NNNNNNNHN*\nV00002 010000000N0NNNNNNNLN*\n")) << own;
    ASSERT_EQ(LoadSaved(Write("own.jed", own)), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(TestVectorBuffer)), "011000000N0NNNNNNNHN010000000N0NNNNNNNLN");

    MainLog().Clear();
    ASSERT_EQ(LoadJed("w.jed", "\x02*QF2194*L00000 1*\x03"), 1);
    PackageIndex = 6;
    EXPECT_TRUE(Has(saved(), "QV0*"));
    ExpectNoLogLine("vectors are");
}

// A file cut short (inside a field, or after one but before the ETX its
// STX opened; with LF or CR LF line ends) loads as it stands, with a line;
// its fields end at the ETX, so the transmission checksum after it is no
// fuse. A fuse digit that is neither 0 nor 1 (x and X too) refuses the file
// with a line naming the fuse: skipped, it would move every later fuse of
// its field. So does an L field without a fuse number, naming the field:
// skipped, its fuses would keep their default unseen.
TEST_F(JedecTest, CutFilesBadFuseDigitsAndNumbersGetTheirLines) {
    std::string whole = "\x02\nQP20*QF2194*F0*\n";
    for (uint32_t first = 0; first < 2194; first += 44) {
        whole += "L" + std::to_string(first) + " ";
        for (uint32_t n = first; n < std::min(2194u, first + 44); ++n) whole += n % 5 == 0 ? '1' : '0';
        whole += "*\n";
    }
    whole += "V1 011000000N0NNNNNNNHN*\nC0000*\n\x03" "0000";
    std::string crlf;
    for (char ch : whole) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const struct {
        std::string text;
        const char* line;
        int fusesSet; // of fuses 0-2193, -1 not looked at
    } cases[] = {
        {whole.substr(0, whole.size() / 2), " Warning: the file ends inside its L field (no closing *); it may be cut short.",
         -1},
        {whole.substr(0, whole.find("V1")), " Warning: no ETX after the STX; the file may be cut short.", 439},
        {whole.substr(0, whole.find("*\nC0000")) + "\x03" "0000",
         " Warning: the V field before the ETX has no closing *; the file may be cut short.", 439},
        // The fuses end at the ETX: the "11" after it sets none.
        {"\x02*QF2194*L00000 10\n\x03" "11AB", " Warning: the L field before the ETX has no closing *; the file may be cut short.",
         1},
        {"QF2194*L00000 10", " Warning: the file ends inside its L field (no closing *); it may be cut short.", 1},
        // Cut right after an L: no field yet, so no number to miss.
        {"QF2194*L00000 10*L\r\n", " Warning: the file ends inside its L field (no closing *); it may be cut short.", 1},
        // CR LF line ends, cut at a line end.
        {crlf.substr(0, crlf.find("*\r\nL88 ")) + "\r\n",
         " Warning: the file ends inside its L field (no closing *); it may be cut short.", 18},
        {crlf.substr(0, crlf.find("V1")), " Warning: no ETX after the STX; the file may be cut short.", 439},
        {crlf.substr(0, crlf.find("*\r\nC0000")) + "\r\n\x03" "0000",
         " Warning: the V field before the ETX has no closing *; the file may be cut short.", 439},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        MainLog().Clear();
        std::memset(BufferWindow, 0xFF, 512);
        ASSERT_EQ(LoadJedecFile(Write("cut.jed", c.text), checksum, blow), 1);
        EXPECT_TRUE(LogHas(c.line)) << LogText();
        EXPECT_EQ(DamageLines(), 1u) << LogText();
        if (c.fusesSet >= 0) {
            EXPECT_EQ(blow, static_cast<uint32_t>(c.fusesSet));
        }
        EXPECT_EQ(Fuses(0, 4), "1000");
    }
    // Half the file: the fuses up to the cut, the rest clear.
    ASSERT_EQ(LoadJedecFile(Write("half.jed", whole.substr(0, whole.size() / 2)), checksum, blow), 1);
    EXPECT_GT(blow, 150u);
    EXPECT_LT(blow, 300u);
    EXPECT_EQ(GetBufferBit(2190), 0u);

    // A fuse digit 2, x or X (no "leave the default"), a control byte among
    // the digits (blanks and line ends between digits are none); an L field
    // with a letter in its number, eleven digits past its zeros, no number,
    // a control byte in it: refused, the map and the vectors as they were.
    const std::pair<std::string, const char*> digits[] = {
        {"\x02*QF2194*L00000 10 1\r\n1*L00040 1021*\x03", " The file gives fuse 42 as '2', neither 0 nor 1."},
        {"\x02*QF2194*L00000 1\t0\x07" "1*\x03", " The file gives fuse 2 as 07h, neither 0 nor 1."},
        {"\x02*QF2194*L00000 1x0*\x03", " The file gives fuse 1 as 'x', neither 0 nor 1."},
        {"\x02*QF2194*F1*L00008 00\r\nX0*\x03", " The file gives fuse 10 as 'X', neither 0 nor 1."},
        {"\x02*QF2194*L00000 1*L0009A 0100*\x03", " The file's field 'L0009A' has no fuse number of at most 10 digits."},
        {"\x02*QF2194*L000012345678901 1*\x03",
         " The file's field 'L000012345678901' has no fuse number of at most 10 digits."},
        {"\x02*QF2194*L 0100*\x03", " The file's field 'L' has no fuse number of at most 10 digits."},
        {"\x02*QF2194*L00004 1*L*L00008 1*\x03", " The file's field 'L' has no fuse number of at most 10 digits."},
        {"\x02*QF2194*L00\x07 1*\x03", " The file's field 'L00<07h>' has no fuse number of at most 10 digits."},
        {"\x02*QF2194*L" + std::string(30, '0') + "Z 1*\x03",
         " The file's field 'L00000000000000000000000...' has no fuse number of at most 10 digits."},
    };
    for (const auto& [text, line] : digits) {
        SCOPED_TRACE(line);
        MainLog().Clear();
        std::memset(BufferWindow, 0x5A, 300);
        std::memset(TestVectorBuffer, 'Q', 4);
        EXPECT_EQ(LoadJedecFile(Write("digit.jed", text), checksum, blow), -1);
        EXPECT_TRUE(LogHas(line)) << LogText();
        EXPECT_EQ(DamageLines(), 1u) << LogText();
        EXPECT_FALSE(LogHas("File type invalid."));
        EXPECT_EQ(std::vector<uint8_t>(BufferWindow, BufferWindow + 300), std::vector<uint8_t>(300, 0x5A));
        EXPECT_EQ(TestVectorBuffer[0], 'Q');
    }
    // The whole file, and a hand-written one without STX and ETX: no line.
    MainLog().Clear();
    ASSERT_EQ(LoadJed("whole.jed", whole), 1);
    EXPECT_EQ(blow, 439u);
    ASSERT_EQ(LoadJed("bare.jed", "QF2194*L00000 1011*"), 1);
    EXPECT_EQ(Fuses(0, 4), "1011");
}

// The vectors keep the pin count of the file (its QP field, else the length
// of its longest vector), whatever the selected device's: cut by another
// they would drive each pin with another pin's symbol. A line names it.
TEST_F(JedecTest, VectorsKeepTheFilesPinCount) {
    PackageIndex = 6; // a 24-pin part selected, a 20-pin part's file
    const std::string vectors = "V1 011000000N0NNNNNNNHN*V2 010000000N0NNNNNNNLN*";
    ASSERT_EQ(LoadJed("q.jed", "\x02*QP20*QF2194*L00000 1*" + vectors + "\x03"), 1);
    EXPECT_TRUE(LogHas(" The file's vectors are for 20 pins (QP); the device has 24.")) << LogText();
    EXPECT_EQ(TestVectorPinCount, 20u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(TestVectorBuffer)),
              "011000000N0NNNNNNNHN" "010000000N0NNNNNNNLN");
    // Saved for the 24-pin part: none, as for vectors of a device chosen since.
    EXPECT_EQ(TestVectorsForSave().Length, 0u);
    EXPECT_TRUE(LogHas(" The vectors are for 20 pins; the device has 24: none saved.")) << LogText();

    // No QP: the longest vector's length, the shorter padded with X.
    MainLog().Clear();
    ASSERT_EQ(LoadJed("n.jed", "\x02*QF2194*L00000 1*V1 0110*V2 010000000N0NNNNNNNLN*\x03"), 1);
    EXPECT_TRUE(LogHas(" The file's vectors are for 20 pins; the device has 24.")) << LogText();
    EXPECT_EQ(TestVectorPinCount, 20u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(TestVectorBuffer)), "0110XXXXXXXXXXXXXXXX" "010000000N0NNNNNNNLN");

    // The device's own count, or no vectors at all: no line, the device's count.
    MainLog().Clear();
    ASSERT_EQ(LoadJed("o.jed", "\x02*QP24*QF2194*L00000 1*V1 0110*\x03"), 1);
    EXPECT_EQ(TestVectorPinCount, 24u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(TestVectorBuffer)), "0110" + std::string(20, 'X'));
    ASSERT_EQ(LoadJed("p.jed", "\x02*QP20*QF2194*L00000 1*\x03"), 1);
    EXPECT_EQ(TestVectorPinCount, 24u);
    ExpectNoLogLine("vectors are");
}

TEST_F(JedecTest, BadFilesLeaveTheMapAsItWas) {
    std::memset(BufferWindow, 0x5A, 300);
    std::memset(TestVectorBuffer, 'Q', 4);
    ASSERT_EQ(LoadJed("a.jed", "\x02QF2194*F1*V0001 0101*C1234*\x03"), -1);
    EXPECT_TRUE(LogHas("File type invalid."));
    ASSERT_EQ(LoadJedecFile(Path("missing.jed"), checksum, blow), -1);
    EXPECT_TRUE(LogHas("Unable to open."));
    EXPECT_EQ(std::vector<uint8_t>(BufferWindow, BufferWindow + 300), std::vector<uint8_t>(300, 0x5A));
    EXPECT_EQ(TestVectorBuffer[0], 'Q');
}

TEST_F(JedecTest, TheFuseMapIsBankZeroWhateverBankTheWindowShows) {
    // Bank 1 in the window, filled with a pattern no fuse file makes.
    ASSERT_EQ(SelectBank(0x10000, 1), 1);
    std::memset(BufferWindow, 0xA5, BufferBankBytes);
    ASSERT_EQ(LoadJed("a.jed", "\x02*QF2194*F0*L00000 1011*L02190 1111*\x03"), 1);
    EXPECT_EQ(blow, 7u);
    EXPECT_EQ(FuseMap()[0], 0x0D);
    EXPECT_EQ(Fuses(0, 4), "1011");
    SetBufferBit(5, 1);
    EXPECT_EQ(FuseMap()[0], 0x2D);
    EXPECT_EQ(BufferWindow[0], 0xA5); // bank 1 untouched
    // The writer's L fields and checksum, and the POF packet, agree on bank 0.
    const std::string jed = FormatJedecText(nullptr, 0);
    EXPECT_TRUE(Has(jed, "\nL00000 10110100000")) << jed;
    char c[16];
    std::snprintf(c, sizeof c, "\nC%04X*", StandardFuseChecksum(2194));
    EXPECT_TRUE(Has(jed, c)) << jed;
    ASSERT_EQ(SavePofFile(Path("a.pof")), 1);
    std::memset(FuseMap(), 0, 300);
    ASSERT_EQ(LoadPofFile(Path("a.pof")), 1);
    EXPECT_EQ(Fuses(0, 8), "10110100");
    EXPECT_EQ(Fuses(2190, 4), "1111");
}

class PofTest : public JedecTest {};

TEST_F(PofTest, RoundTripKeepsEveryFuse) {
    for (uint32_t n = 0; n < 2194; ++n) SetBufferBit(n, (n * 7) % 5 == 0);
    SetBufferBit(2193, 1); // in the last partial byte
    std::vector<uint8_t> map(BufferWindow, BufferWindow + 275);
    ASSERT_EQ(SavePofFile(Path("a.pof")), 1);
    std::string saved = Read(Path("a.pof"));
    ASSERT_EQ(saved.substr(0, 12), std::string("POF\0\0\0\1\0\3\0\0\0", 12));
    EXPECT_EQ(saved.substr(12, 6 + 7), std::string("\2\0\7\0\0\0PL16V8\0", 13));
    EXPECT_EQ(saved.size(), 12u + 13 + 6 + 12 + 275 + 8);
    std::memset(BufferWindow, 0, 512);
    ASSERT_EQ(LoadPofFile(Path("a.pof")), 1);
    EXPECT_EQ(std::vector<uint8_t>(BufferWindow, BufferWindow + 275), map);

    // Row 296 names the part after "as".
    CurrentAlgorithm = 296;
    CurrentDeviceName = "CFG2 as CFG1";
    ASSERT_EQ(SavePofFile(Path("b.pof")), 1);
    EXPECT_EQ(Read(Path("b.pof")).substr(12, 11), std::string("\2\0\5\0\0\0CFG1\0", 11));
}

TEST_F(PofTest, PacketsAndMalformedFiles) {
    auto u16 = [](uint32_t v) { return std::string{static_cast<char>(v & 255), static_cast<char>(v >> 8)}; };
    auto u32 = [&](uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    const std::string head = std::string("POF\0", 4) + u32(0x10000) + u32(3);
    // Tag 17 in character form: "10" clears fuse 0 and sets fuse 1; a
    // comment packet is skipped; tag 7 words masked.
    std::string chars = u16(17) + u32(14) + u32(0) + u16(0) + u32(2) + u16(0) + "10";
    std::string comment = u16(3) + u32(5) + "hello";
    std::string table = u16(7) + u32(12 + 4) + u16(0) + u16(0) + u16(1) + u16(2) + u16(0x0FFF) + u16(1) +
                        u16(0xF234) + u16(0xA5A5);
    std::string end = u16(8) + u32(2) + u16(0);
    BufferWindow[0] = 0x01;
    ASSERT_EQ(LoadPofFile(Write("a.pof", head + chars + comment + end)), 1);
    EXPECT_EQ(BufferWindow[0], 0x02);
    ASSERT_EQ(LoadPofFile(Write("b.pof", head + table + end + "ignored")), 1);
    EXPECT_EQ(GetBytes(0, 4), (std::vector<uint8_t>{0x34, 0x02, 0xA5, 0x05}));

    // Counts beyond the packet, a packet cut short, another magic: nothing changes.
    std::memset(BufferWindow, 0x77, 16);
    std::string tooMany = u16(17) + u32(14) + u32(0) + u16(0) + u32(100) + u16(1) + "\xFF\xFF";
    ASSERT_EQ(LoadPofFile(Write("c.pof", head + tooMany + end)), -1);
    ASSERT_EQ(LoadPofFile(Write("d.pof", head + chars.substr(0, 10))), -1);
    ASSERT_EQ(LoadPofFile(Write("e.pof", "JEDEC" + head.substr(5) + chars)), -1);
    EXPECT_TRUE(LogHas("File type invalid."));
    EXPECT_TRUE(LogHas("Invalid HEADER!"));
    EXPECT_EQ(GetBytes(0, 16), std::vector<uint8_t>(16, 0x77));

    // Fuses past the largest buffer are past the device too: refused.
    std::string far = u16(17) + u32(13) + u32(0xFFFFFFF8) + u16(0) + u32(8) + u16(1) + "\xFF";
    ASSERT_EQ(LoadPofFile(Write("f.pof", head + far + end)), -1);
    EXPECT_TRUE(LogHas(" The file has fuse 4294967288; the device has 2194 fuses only.")) << LogText();
    EXPECT_EQ(GetBytes(0, 16), std::vector<uint8_t>(16, 0x77));
}

namespace {

std::string PofU16(uint32_t v) { return {static_cast<char>(v & 255), static_cast<char>(v >> 8 & 255)}; }
std::string PofU32(uint32_t v) { return PofU16(v & 0xFFFF) + PofU16(v >> 16); }
std::string PofHead() { return std::string("POF\0", 4) + PofU32(0x10000) + PofU32(3); }
std::string PofEnd() { return PofU16(8) + PofU32(2) + PofU16(0); }
// Tag 17 with count fuses from first, packed.
std::string PofFuses(uint32_t first, uint32_t count, const std::string& packed) {
    return PofU16(17) + PofU32(12 + static_cast<uint32_t>(packed.size())) + PofU32(first) + PofU16(0) +
           PofU32(count) + PofU16(1) + packed;
}

} // namespace

// A packet that reaches past the device's fuses refuses the whole file with
// a line; the map is left as it was, also where earlier packets were good.
TEST_F(PofTest, PacketPastTheDeviceIsRefusedWithTheBufferUnchanged) {
    const std::string good = PofFuses(0, 8, "\xFF");
    const struct {
        std::string packet;
        const char* line;
    } cases[] = {
        {PofFuses(2190, 5, "\x1F"), " The file has fuse 2194; the device has 2194 fuses only."},
        {PofFuses(3000, 1, "\x01"), " The file has fuse 3000; the device has 2194 fuses only."},
        // A byte table one byte longer than the map's 275.
        {PofU16(7) + PofU32(12 + 276) + PofU16(0) + PofU16(0) + PofU16(1) + PofU16(276) + PofU16(0xFF) +
             PofU16(0) + std::string(276, '\x11'),
         " The file has fuse 2200; the device has 2194 fuses only."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        MainLog().Clear();
        std::memset(BufferWindow, 0x5A, 300);
        EXPECT_EQ(LoadPofFile(Write("p.pof", PofHead() + good + c.packet + PofEnd())), -1);
        EXPECT_TRUE(LogHas(c.line)) << LogText();
        EXPECT_EQ(std::vector<uint8_t>(BufferWindow, BufferWindow + 300), std::vector<uint8_t>(300, 0x5A));
    }
    // Up to the last fuse, and a table of exactly the map's bytes, load.
    EXPECT_EQ(LoadPofFile(Write("q.pof", PofHead() + PofFuses(2190, 4, "\x0F") + PofEnd())), 1);
    EXPECT_EQ(Fuses(2188, 6), "001111");
    EXPECT_EQ(LoadPofFile(Write("r.pof", PofHead() + PofU16(7) + PofU32(12 + 275) + PofU16(0) + PofU16(0) +
                                             PofU16(1) + PofU16(275) + PofU16(0xFF) + PofU16(0) +
                                             std::string(275, '\x11') + PofEnd())),
              1);
    EXPECT_EQ(BufferWindow[274], 0x11);
}

// A POF load replaces the whole map: fuses its packets do not name are clear,
// a packet lands at its first fuse, and a file that does not cover the
// device's fuses says so.
TEST_F(PofTest, LoadReplacesTheMapFromEachPacketsFirstFuse) {
    std::memset(BufferWindow, 0xFF, 300); // the previous design: every fuse set
    MainLog().Clear();
    // Fuses 40-47 from a packed byte, fuses 1000-1003 in character form.
    const std::string chars = PofU16(17) + PofU32(16) + PofU32(1000) + PofU16(0) + PofU32(4) + PofU16(0) + "1010";
    ASSERT_EQ(LoadPofFile(Write("a.pof", PofHead() + PofFuses(40, 8, "\xA5") + chars + PofEnd())), 1);
    EXPECT_EQ(Fuses(32, 24), "000000001010010100000000");
    EXPECT_EQ(Fuses(998, 8), "00010100");
    uint32_t set = 0;
    for (uint32_t n = 0; n < 2194; ++n) set += GetBufferBit(n);
    EXPECT_EQ(set, 4u + 2u);
    EXPECT_TRUE(LogHas(" The file holds 12 of the device's 2194 fuses; the others are clear.")) << LogText();
    EXPECT_EQ(BufferWindow[275], 0xFF); // past the map: untouched

    // Packets that together cover every fuse: no line.
    MainLog().Clear();
    ASSERT_EQ(LoadPofFile(Write("b.pof", PofHead() + PofFuses(0, 1000, std::string(125, '\xFF')) +
                                             PofFuses(1000, 1194, std::string(150, '\x00')) + PofEnd())),
              1);
    EXPECT_EQ(Fuses(998, 4), "1100");
    ExpectNoLogLine("of the device's");
}
