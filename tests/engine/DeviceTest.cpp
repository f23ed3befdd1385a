// Current device: record decode, address ranges, per-algorithm defaults,
// refusal of bad records, error texts and the value formatters.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/LogModel.h"
#include "engine/NeighbourState.h"
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "platform/Tone.h"

namespace {

// Parameter bytes in the library's form, written field by field.
struct Params {
    DeviceParameters p{};
    Params& Set(uint32_t field, uint32_t size, uint32_t value) {
        WriteParameterField(p, field, size, value);
        return *this;
    }
};

// The record as the device library stores it (maker, name field length,
// 0-terminated name, 47 parameter bytes), parsed the way the library reader
// does.
DeviceRecord Record(uint32_t section, uint8_t maker, const std::string& name, const Params& params) {
    std::vector<uint8_t> entry = {maker, static_cast<uint8_t>(name.size() + 1)};
    entry.insert(entry.end(), name.begin(), name.end());
    entry.push_back(0);
    entry.insert(entry.end(), params.p.Bytes, params.p.Bytes + DeviceParameterCount);
    DeviceRecord r{};
    size_t next = 0;
    EXPECT_TRUE(ParseLibraryRecord(entry.data(), entry.size(), 0, section, r, next));
    EXPECT_EQ(next, entry.size());
    return r;
}

// A 27C512-like EPROM: 64 K x 8, algorithm 3.
Params Eprom() {
    const uint32_t fields[][3] = {
        {FieldAlgorithm, 2, 3},        {FieldAdapterCode, 1, 0},     {FieldLogicImage, 2, 5},
        {FieldOperationMask, 2, 0x41F}, {FieldFileFormatMask, 1, 0x0F}, {FieldDeviceFlags, 2, 0x30},
        {FieldPackage, 2, 13},         {FieldDeviceSize, 4, 65536},  {FieldDataWidth, 1, 8},
        {FieldPageSize, 2, 25},        {FieldVccp, 2, 625},          {FieldVpp, 2, 1275},
        {FieldPulseWidth, 2, 100},     {FieldMakerId, 2, 0x0001},    {FieldDeviceId, 2, 0x0091},
        {FieldReadVcc, 1, 50},         {FieldReadVccLow, 1, 45},     {FieldReadVccHigh, 1, 55}};
    Params p;
    for (const auto& f : fields) p.Set(f[0], f[1], f[2]);
    return p;
}

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallUiBridge(&ui);
        ResetProgramState();
        ui.Clear();
    }
    void TearDown() override {
        InstallUiBridge(nullptr);
        ResetProgramState();
    }
    int Select(const DeviceRecord& r) {
        DeviceSection = r.Bytes[RecordSectionByte];
        return SetCurrentDevice(r);
    }
    std::vector<std::string> Lines() const { return MainLog().Lines(); }

    RecordingUi ui;
};

TEST_F(DeviceTest, BuiltInDeviceIsCurrentAtStartAndItsLibraryFormDecodesToIt) {
    EXPECT_EQ(CurrentMakerName + " " + CurrentDeviceName, "AMD Am27128");
    EXPECT_EQ(std::tie(CurrentAlgorithm, LogicImageNumber, SupportedOperationMask, DeviceSize, DeviceEnd, BufferEnd),
              std::make_tuple(0u, 5u, 0x41Fu, 16384u, 0x3FFFu, 0x3FFFu));
    EXPECT_EQ(Retry, 25u); // row 0 takes Retry from Page
    EXPECT_EQ(PackageName(PackageIndex), "DIP28");

    // The library form parses into the stored record, byte for byte.
    DeviceRecord parsed{};
    size_t next = 0;
    ASSERT_TRUE(
        ParseLibraryRecord(BuiltInLibraryRecord, BuiltInLibraryRecordSize, 0, SectionEprom, parsed, next));
    EXPECT_EQ(next, BuiltInLibraryRecordSize);
    EXPECT_EQ(0, std::memcmp(parsed.Bytes, CurrentDeviceRecord, CurrentDeviceRecordSize));

    // Selecting it logs the maker and name line.
    EXPECT_EQ(Select(parsed), 1);
    EXPECT_EQ(Lines().back(), "AMD Am27128");
}

