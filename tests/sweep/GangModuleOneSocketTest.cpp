// A gang module of four sockets on the simulated programmer with the gang
// size at 1: a device whose bus serves one socket (serial engines, the PLD
// buses, the register TAP, the control bus, the address-list bus) programs,
// verifies and reads the part in the module's first socket as it does in the
// programmer's own socket, and the parts in sockets 2-4 stay blank.
#include "sim/Rack.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

// What one run on the module's first socket gave.
struct ModuleRun {
    bool refused = false; // the row refused the module with its line, before power-up
    std::string line;     // the steps and their results; "FAILED" in it when one failed
};

// With a gang module of four sockets fitted and the gang size at 1, programs
// the selected device (blank check before, verify after), verifies it and
// reads it back into a buffer of a byte the image does not hold there; checks
// the first socket's cells and the read back and, with `othersBlank` (a bus
// whose lines reach socket 1 alone), that the parts in sockets 2-4 stay
// blank. A row that declares it cannot work with a module fitted must
// refuse before any supply is switched on, with its line, every part blank.
inline ModuleRun RunOnModuleSocket1(RecordingUi& ui, const sim::CatalogPart& part, uint32_t seed, bool othersBlank) {
    ModuleRun run;
    auto fail = [&run](const std::string& why) {
        if (!why.empty() && run.line.find("FAILED") == std::string::npos) run.line += " FAILED:" + why;
    };
    sim::SimProgrammer* simp = ProgramSimulator();
    sim::Rack* rack = simp != nullptr ? sim::Rack::Find(*simp) : nullptr;
    if (rack == nullptr || rack->SocketsInUse() != 4) {
        fail(" no module of four sockets");
        return run;
    }
    LastSocketIndex = 0;
    const bool pld = DeviceSection == SectionPld;
    std::string ignored;
    const size_t bytes = RangeBytes(pld, 0x800, ignored);
    if (SelectBank(BufferEnd, 1) != 1) {
        fail(" no buffer for the range");
        return run;
    }
    SelectBank(0, 0);
    std::vector<uint8_t> image = LoadUserImage(pld, bytes, seed, true);
    uint8_t* buffer = pld ? FuseMap() : BufferImage() + BufferStart;
    const sim::CatalogChip& blank = BlankPart(part);
    auto blankFrom = [&](int from) {
        for (int s = from; s < 4; ++s) {
            const sim::CatalogChip* other = rack->Seated(s);
            if (other == nullptr) return " socket " + std::to_string(s + 1) + " empty";
            for (uint32_t a = 0; a < other->Words(); ++a)
                if (other->Cell(a) != blank.Cell(a))
                    return " socket " + std::to_string(s + 1) + " cell " + std::to_string(a) + " not blank";
        }
        return std::string();
    };

    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    size_t from = ui.Log.size();
    if (def != nullptr && def->GangModuleRefusal != nullptr) {
        SupplyWatch watch;
        simp->AttachComponent(&watch);
        const int r = RunOperation(MainEngine, OpProgram);
        simp->DetachComponent(&watch);
        run.refused = true;
        run.line += " refused";
        if (r != ResultFailed || !Logged(ui, from, def->GangModuleRefusal)) fail(" without its line");
        if (watch.switchedOn) fail(" after a supply was switched on");
        fail(blankFrom(0));
        return run;
    }
    const int programmed = RunOperation(MainEngine, OpProgram);
    run.line += programmed == ResultOk ? " program ok" : " program FAILED (" + FirstError(ui, from) + ")";
    if (programmed != ResultOk) return run;
    const unsigned unit = !pld && DataWidth > 8 ? 2 : 1;
    const sim::CatalogChip* first = rack->Seated(0);
    if (!pld && (def == nullptr || !def->PlacesByMap)) fail(CellsHold(*first, part, image, DeviceStart, unit, "socket 1"));
    if (const placement::DeviceTable* places = pld ? placement::DeviceTableOf(CurrentMakerName, CurrentDeviceName) : nullptr)
        fail(PldCellsHold(*places, *first, part, image, "socket 1"));
    if (othersBlank) fail(blankFrom(1));
    if (SupportedOperationMask & OpMaskVerify) {
        from = ui.Log.size();
        const int verified = RunOperation(MainEngine, OpVerify);
        run.line += verified == ResultOk ? ", verify ok" : ", verify FAILED (" + FirstError(ui, from) + ")";
    }
    if ((SupportedOperationMask & OpMaskRead) && AlgorithmTable[CurrentAlgorithm].Read != AlgNoRead) {
        const uint8_t fill = pld ? 0 : 0x5A;
        std::memset(buffer, fill, bytes);
        from = ui.Log.size();
        const int read = RunOperation(MainEngine, OpRead);
        run.line += read == ResultOk ? ", read ok" : ", read FAILED (" + FirstError(ui, from) + ")";
        for (size_t i = 0; i < bytes && read == ResultOk; ++i) {
            const uint8_t want = pld ? image[i] : ExpectedAt(i, image[i], part, *first, DeviceStart, unit, fill).value;
            if (buffer[i] != want) {
                fail(" read back: buffer byte " + std::to_string(i));
                break;
            }
        }
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) fail(" violation: " + v);
    return run;
}

