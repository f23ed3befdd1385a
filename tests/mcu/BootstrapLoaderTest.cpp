// Row 146 against the simulator's loader parts, which run the library's
// loaders on their 68HC11 core: a whole run per variant, the loader each
// entry downloads, the handshake pacing, and injected faults (a part that
// never gets ready, a cell that does not take its byte, a short or foreign
// loader entry, a break).
#include "W78Fixture.h"

#include <algorithm>
#include <cstdlib>

#include "sim/BootBus.h"
#include "sim/LoaderMcuChip.h"

namespace {

class LoaderRun146 : public W78Run {
  protected:
    void SetUp() override {
        W78Run::SetUp();
        sim::RegisterBootBusPersonality();
        simp.EnableTrace(true);
    }
    sim::LoaderMcuChip* PutLoaderPart(const char* name, void (*change)(sim::LoaderMcuFacts&) = nullptr) {
        return PutPart<sim::LoaderMcuChip>("GENERIC-ALGORITHM", name, change);
    }
    static bool InWindows146(uint32_t a) {
        return (a >= 0xFFF && a <= 0x1EFF) || (a >= 0x1FF4 && a <= 0x1FFF);
    }
    // A random 8 KB image written by the 68HC11 binutils as S-records
    // (option byte at 0FFFh 5Ah); false when the tools are missing.
    static bool WriteLoaderToolsFile(std::vector<uint8_t>& image) {
        image.assign(0x2000, 0xFF);
        uint32_t x = 0x2468ACEu;
        for (uint32_t a = 0xFFF; a < 0x2000; ++a) {
            x = x * 1103515245u + 12345u;
            image[a] = static_cast<uint8_t>(x >> 16);
        }
        image[0xFFF] = 0x5A;
        std::ofstream("loader146.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        return std::system("m68hc11-objcopy -I binary -O srec loader146.bin loader146.s19 >/dev/null 2>&1") ==
               0;
    }
    // The bytes written to register 5 since trace position `from`.
    std::vector<uint8_t> Downloaded(size_t from) const {
        std::vector<uint8_t> bytes;
        const auto& trace = simp.RegisterTrace();
        for (size_t i = from; i < trace.size(); ++i)
            if (trace[i].write && trace[i].reg == 5) bytes.push_back(trace[i].value);
        return bytes;
    }
    // The value last written to register `reg` (-1: never).
    int LastWrite(uint8_t reg) const {
        const auto& trace = simp.RegisterTrace();
        for (auto it = trace.rbegin(); it != trace.rend(); ++it)
            if (it->write && it->reg == reg) return it->value;
        return -1;
    }
    // The first 128 bytes of library entry `entry`.
    static std::vector<uint8_t> Loader(uint32_t entry) {
        std::vector<uint8_t> bytes(std::min<uint32_t>(OpenLibraryEntry(entry), 128));
        for (uint32_t k = 0; k < bytes.size(); ++k)
            bytes[k] = ReadLibraryByte(k);
        return bytes;
    }
};

class LoaderDevices146 : public LoaderRun146, public ::testing::WithParamInterface<const char*> {};

// Blank check of a fresh part, a binutils file programmed, verified at both
// levels, compared, read back, saved and reloaded; blank check then fails.
TEST_P(LoaderDevices146, WholeRun) {
    sim::LoaderMcuChip* chip = PutLoaderPart(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(DeviceEnd + 1, chip->Words());
    std::vector<uint8_t> image;
    if (!WriteLoaderToolsFile(image)) GTEST_SKIP() << "m68hc11-objcopy not installed";
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ASSERT_EQ(LoadHexFamilyFile("loader146.s19", 0, 0), 1);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x2000; ++a)
        ASSERT_EQ(chip->Cell(a), InWindows146(a) ? image[a] : chip->BlankOf(a)) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!"))
        << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, 0x1FFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x2000; ++a) {
        if (!InWindows146(a)) image[a] = 0x5A; // outside the windows nothing is read
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    }
    ExpectSavedAndReloaded(0, image);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, LoaderDevices146, ::testing::Values("HC05-LOADER-V0", "HC05-LOADER-V1"),
                         [](const auto& info) {
                             std::string s = info.param;
                             for (char& c : s)
                                 c = c == '-' ? '_' : c;
                             return s;
                         });

// Every read mode downloads the reading loader (entry 199), Program the
// programming one (entry 200), 128 bytes each at least 3 ms apart; the blank
// check wants 0 at 0FFFh and 0FFh elsewhere.
TEST_F(LoaderRun146, LoadersAndBlankValues) {
    sim::LoaderMcuChip* chip = PutLoaderPart("HC05-LOADER-V0");
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, 0x1FFF, 0xFF);
    FillBufferRange(0xFFF, 0xFFF, 0x00);
    for (int mode : {ReadModeBlank, ReadModeVerify, ReadModeRead, ReadModeCompare}) {
        const size_t from = simp.RegisterTrace().size();
        EXPECT_EQ(AlgorithmTable[146].Read(mode), 1) << mode;
        const auto bytes = Downloaded(from);
        EXPECT_EQ(bytes.size(), 128u) << mode;
        EXPECT_EQ(bytes, Loader(199)) << mode;
    }
    // The first handshake only after the whole loader: 128 x (200 us + 3 ms).
    size_t from = simp.RegisterTrace().size();
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(AlgorithmTable[146].Program(), 1);
    EXPECT_EQ(Downloaded(from), Loader(200));
    EXPECT_GE(simp.NowUs() - t0, 128ull * 3200);
    EXPECT_TRUE(chip->Burnt().empty()); // an all-blank buffer burns nothing