TEST_F(DeviceTest, EpromFieldsAreBigEndianAndOverPulseRuleHolds) {
    Params p = Eprom();
    p.Set(FieldOverPulseWidth, 2, 14000)
        .Set(FieldVariant, 1, 0x12)
        .Set(FieldSubVariant, 1, 0x34)
        .Set(FieldVariant3, 1, 2)
        .Set(FieldGangAdapter, 1, 7)
        .Set(FieldAdapterCode, 1, 'R');
    ASSERT_EQ(Select(Record(SectionEprom, 5, "AT27C512R", p)), 1);
    EXPECT_EQ(Lines().back(), "ATMEL AT27C512R");
    EXPECT_EQ(std::tie(MakerIndex, CurrentAlgorithm, GangAdapterIndex, DeviceSize, Vccp, Vpp, PulseWidth),
              std::make_tuple(5u, 3u, 7u, 65536u, 625u, 1275u, 100u));
    EXPECT_EQ(std::tie(AdapterCode, DeviceVariant, DeviceSubVariant, DeviceVariant3),
              std::make_tuple(uint8_t{'R'}, uint8_t{0x12}, uint8_t{0x34}, uint8_t{2}));
    EXPECT_EQ(std::tie(ExpectedMakerId, ExpectedDeviceId, ReadVcc, ReadVccLow, ReadVccHigh),
              std::make_tuple(1u, 0x91u, 50u, 45u, 55u));
    EXPECT_EQ(std::tie(OverPulseWidth, PulseMul), std::make_tuple(4000u, 1u));

    p.Set(FieldOverPulseWidth, 2, 10000);
    ASSERT_EQ(Select(Record(SectionEprom, 5, "AT27C512R", p)), 1);
    EXPECT_EQ(std::tie(OverPulseWidth, PulseMul), std::make_tuple(10000u, 0u));

    // ReadRecordField: most significant byte first, any size 1-4.
    DeviceRecord r = Record(SectionEprom, 5, "X", p.Set(FieldDeviceSize, 4, 0x01020304));
    EXPECT_EQ(ReadRecordField(r, FieldDeviceSize, 4), 0x01020304u);
    EXPECT_EQ(ReadRecordField(r, FieldDeviceSize, 2), 0x0102u);
    EXPECT_EQ(ReadRecordField(r, 45, 2), 0u); // past the record
}

TEST_F(DeviceTest, SixteenBitFlashRangesInEverySplitMode) {
    Params p = Eprom();
    p.Set(FieldAlgorithm, 2, 20).Set(FieldDeviceSize, 4, 65536).Set(FieldDataWidth, 1, 16);
    const DeviceRecord r = Record(SectionEprom, 2, "Am29F400BT", p);
    const struct {
        uint32_t mode;
        uint32_t end;
    } cases[] = {{0, 0x1FFFF}, {1, 0x3FFFF}, {2, 0x3FFFF}, {3, 0x7FFFF},
                 {4, 0x7FFFF}, {5, 0x7FFFF}, {6, 0x7FFFF}};
    for (const auto& c : cases) {
        WordMode = c.mode;
        ASSERT_EQ(Select(r), 1);
        EXPECT_EQ(std::tie(DeviceEnd, BufferByteSize, SaveBufferEnd, BufferEnd),
                  std::make_tuple(0xFFFFu, 131072u, 0x1FFFFu, c.end)) << c.mode;
    }

    // A byte-wide device spread over two or four buffer bytes.
    const DeviceRecord narrow = Record(SectionEprom, 2, "Am27C512", Eprom());
    for (auto [mode, end, saveEnd] : {std::tuple{2u, 0x1FFFFu, 0xFFFFu}, {6u, 0x3FFFFu, 0xFFFFu}}) {
        WordMode = mode;
        ASSERT_EQ(Select(narrow), 1);
        EXPECT_EQ(std::tie(BufferByteSize, BufferEnd, SaveBufferEnd), std::make_tuple(0x10000u, end, saveEnd)) << mode;
    }
}

TEST_F(DeviceTest, PldRecordUsesItsOwnOffsetsAndAByteWideImage) {
    // A 16-bit device first: its width and sizes must not stay behind.
    Params wide = Eprom();
    wide.Set(FieldDataWidth, 1, 16).Set(FieldPageSize, 2, 64);
    ASSERT_EQ(Select(Record(SectionEprom, 2, "Am27C1024", wide)), 1);
    ASSERT_EQ(BufferByteSize, 131072u);

    Params p;
    p.Set(FieldAlgorithm, 2, 219)
        .Set(FieldLogicImage, 2, 12)
        .Set(FieldOperationMask, 2, 0x13F)
        .Set(FieldPldPackage, 2, 4)
        .Set(FieldPldDeviceSize, 4, 2194)
        .Set(FieldPldFuseRowLength, 2, 32)
        .Set(FieldPldUesFuseStart, 4, 2056)
        .Set(FieldReadVcc, 1, 50);
    WordMode = 3;
    ASSERT_EQ(Select(Record(SectionPld, 29, "GAL16V8", p)), 1);
    EXPECT_EQ(std::tie(PackageIndex, DeviceSize, FuseRowLength, UesFuseStart, WordMode),
              std::make_tuple(4u, 2194u, 32u, 2056u, 0u));
    EXPECT_EQ(std::tie(DeviceEnd, BufferEnd, BufferByteSize, SaveBufferEnd), std::make_tuple(274u, 274u, 275u, 274u));
    EXPECT_EQ(DataWidth, 8);
    // The non-PLD fields are not taken from a PLD record.
    EXPECT_EQ(PageSize, 64u);
}