class GangModuleOneSocket : public ProgramRig<::testing::Test> {
protected:
    void SetUp() override {
        ProgramRig::SetUp();
        LibraryFileName = "krd.dat";
        InstallSimulator(4);
    }
    std::string LogFrom(size_t from) const {
        std::string log;
        for (size_t i = from; i < ui.Log.size(); ++i) log += ui.Log[i] + "\n";
        return log;
    }
    // Selects the product library's device at gang size 1.
    bool Select(const std::string& maker, const std::string& name) {
        for (const DeviceRecord& r : ReadLibraryRecords()) {
            const auto* b = reinterpret_cast<const char*>(r.Bytes);
            if (maker != b || name != b + r.Bytes[RecordNameOffsetByte]) continue;
            DeviceSection = r.Bytes[RecordSectionByte];
            ExpectedMakerId = 0;
            ExpectedDeviceId = 0;
            if (SetCurrentDevice(r) != 1) return false;
            LastSocketIndex = 0;
            return true;
        }
        return false;
    }
        // Programs, verifies and reads the product library's device with the
    // gang size at 1 (see RunOnModuleSocket1).
    void RunOnFirstSocket(const std::string& maker, const std::string& name, bool othersBlank = true) {
        ASSERT_TRUE(Select(maker, name));
        const sim::CatalogPart* part = sim::FindPart(maker, name);
        ASSERT_NE(part, nullptr);
        const ModuleRun run = RunOnModuleSocket1(ui, *part, 94, othersBlank);
        EXPECT_FALSE(run.refused) << run.line;
        EXPECT_EQ(run.line.find("FAILED"), std::string::npos) << run.line << "\n" << LogFrom(0);
    }
};

TEST_F(GangModuleOneSocket, SingleSocketBusesWorkTheFirstSocket) {
    const struct {
        const char* maker;
        const char* name;
    } devices[] = {
        {"ST", "M93C46"},                          // serial word engine
        {"MICROCHIP", "24LC256"},                  // two-wire byte engine
        {"ATMEL", "AT25010"},                      // SPI byte engine
        {"XILINX", "XC17256E"},                    // configuration PROM, clock-burst engine
        {"ATMEL", "AT17C010"},                     // configuration PROM, two-wire engine
        {"GENERIC-ALGORITHM", "750-283"},          // column PLD bus
        {"AMD", "MACH210"},                        // block CPLD bus
        {"AMD", "MACH435"},                        // block CPLD bus, instruction form
        {"AMD", "MACH111SP"},                      // register TAP
        {"MICROCHIP", "27HC256"},                  // control bus
        {"GENERIC-ALGORITHM", "ALPLD251-14352"},   // address-list bus
    };
    for (const auto& device : devices) {
        SCOPED_TRACE(std::string(device.maker) + " " + device.name);
        RunOnFirstSocket(device.maker, device.name);
    }
    // A 16-bit EPROM read back through the module's socket mask (its pulses
    // reach every socket the mask leaves released).
    SCOPED_TRACE("AMD Am27C1024");
    RunOnFirstSocket("AMD", "Am27C1024", false);
}

// A device whose two chips are selected on register 3 cannot share it with
// the module's socket mask: refused before power-up with the line that says
// why, every part left blank; without the module it programs.
TEST_F(GangModuleOneSocket, TwoChipPartSelectedOnTheSocketMaskRefusesTheModule) {
    ASSERT_TRUE(Select("INTEL", "2x28F160S5"));
    const sim::CatalogPart* part = sim::FindPart("INTEL", "2x28F160S5");
    ASSERT_NE(part, nullptr);
    const ModuleRun run = RunOnModuleSocket1(ui, *part, 5, true);
    EXPECT_TRUE(run.refused);
    EXPECT_EQ(run.line, " refused") << LogFrom(0);
    EXPECT_TRUE(Logged(ui, 0, "Remove the gang module")) << LogFrom(0);

    InstallSimulator(0);
    ASSERT_TRUE(Select("INTEL", "2x28F160S5"));
    std::string ignored;
    LoadUserImage(false, RangeBytes(false, 0x800, ignored), 5);
    EXPECT_EQ(RunOperation(MainEngine, OpProgram), ResultOk) << LogFrom(0);
}

// Every device of the library with a module fitted and the gang size at 1:
// it works the module's first socket as the programmer's own socket, or its
// row refuses the module before power-up with its line.
TEST_P(EveryDevice, OnAGangModuleAtOneSocket) {
    const LibraryDevice& d = Devices()[GetParam()];
    InstallSimulator(4);
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kModuleAtOne, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    const size_t from = ui.Log.size();
    const ModuleRun run = RunOnModuleSocket1(ui, *p.part, static_cast<uint32_t>(GetParam()) + 23, false);
    p.line += run.line;
    Report(p, kModuleAtOne, GetParam(), run.line.find("FAILED") != std::string::npos, ui, from, run.refused);
}

} // namespace