    chip->SetCell(0xFFF, 0x01);
    EXPECT_EQ(AlgorithmTable[146].Read(ReadModeBlank), -1);
    EXPECT_EQ(ChipAddress, 0xFFFu);
    chip->SetCell(0xFFF, 0x00);
    chip->SetCell(0x1FF4, 0x00);
    EXPECT_EQ(AlgorithmTable[146].Read(ReadModeBlank), -1);
    EXPECT_EQ(ChipAddress, 0x1FF4u);
    ExpectNoViolations();
}

// A part that never gets ready ends the entry with -1 at the first address,
// powered down, after the bounded wait; a cell that does not take its byte
// fails the verify at its address.
TEST_F(LoaderRun146, ReadyAndStuckCell) {
    sim::LoaderMcuChip* chip = PutLoaderPart("HC05-LOADER-V1");
    ASSERT_NE(chip, nullptr);
    chip->NeverReady();
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(AlgorithmTable[146].Program(), -1);
    EXPECT_EQ(ChipAddress, 0xFFFu);
    EXPECT_LT(simp.NowUs() - t0, 30'000'000ull);
    EXPECT_EQ(LastWrite(1), 0); // powered down
    EXPECT_EQ(AlgorithmTable[146].Read(ReadModeRead), -1);

    chip = PutLoaderPart("HC05-LOADER-V1");
    FillPattern(0x2000);
    chip->StickCell(0x1234);
    EXPECT_EQ(AlgorithmTable[146].Program(), 1);
    EXPECT_EQ(AlgorithmTable[146].Read(ReadModeVerify), -1);
    EXPECT_EQ(ChipAddress, 0x1234u);
    ExpectNoViolations();
}

// The loaders the row names are in the library, 128 bytes of a program for
// the part's core: its stack and its ports set first, and different for
// reading and programming.
TEST_F(LoaderRun146, LoaderEntriesInTheLibrary) {
    const std::vector<uint8_t> head{0x8E, 0x00, 0xAF, 0xCE, 0x01, 0x00};
    for (uint32_t entry : {199u, 200u}) {
        ASSERT_GE(OpenLibraryEntry(entry), 128u) << entry;
        const std::vector<uint8_t> bytes = Loader(entry);
        EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin())) << entry;
    }
    EXPECT_NE(Loader(199), Loader(200));
}