TEST_F(DeviceTest, MicrocontrollerRowsTakeRetryAndRangesFromTheirDefaults) {
    auto select = [&](uint32_t row, uint8_t variant, uint8_t sub, uint8_t adapter, uint32_t page) {
        Params p = Eprom();
        p.Set(FieldAlgorithm, 2, row)
            .Set(FieldVariant, 1, variant)
            .Set(FieldSubVariant, 1, sub)
            .Set(FieldAdapterCode, 1, adapter)
            .Set(FieldPageSize, 2, page)
            .Set(FieldDeviceSize, 4, 0x10000);
        EXPECT_EQ(Select(Record(SectionMicro, 5, "AT89C51", p)), 1) << row;
    };
    for (uint32_t row : {100u, 104u, 173u, 193u, 195u, 196u}) {
        select(row, 0, 0xCA, 0, 40);
        EXPECT_EQ(Retry, 0xCAu & 63) << row;
    }
    for (uint32_t row : {0u, 66u, 301u, 302u}) {
        select(row, 0, 0xCA, 0, 40);
        EXPECT_EQ(Retry, 40u) << row;
    }
    select(101, 0, 0xCA, 0, 40);
    EXPECT_EQ(Retry, 25u);

    const uint32_t starts172[] = {0xF000, 0xE000, 0xC000, 0xA000, 0x8000};
    for (uint8_t v = 0; v < 5; ++v) {
        select(172, v, 0, 0, 0);
        EXPECT_EQ(std::tie(DeviceStart, BufferStart, DeviceEnd), std::make_tuple(starts172[v], starts172[v], 0xFFFFu));
    }
    select(172, 5, 0, 0, 0);
    EXPECT_EQ(DeviceStart, 0u);

    select(175, 0, 0, 0, 0);
    EXPECT_EQ(std::tie(DeviceStart, BufferStart), std::make_tuple(0xF800u, 0xF800u));

    // Row 185 on adapter 134 by variant; another adapter: the plain range.
    const struct { uint8_t variant, adapter; uint32_t start, end, bufferStart, bufferEnd; } cases185[] = {
        {1, 134, 0xE080, 0xFFFD, 0, 0x1F7D}, {2, 134, 0xC080, 0xFFFD, 0, 0x3F7D}, {2, 0, 0, 0xFFFF, 0, 0xFFFF}};
    for (const auto& c : cases185) {
        select(185, c.variant, 0, c.adapter, 0);
        EXPECT_EQ(std::tie(DeviceStart, DeviceEnd, BufferStart, BufferEnd),
                  std::make_tuple(c.start, c.end, c.bufferStart, c.bufferEnd)) << int{c.variant} << "/" << int{c.adapter};
    }
}

TEST_F(DeviceTest, GangSocketsDropWithoutGangFlagsAndPageBoundsTheEncryptionTable) {
    Params p = Eprom();
    LastSocketIndex = 3;
    for (auto [flags, last] : {std::pair{0x30u, 3u}, {0x10u, 3u}, {0x0Fu, 0u}}) {
        p.Set(FieldDeviceFlags, 2, flags);
        ASSERT_EQ(Select(Record(SectionEprom, 2, "Am27C512", p)), 1);
        EXPECT_EQ(LastSocketIndex, last) << flags;
    }
    for (auto [page, table] : {std::pair{64u, 64u}, {0x1000u, 128u}}) {
        p.Set(FieldPageSize, 2, page);
        ASSERT_EQ(Select(Record(SectionMicro, 5, "AT89C51", p)), 1);
        EXPECT_EQ(std::tie(PageSize, EncryptionTableSize), std::make_tuple(page, table));
    }
}

