// Configuration and project files: the block byte for byte against a golden
// file laid out independently (tests/data/config/make_golden.py), the
// round trip of a project with its data file, and damaged files.
#include <cstring>

#include "engine/Bringup.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/Port.h"
#include "engine/ProgramState.h"
#include "platform/PortIo.h"
#include "tests/engine/FakePpdev.h"
#include "tests/engine/HexFilesFixture.h"

namespace {

class ConfigTest : public DataFileTest {
protected:
    void SetUp() override {
        InstallPortIoRef(nullptr); // no programmer behind the port
        DataFileTest::SetUp();
        ResetAll();
    }
    void TearDown() override {
        DataFileTest::TearDown();
        ResetAll();
    }
    void ResetAll() {
        ResetProgramState();
        ui.Clear();
    }
    // The log holds these lines one after another.
    static bool LogFollows(const std::vector<std::string>& lines) {
        const std::vector<std::string> log = MainLog().Lines();
        return std::search(log.begin(), log.end(), lines.begin(), lines.end()) != log.end();
    }
    static std::string Golden() { return SourceDir() + "/tests/data/config/golden.cfg"; }
    // A copy of the golden file (written from SetGoldenSettings, as the first test shows).
    std::vector<uint8_t> GoodFile(const std::string& name) {
        Write(name, ReadBytes(Golden()));
        return ReadBytes(Path(name));
    }