// A library whose entry `entry` holds `bytes` (a copy of the built one).
class LoaderPatchedLibrary146 {
  public:
    LoaderPatchedLibrary146(const std::vector<uint8_t>& content, uint32_t entry)
        : dir_(ProgramDirectory), file_(LibraryFileName) {
        std::ifstream in(LibraryFilePath(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto offset = static_cast<uint32_t>(bytes.size());
        bytes.insert(bytes.end(), content.begin(), content.end());
        const auto size = static_cast<uint32_t>(content.size());
        for (int i = 0; i < 4; ++i) {
            bytes[2 + 8 * entry + i] = static_cast<char>(offset >> (8 * i));
            bytes[2 + 8 * entry + 4 + i] = static_cast<char>(size >> (8 * i));
        }
        std::ofstream("patched146.dat", std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        char cwd[4096];
        ProgramDirectory = getcwd(cwd, sizeof cwd) ? cwd : ".";
        LibraryFileName = "patched146.dat";
        CloseLibrary();
    }
    ~LoaderPatchedLibrary146() {
        ProgramDirectory = dir_;
        LibraryFileName = file_;
        CloseLibrary();
    }

  private:
    std::string dir_, file_;
};

// A missing or short loader entry is refused before anything is powered,
// with a detail line naming it.
TEST_F(LoaderRun146, ShortLoaderEntryRefused) {
    sim::LoaderMcuChip* chip = PutLoaderPart("HC05-LOADER-V0");
    ASSERT_NE(chip, nullptr);
    std::vector<uint8_t> head = Loader(200);
    head.resize(26);
    for (const std::vector<uint8_t>& content : {head, std::vector<uint8_t>{}}) {
        LoaderPatchedLibrary146 lib(content, 200);
        const size_t from = simp.RegisterTrace().size();
        const uint64_t t0 = simp.NowUs();
        EXPECT_EQ(AlgorithmTable[146].Program(), -1);
        EXPECT_EQ(simp.RegisterTrace().size(), from);
        EXPECT_LT(simp.NowUs() - t0, 1000u);
        EXPECT_TRUE(
            HasLine(" Loader entry 200 holds " + std::to_string(content.size()) + " of its 128 bytes!"))
            << LogText();
        // The reading loader is still whole.
        EXPECT_EQ(AlgorithmTable[146].Read(ReadModeBlank), 1);
    }
    ExpectNoViolations();
}

// An entry of the right length that holds no loader for the part (here 128
// bytes of another program) is refused before anything is powered, with a
// line naming it: a part running it would serve no handshake.
TEST_F(LoaderRun146, ForeignLoaderEntryRefused) {
    sim::LoaderMcuChip* chip = PutLoaderPart("HC05-LOADER-V0");
    ASSERT_NE(chip, nullptr);
    LoaderPatchedLibrary146 lib(std::vector<uint8_t>(128, 0x9D), 199);
    const size_t from = simp.RegisterTrace().size();
    EXPECT_EQ(AlgorithmTable[146].Read(ReadModeVerify), -1);
    EXPECT_EQ(simp.RegisterTrace().size(), from);
    EXPECT_TRUE(HasLine(" Library entry 199 holds no chip-side loader!")) << LogText();
    EXPECT_EQ(chip->Downloaded(), 0u);
}

// The part's image is the bootstrap image's loader layout: the values the
// row writes pass; a value it never writes, a control value another layout
// takes, a register without a role, a release before the port set-up and a
// strobe while reset is held are violations.
TEST_F(LoaderRun146, ImageTakesOnlyTheRowsValues) {
    ASSERT_NE(PutLoaderPart("HC05-LOADER-V0"), nullptr);
    ASSERT_NE(simp.Personality(), nullptr);
    EXPECT_EQ(simp.Personality()->Id(), sim::kPersonalityBootstrap);
    simp.ClearViolations();
    for (const auto& [reg, value] : {std::pair<uint32_t, uint32_t>{3, 1}, {2, 0x0D}, {1, 0xD6}, {0, 0xA5}, {4, 0x5A},
                                     {5, 0x3C}, {1, 0xF7}, {1, 0xE7}, {1, 0}, {2, 0}, {3, 0}})
        WriteRegister(reg, value);
    ExpectNoViolations();
    EXPECT_EQ(ReadRegister(1) & 1, 1) << "no loader runs: busy";
    EXPECT_EQ(ReadRegister(0), 0xFF) << "the part does not drive its port";

    struct Foreign146 {
        uint32_t reg, value;
        const char* what;
    };
    for (const Foreign146 f : {Foreign146{1, 0xC6, "a control value the row never writes"},
                               {2, 0x0E, "a set-up value the row never writes"},
                               {3, 2, "a strobe value"},
                               {6, 1, "a register without a role"},
                               {1, 0xE8, "the 68HC711 layouts' reset"},
                               {1, 0xDF, "a 68HC05 layout's release"},
                               {1, 0xFD, "another 68HC05 layout's release"}}) {
        simp.ClearViolations();
        WriteRegister(f.reg, f.value);
        EXPECT_EQ(simp.Violations().size(), 1u) << f.what;
        WriteRegister(f.reg, 0);
    }

    simp.ClearViolations();
    WriteRegister(1, 0xF7); // register 2 is still 0
    ASSERT_EQ(simp.Violations().size(), 1u);
    EXPECT_NE(simp.Violations().front().find("not set up"), std::string::npos) << simp.Violations().front();
    simp.ClearViolations();
    WriteRegister(2, 0x0D);
    WriteRegister(3, 1);
    WriteRegister(1, 0xD6);
    WriteRegister(3, 0);
    ASSERT_EQ(simp.Violations().size(), 1u);
    EXPECT_NE(simp.Violations().front().find("held in reset"), std::string::npos) << simp.Violations().front();
    simp.ClearViolations();
}

// A break answered No ends the run with 3, powered down.
TEST_F(LoaderRun146, UserBreak) {
    PutLoaderPart("HC05-LOADER-V0");
    FillPattern(0x2000);
    ui.BreakAtPercent = 60;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    EXPECT_EQ(LastWrite(1), 0);
    ExpectNoViolations();
}

// The loader takes each byte at its chip address's buffer place: a Buffer
// Start apart from Chip Start is refused for Program and Read before
// power-up, the part and the buffer as they were.
TEST_F(LoaderRun146, BufferStartApartRefused) {
    sim::LoaderMcuChip* chip = PutLoaderPart("HC05-LOADER-V0");
    FillPattern(0x10000);
    std::vector<uint16_t> cells(chip->Words());
    for (uint32_t a = 0; a < chip->Words(); ++a) cells[a] = chip->Cell(a);
    std::vector<uint8_t> buffer(0x10000);
    for (uint32_t a = 0; a < 0x10000; ++a) buffer[a] = BufferByte(a);
    DeviceStart = 0xFFF;
    BufferStart = 0x8FF;
    simp.ClearTrace();
    for (const int op : {OpProgram, OpRead}) {
        EXPECT_EQ(Run(op), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(" Buffer Start 8FFh not supported: data sit at the chip's own addresses (Chip "
                            "Start FFFh)."))
            << LogText();
    }
    EXPECT_TRUE(simp.RegisterTrace().empty());
    for (uint32_t a = 0; a < chip->Words(); ++a) ASSERT_EQ(chip->Cell(a), cells[a]) << std::hex << a;
    for (uint32_t a = 0; a < 0x10000; ++a) ASSERT_EQ(BufferByte(a), buffer[a]) << std::hex << a;
    ExpectNoViolations();
}

} // namespace