TEST_F(DeviceTest, SelectionRunsTheFamiliesDefaultsAndRow186Notice) {
    static int calls;
    calls = 0;
    ASSERT_TRUE(AddSelectionDefaultsHook([] { ++calls; }));
    ASSERT_EQ(Select(BuiltInDeviceRecord()), 1);
    EXPECT_EQ(calls, 1);

    std::vector<int> tones;
    SetToneSink([&](int hz, int) { tones.push_back(hz); });
    Params p = Eprom();
    p.Set(FieldAlgorithm, 2, 186).Set(FieldDeviceSize, 4, 0x2000);
    ASSERT_EQ(Select(Record(SectionMicro, 5, "AT89S8252", p)), 1);
    SetToneSink(nullptr);
    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "ATMEL AT89S8252");
    EXPECT_EQ(lines[lines.size() - 2], " ECON addr  : 1ff7h");
    EXPECT_EQ(lines[lines.size() - 1], " USER Bytes : 1ff8h - 1fffh");
    EXPECT_EQ(tones.size(), 1u);
}

TEST_F(DeviceTest, BadRecordsAreRefusedAndTheCurrentDeviceStays) {
    Params good = Eprom();
    ASSERT_EQ(Select(Record(SectionEprom, 2, "Am27C512", good)), 1);
    uint8_t before[CurrentDeviceRecordSize];
    std::memcpy(before, CurrentDeviceRecord, sizeof before);
    const uint32_t endBefore = DeviceEnd;

    auto with = [](uint32_t field, uint32_t size, uint32_t value) {
        Params p = Eprom();
        return Record(SectionEprom, 2, "X", p.Set(field, size, value));
    };
    auto patched = [](size_t at, size_t n, uint8_t value) {
        DeviceRecord r = Record(SectionEprom, 2, "X", Eprom());
        std::memset(r.Bytes + at, value, n);
        return r;
    };
    Params huge = Eprom(), pld;
    huge.Set(FieldDataWidth, 1, 16).Set(FieldDeviceSize, 4, 0x80000000u);
    pld.Set(FieldPldPackage, 2, 4); // PLD with no fuses
    std::vector<std::pair<const char*, DeviceRecord>> bad = {
        {"row", with(FieldAlgorithm, 2, 324)},
        {"package", with(FieldPackage, 2, 294)},
        {"adapter", with(FieldAdapterCode, 1, 136)},
        {"size", with(FieldDeviceSize, 4, 0)},
        {"huge", Record(SectionEprom, 2, "X", huge)},
        {"pld size", Record(SectionPld, 29, "GAL", pld)},
        {"maker", patched(RecordMakerByte, 1, 87)},
        {"name", patched(0, DeviceRecordNameArea, 'A')},          // no terminating zero
        {"device name", patched(4, DeviceRecordNameArea - 4, 'A')}, // device name runs out
        {"section", patched(RecordSectionByte, 1, 4)},
    };
    for (auto& [what, r] : bad) {
        ui.Clear();
        const size_t linesBefore = Lines().size();
        EXPECT_EQ(Select(r), -1) << what;
        EXPECT_EQ(0, std::memcmp(before, CurrentDeviceRecord, sizeof before)) << what;
        EXPECT_EQ(std::tie(DeviceSection, CurrentDeviceName, DeviceEnd),
                  std::make_tuple(uint32_t{SectionEprom}, std::string("Am27C512"), endBefore)) << what;
        ASSERT_EQ(Lines().size(), linesBefore + 1) << what;
        EXPECT_EQ(Lines().back().rfind("Invalid device record: ", 0), 0u) << Lines().back();
    }

    // A section that differs from the record's own is refused as well.
    DeviceSection = SectionPld;
    EXPECT_EQ(SetCurrentDevice(Record(SectionEprom, 2, "X", Eprom())), -1);
    EXPECT_EQ(DeviceSection, SectionEprom);
}