    // The settings golden.cfg holds.
    void SetGoldenSettings() {
        const std::vector<uint8_t> golden = ReadBytes(Golden());
        ASSERT_EQ(golden.size(), ConfigurationBlockSize);
        DeviceSection = SectionEprom;
        ASSERT_EQ(SetCurrentDevice(DeviceRecordFromStored(golden.data() + CfgDeviceRecord)), 1);
        WordMode = 2;
        FillByte = 0xA5;
        PortIndex = 3;
        PortBase = 0x278;
        LastSocketIndex = 1;
        ConfigSpareWord = 0x1234;
        PortDelayCount = 20;
        TimerPrescale = 2;
        BufferClearBeforeLoad = 1;
        BlankCheckBeforeProgram = 0;
        VerifyAfterRead = 1;
        VerifyAfterProgram = 0;
        ByteSwap = 1;
        DeviceInsertTest = 0;
        AutoRepeatEnabled = 0;
        ProgramDirectory = "/opt/vexlor";
        DataFileName = "/home/User/Data/Image.BIN";
        DataFileType = DataFileBinary;
        SavedFileName = "/home/User/Out.hex";
        RecentDevices = {"AMD Am27C256", "ATMEL AT28C64", "MICROCHIP 24LC16"};
        ProjectAuthor = "Tester";
        ProjectDescription = "Golden block\r\nsecond line";
    }
};

TEST_F(ConfigTest, GoldenBlockWrittenAndRestored) {
    const std::vector<uint8_t> golden = ReadBytes(Golden());
    SetGoldenSettings();
    ASSERT_TRUE(SaveConfigOrProjectFile(Path("krd.cfg"), 0).Ok());
    const std::vector<uint8_t> bytes = ReadBytes(Path("krd.cfg"));
    ASSERT_EQ(bytes.size(), ConfigurationBlockSize);
    for (size_t i = 0; i < golden.size(); ++i) ASSERT_EQ(bytes[i], golden[i]) << "offset " << i;

    ResetAll();
    ProgramDirectory = "/usr/local/vexlor"; // where this program runs
    ASSERT_EQ(LoadConfigOrProjectFile(Golden(), 0), 0);
    // Every setting came back: the block of the restored settings is the
    // golden one, except the program directory (always the running
    // program's) and the data file, which its loader forgot as it is missing.
    ConfigurationBlock again;
    BuildConfigurationBlock(again, 0);
    for (size_t i = 0; i < golden.size(); ++i) {
        if (i >= CfgProgramDirectory && i < CfgSavedFileName) continue;
        ASSERT_EQ(again.Bytes[i], golden[i]) << "offset " << i;
    }
    EXPECT_EQ(ProgramDirectory, "/usr/local/vexlor");
    EXPECT_EQ(CurrentDeviceName, "Am27C256");
    EXPECT_EQ(ReadVccHigh, 55u);
    EXPECT_EQ(BufferEnd, 2u * 32767 + 1); // split mode "odd" on the restored device
    EXPECT_EQ(RecentDevices.size(), 3u);

    // The stored data file does not exist here: its loader says so, and
    // "File Load ok!" is not claimed.
    EXPECT_TRUE(LogHas("File Loading..."));
    EXPECT_FALSE(LogHas("File Load ok!"));
    EXPECT_TRUE(LogHas("Calculating CheckSum..."));
    EXPECT_TRUE(LogHas("Can not find the Vexlor programming module."));
}

// The order of start-up: the backend is chosen, then the configuration is
// read, and the port it names is the one opened.
TEST_F(ConfigTest, TheBackendOpensOnTheConfiguredPortOnceTheConfigurationIsRead) {
    using Opened = std::vector<std::pair<std::string, uint16_t>>;
    const struct {
        const char* env; // PROGRAMMER_PORT, nullptr unset
        uint8_t index;   // the stored PortIndex
        std::set<std::string> missing;
        Opened atStart, afterConfig;
        uint16_t base; // PortBase afterwards
    } cases[] = {
        {nullptr, 2, {}, {}, {{"/dev/parport1", 0x3BC}}, 0x3BC},
        {nullptr, 3, {}, {}, {{"/dev/parport2", 0x278}}, 0x278},
        {nullptr, 0, {"/dev/parport0"}, {}, {{"/dev/parport1", 0x3BC}}, 0x3BC},
        {nullptr, 2, {"/dev/parport1"}, {}, {}, 0x3BC},
        {"/dev/parport5", 3, {}, {{"/dev/parport5", 0x378}}, {{"/dev/parport5", 0x378}, {"/dev/parport5", 0x278}}, 0x278},
        {"/dev/parport5", 1, {}, {{"/dev/parport5", 0x378}}, {{"/dev/parport5", 0x378}}, 0x378},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.env ? c.env : "unset") + " index " + std::to_string(c.index));
        std::vector<uint8_t> bytes = GoodFile("port.cfg");
        bytes[CfgPortIndex] = c.index;
        bytes[CfgPortBase] = static_cast<uint8_t>(PortTable[c.index] & 0xFF);
        bytes[CfgPortBase + 1] = static_cast<uint8_t>(PortTable[c.index] >> 8);
        Write("port.cfg", bytes);
        ResetAll();
        fakeppdev::Install(c.missing);
        if (c.env) {
            setenv("PROGRAMMER_PORT", c.env, 1);
        } else {
            unsetenv("PROGRAMMER_PORT");
        }
        ASSERT_EQ(OpenGiveioDriver(), 0);
        EXPECT_EQ(fakeppdev::g_opened, c.atStart);
        ASSERT_EQ(LoadConfigOrProjectFile(Path("port.cfg"), 0), 0);
        EXPECT_EQ(fakeppdev::g_opened, c.afterConfig);
        EXPECT_EQ(PortBase, c.base);
        EXPECT_STREQ(CurrentPortIo().Name(), c.afterConfig.empty() ? "none" : "ppdev");
        EXPECT_TRUE(c.afterConfig.empty() || CurrentPortIo().Reaches(c.base));
        EXPECT_LE(fakeppdev::g_mostClaimed, 1); // the old claim went first