TEST_F(DeviceTest, DevicesMustFitTheBufferAndTheFuseMap) {
    // The largest image and fuse map are accepted; one more word or fuse is
    // refused with the limit named.
    const std::string image = "Invalid device record: device size larger than the buffer (256 MB).";
    const std::string fuses = "Invalid device record: fuse count larger than the fuse map (526336 fuses).";
    const struct {
        uint32_t section, width, size;
        const std::string* refusal;
    } cases[] = {
        {SectionEprom, 8, 256u << 20, nullptr},
        {SectionEprom, 8, (256u << 20) + 1, &image},
        {SectionEprom, 16, 128u << 20, nullptr},
        {SectionEprom, 16, 512u << 20, &image}, // 512 M words
        {SectionPld, 0, 526336, nullptr},
        {SectionPld, 0, 1000000, &fuses},
    };
    for (const auto& c : cases) {
        Params p = c.section == SectionPld ? Params() : Eprom();
        if (c.section == SectionPld) {
            p.Set(FieldPldPackage, 2, 4).Set(FieldPldDeviceSize, 4, c.size);
        } else {
            p.Set(FieldDataWidth, 1, c.width).Set(FieldDeviceSize, 4, c.size);
        }
        const DeviceRecord r = Record(c.section, 2, "X", p);
        EXPECT_EQ(ValidateDeviceRecord(r, c.section) == nullptr, c.refusal == nullptr) << c.size;
        EXPECT_EQ(Select(r), c.refusal ? -1 : 1) << c.size;
        if (c.refusal) {
            EXPECT_EQ(Lines().back(), *c.refusal);
        }
    }
}

TEST_F(DeviceTest, LibraryRecordsParseUntilTheEntryEndsAndMalformedOnesAreRejected) {
    std::vector<uint8_t> entry(BuiltInLibraryRecord, BuiltInLibraryRecord + BuiltInLibraryRecordSize);
    entry.insert(entry.end(), BuiltInLibraryRecord, BuiltInLibraryRecord + BuiltInLibraryRecordSize);
    DeviceRecord r{};
    size_t pos = 0, next = 0;
    int count = 0;
    while (pos < entry.size() && ParseLibraryRecord(entry.data(), entry.size(), pos, 0, r, next)) {
        ++count;
        pos = next;
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(pos, entry.size());

    // Cut short, name without zero, maker outside the table.
    EXPECT_FALSE(ParseLibraryRecord(entry.data(), BuiltInLibraryRecordSize - 1, 0, 0, r, next));
    std::vector<uint8_t> noZero(entry.begin(), entry.begin() + BuiltInLibraryRecordSize);
    noZero[9] = 'X';
    EXPECT_FALSE(ParseLibraryRecord(noZero.data(), noZero.size(), 0, 0, r, next));
    std::vector<uint8_t> badMaker(entry.begin(), entry.begin() + BuiltInLibraryRecordSize);
    badMaker[0] = 200;
    EXPECT_FALSE(ParseLibraryRecord(badMaker.data(), badMaker.size(), 0, 0, r, next));
    // Names that do not fit the 48-byte area.
    DeviceRecord out{};
    EXPECT_FALSE(MakeDeviceRecord(0, 16, std::string(30, 'N'), Params().p, out)); // GENERAL-INSTRUMENT
    EXPECT_TRUE(MakeDeviceRecord(0, 16, std::string(48 - 19 - 1, 'N'), Params().p, out));
}

TEST_F(DeviceTest, ErrorTextsAndSystemErrors) {
    for (int code : {36, 50, 61, ENOENT, -3}) ShowErrorByCode(code);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Chip address mismatching.", "Cannot create swap area.",
                                                  "Not enough memory.", std::strerror(ENOENT), "Error -3"}));
    // The program's codes and the system's error numbers overlap in 36-61;
    // each caller's value shows its own text, and 0 is no success.
    const std::pair<std::string, std::string> cases[] = {
        {ErrorTextByCode(0), "Error 0"},
        {ErrorTextByCode(40), "Unable to open Macro file."},
        {ErrorTextByCode(62), "Error 62"},
        {SystemErrorText(ELOOP), std::strerror(ELOOP)},
        {SystemErrorText(ENAMETOOLONG), std::strerror(ENAMETOOLONG)},
        {SystemErrorText(ENOENT), std::strerror(ENOENT)},
        {SystemErrorText(0), "Error 0"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
    static_assert(ELOOP >= FirstOwnErrorCode && ELOOP <= LastOwnErrorCode, "the overlap kept apart");
    MainLog().Clear();
    ShowSystemError(ENAMETOOLONG);
    EXPECT_EQ(Lines(), std::vector<std::string>{std::strerror(ENAMETOOLONG)});
}

TEST(DeviceFormat, PulseWidthAndVoltageTexts) {
    for (auto [text, expected] : {std::pair{FormatPulseWidth(0), "None"}, {FormatPulseWidth(999), "999Us"},
                                  {FormatPulseWidth(1500), "1Ms"}, {FormatVoltage(0), "None"},
                                  {FormatVoltage(305), "3.05V"}, {FormatVoltage(1300), "13.0V"},
                                  {FormatVoltage(1250), "12.50V"}})
        EXPECT_EQ(text, expected);
}

} // namespace