        // Read again, the port in place stays; another port moves the backend.
        ASSERT_EQ(OpenConfiguredPort(), 0);
        EXPECT_EQ(fakeppdev::g_opened, c.afterConfig);
        PortIndex = c.index == 2 ? 3 : 2;
        ASSERT_EQ(OpenConfiguredPort(), 0);
        const uint16_t moved = static_cast<uint16_t>(PortTable[PortIndex]);
        ASSERT_FALSE(fakeppdev::g_opened.empty());
        EXPECT_EQ(fakeppdev::g_opened.back().second, moved);
        EXPECT_EQ(fakeppdev::g_opened.back().first, c.env ? c.env : PpdevNodeForIndex(PortIndex));
        EXPECT_TRUE(CurrentPortIo().Reaches(moved));
        EXPECT_LE(fakeppdev::g_mostClaimed, 1);
        fakeppdev::Remove();
    }
    // A named node that does not open ends the start-up.
    ResetAll();
    fakeppdev::Install({"/dev/parport5"});
    setenv("PROGRAMMER_PORT", "/dev/parport5", 1);
    EXPECT_EQ(OpenGiveioDriver(), -1);
    unsetenv("PROGRAMMER_PORT");
    fakeppdev::Remove();
    ResetAll();
}

// With PROGRAMMER_PORT unset, the configured port that cannot be opened is
// named with the system's reason, in the log and on the standard error
// output; a machine without parallel ports is not told so at every start.
TEST_F(ConfigTest, AConfiguredPortThatDoesNotOpenIsNamedWithItsReason) {
    unsetenv("PROGRAMMER_PORT");
    std::vector<uint8_t> bytes = GoodFile("port.cfg");
    bytes[CfgPortIndex] = 1;
    Write("port.cfg", bytes);
    ResetAll();
    fakeppdev::Install();
    fakeppdev::g_denied = {"/dev/parport0"};
    ASSERT_EQ(OpenGiveioDriver(), 0);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(LoadConfigOrProjectFile(Path("port.cfg"), 0), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "/dev/parport0: Permission denied\n");
    EXPECT_TRUE(LogFollows({"/dev/parport0: Permission denied", "Can not find the Vexlor programming module."}));
    EXPECT_STREQ(CurrentPortIo().Name(), "none");

    // Auto over nodes this machine does not have: nothing to say about them.
    bytes[CfgPortIndex] = 0;
    Write("port.cfg", bytes);
    ResetAll();
    fakeppdev::Install({"/dev/parport0", "/dev/parport1", "/dev/parport2"});
    ASSERT_EQ(OpenGiveioDriver(), 0);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(LoadConfigOrProjectFile(Path("port.cfg"), 0), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(LogHas("/dev/parport0: No such file or directory"));
    fakeppdev::Remove();
    ResetAll();
}

TEST_F(ConfigTest, ProjectRoundTripReloadsItsDataFile) {
    // A data file with a mixed-case name: the name is kept as it is.
    std::filesystem::create_directory(dir / "Data");
    std::vector<uint8_t> data(256);
    uint32_t expectedSum = 0xFF * (16384 - 256); // the rest of the built-in device's image
    for (size_t i = 0; i < data.size(); ++i) expectedSum += data[i] = static_cast<uint8_t>(i * 7);
    const std::string dataPath = Write("Data/Image.Bin", data);

    DataFileName = dataPath;
    DataFileType = DataFileBinary;
    ProjectAuthor = "Jo";
    ProjectDescription = "Boot image";
    WordMode = 0;
    const std::string project = Path("board.prj");
    ASSERT_TRUE(SaveConfigOrProjectFile(project, 1).Ok());
    const std::vector<uint8_t> bytes = ReadBytes(project);
    ASSERT_EQ(bytes.size(), ConfigurationBlockSize);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), 28), "Project File       Rev2.8i. ");
    EXPECT_EQ(bytes[28], 0x1A);

    ResetAll();
    FillBufferRange(0, 0xFFFF, 0x00);
    ASSERT_EQ(LoadConfigOrProjectFile(project, 1), 0);
    EXPECT_EQ(DataFileName, dataPath);
    EXPECT_EQ((std::vector<std::string>{ProjectAuthor, ProjectDescription, CurrentDeviceName}),
              (std::vector<std::string>{"Jo", "Boot image", "Am27128"}));
    EXPECT_EQ(BufferWindow[1], 7);
    EXPECT_EQ(BufferWindow[300], 0xFF);

    char sumLine[32];
    std::snprintf(sumLine, sizeof sumLine, "-CheckSum : %04Xh", expectedSum & 0xFFFF);
    EXPECT_TRUE(LogFollows({"File Loading...", "100h(256) byte(s) loaded.", "File Load ok!", "Calculating CheckSum...",
                            sumLine}));
}

TEST_F(ConfigTest, PldProjectReloadsItsJedecFile) {
    DeviceParameters params{};
    for (auto [field, size, value] : {std::tuple{FieldAlgorithm, 2u, 219u}, {FieldLogicImage, 2u, 12u},
                                      {FieldOperationMask, 2u, 0x13Fu}, {FieldPldPackage, 2u, 4u},
                                      {FieldPldDeviceSize, 4u, 2194u}, {FieldPldFuseRowLength, 2u, 32u},
                                      {FieldReadVcc, 1u, 50u}})
        WriteParameterField(params, field, size, value);
    DeviceRecord record{};
    ASSERT_TRUE(MakeDeviceRecord(SectionPld, 29, "GAL16V8", params, record));
    DeviceSection = SectionPld;
    ASSERT_EQ(SetCurrentDevice(record), 1);
    DataFileName = Write("logic.jed", "\x02*QF2194*F0*L0000 1111 0000 1*\x03");
    DataFileType = DataFileJedec;
    const std::string project = Path("logic.prj");
    ASSERT_TRUE(SaveConfigOrProjectFile(project, 1).Ok());

    ResetAll();
    FillBufferRange(0, 0xFFFF, 0xEE);
    ASSERT_EQ(LoadConfigOrProjectFile(project, 1), 0);
    EXPECT_EQ(std::tie(DeviceSection, CurrentDeviceName), std::make_tuple(uint32_t{SectionPld}, std::string("GAL16V8")));
    // The fuse map starts cleared (8000h).
    EXPECT_EQ(std::make_tuple(BufferWindow[0], BufferWindow[1], BufferWindow[0x8000]), std::make_tuple(0x0F, 0x01, 0x00));
    EXPECT_TRUE(LogFollows({"File Load ok!", "Calculating CheckSum...", "-CheckSum : 0010h"}));
}

TEST_F(ConfigTest, RefusedFilesChangeNothing) {
    const std::string good = Path("good.cfg");
    const std::vector<uint8_t> bytes = GoodFile("good.cfg");
    // Another revision's configuration file; a truncated one; a project file
    // read as a configuration; a missing file.
    std::vector<uint8_t> otherRevision = bytes, project = bytes;
    std::memcpy(otherRevision.data() + 22, "2.7a", 4);
    Write("rev.cfg", otherRevision);
    Write("short.cfg", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1790));
    std::memcpy(project.data(), "Project File       Rev", 22);
    Write("proj.prj", project);

    ResetAll();
    FillBufferRange(0, 0xFFFF, 0x5A);
    WordMode = 1;
    LastSocketIndex = 0;
    const uint32_t deviceEnd = DeviceEnd;
    struct Case { std::string path; int flag, code; };
    for (const Case& c : {Case{Path("rev.cfg"), 0, 48}, Case{Path("short.cfg"), 0, 39}, Case{Path("proj.prj"), 0, 48},
                          Case{good, 1, 48}, Case{Path("missing.cfg"), 0, 41}}) {
        SCOPED_TRACE(c.path);
        MainLog().Clear();
        EXPECT_EQ(LoadConfigOrProjectFile(c.path, c.flag), c.code);
        EXPECT_EQ(WordMode, 1u);
        EXPECT_EQ(FillByte, 0xFFu);
        EXPECT_EQ(CurrentDeviceName, "Am27128");
        EXPECT_EQ(DeviceEnd, deviceEnd);
        EXPECT_TRUE(RecentDevices.empty());
        EXPECT_EQ(BufferWindow[0], 0x5A);
        EXPECT_FALSE(LogHas("Calculating CheckSum..."));
        EXPECT_FALSE(LogHas("AMD Am27128")) << "re-selected";
    }

    // A project file of another revision is accepted.
    std::memcpy(project.data() + 22, "2.7a", 4);
    EXPECT_EQ(LoadConfigOrProjectFile(Write("old.prj", project), 1), 0);
    EXPECT_EQ(CurrentDeviceName, "Am27C256");
}

TEST_F(ConfigTest, BadValuesFallBackToTheirDefaults) {
    std::vector<uint8_t> bytes = GoodFile("good.cfg");
    bytes[CfgWordMode] = 9;
    bytes[CfgLastSocketIndex] = 12;
    bytes[CfgPortBase] = 0x80;       // 0380h: no parallel port
    bytes[CfgPortDelayCount] = 0xC8; // reads back as -56
    bytes[CfgOptions + 0] = 7;       // timer prescale
    bytes[CfgOptions + 2] = 0xFF;    // blank check before program: -1
    bytes[CfgDeviceSection] = 1;     // disagrees with the EPROM record
    std::memset(bytes.data() + CfgProjectAuthor, 'A', CfgProjectAuthorSize); // no terminator
    std::memset(bytes.data() + CfgRecentDevices + CfgTextSize, 'R', CfgTextSize); // second name unterminated
    bytes[CfgDataFileType] = 7;
    Write("bad.cfg", bytes);
    ResetAll();
    ASSERT_EQ(LoadConfigOrProjectFile(Path("bad.cfg"), 0), 0);
    // Defaults; the port base of the stored port index; good values (VerifyAfterRead) stay.
    EXPECT_EQ(std::tie(WordMode, LastSocketIndex, PortDelayCount, TimerPrescale, BlankCheckBeforeProgram,
                       VerifyAfterRead, DeviceSection),
              std::make_tuple(0u, 0u, 0u, 1u, 1u, 1u, uint32_t{SectionEprom}));
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(CurrentDeviceName, "Am27C256");
    EXPECT_EQ(ProjectAuthor, "");
    ASSERT_EQ(RecentDevices.size(), 1u);
    EXPECT_TRUE(DataFileName.empty());
    for (const char* what : {"split mode", "gang setting", "project author"})
        EXPECT_TRUE(LogHas(std::string("Invalid ") + what + " in the configuration file, default used.")) << what;
    EXPECT_FALSE(LogHas("File Loading..."));

    // A record that the device check refuses keeps the current device.
    bytes = ReadBytes(Golden());
    bytes[CfgDeviceRecord + 52] = 0x01; // algorithm row 190h = 400
    bytes[CfgDeviceRecord + 53] = 0x90;
    ResetAll();
    ASSERT_EQ(LoadConfigOrProjectFile(Write("badrecord.cfg", bytes), 0), 0);
    EXPECT_EQ(CurrentDeviceName, "Am27128");
    EXPECT_EQ(CurrentAlgorithm, 0u);
    EXPECT_EQ(FillByte, 0xA5u); // the other settings are taken
}

TEST_F(ConfigTest, LongPathsAreStoredEmptyNotCut) {
    DataFileName = "/" + std::string(90, 'd') + "/image.bin";
    ProgramDirectory = "/" + std::string(100, 'p');
    SavedFileName = "/short.hex";
    ProjectDescription = std::string(500, 'x');
    ConfigurationBlock block;
    BuildConfigurationBlock(block, 1);
    EXPECT_EQ(block.Bytes[CfgDataFileName], 0);
    EXPECT_EQ(block.Bytes[CfgProgramDirectory], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.Bytes + CfgSavedFileName)), "/short.hex");
    // Free text is cut to its field, with its terminator inside.
    EXPECT_EQ(block.Bytes[CfgProjectDescription + 398], 'x');
    EXPECT_EQ(block.Bytes[CfgProjectDescription + 399], 0);
    EXPECT_TRUE(LogHas("Data file name too long to be stored; stored empty."));
    EXPECT_TRUE(LogHas("Program directory too long to be stored; stored empty."));
}

} // namespace
