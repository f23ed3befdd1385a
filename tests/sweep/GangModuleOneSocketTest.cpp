// A gang module of four sockets on the simulated programmer with the gang
// size at 1: a device whose bus serves one socket (serial engines, the PLD
// buses, the register TAP, the control bus, the address-list bus) programs,
// verifies and reads the part in the module's first socket as it does in the
// programmer's own socket, and the parts in sockets 2-4 stay blank.
#include "sim/Rack.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

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
    // Programs (blank check before, verify after), verifies and reads the
    // device with the gang size at 1; checks the first socket's cells, the
    // read back and the other sockets' blank cells.
    void RunOnFirstSocket(const std::string& maker, const std::string& name) {
        ASSERT_TRUE(Select(maker, name));
        sim::SimProgrammer* simp = ProgramSimulator();
        ASSERT_NE(simp, nullptr);
        sim::Rack* rack = sim::Rack::Find(*simp);
        ASSERT_NE(rack, nullptr);
        ASSERT_EQ(rack->SocketsInUse(), 4);
        const sim::CatalogPart* part = sim::FindPart(maker, name);
        ASSERT_NE(part, nullptr);
        const bool pld = DeviceSection == SectionPld;
        std::string ignored;
        const size_t bytes = RangeBytes(pld, 0x800, ignored);
        ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
        SelectBank(0, 0);
        std::vector<uint8_t> image = LoadUserImage(pld, bytes, 94);
        uint8_t* buffer = pld ? FuseMap() : BufferImage() + BufferStart;

        BlankCheckBeforeProgram = 1;
        VerifyAfterProgram = 1;
        VerifyAfterRead = 0;
        size_t from = ui.Log.size();
        ASSERT_EQ(RunOperation(MainEngine, OpProgram), ResultOk) << LogFrom(from);
        const unsigned unit = !pld && DataWidth > 8 ? 2 : 1;
        const sim::CatalogChip* first = rack->Seated(0);
        ASSERT_NE(first, nullptr);
        if (!pld) {
            EXPECT_EQ(CellsHold(*first, *part, image, DeviceStart, unit, "after Program"), "");
        }
        if (SupportedOperationMask & OpMaskVerify) {
            from = ui.Log.size();
            ASSERT_EQ(RunOperation(MainEngine, OpVerify), ResultOk) << LogFrom(from);
        }
        const uint8_t fill = pld ? 0 : 0x5A;
        std::memset(buffer, fill, bytes);
        from = ui.Log.size();
        ASSERT_EQ(RunOperation(MainEngine, OpRead), ResultOk) << LogFrom(from);
        for (size_t i = 0; i < bytes; ++i) {
            const uint8_t want = pld ? image[i] : ExpectedAt(i, image[i], *part, *first, DeviceStart, unit, fill).value;
            ASSERT_EQ(buffer[i], want) << "buffer byte " << i;
        }
        const sim::CatalogChip& blank = BlankPart(*part);
        for (int s = 1; s < 4; ++s) {
            const sim::CatalogChip* other = rack->Seated(s);
            ASSERT_NE(other, nullptr);
            for (uint32_t a = 0; a < other->Words(); ++a) {
                ASSERT_EQ(other->Cell(a), blank.Cell(a)) << "socket " << s + 1 << " cell " << a;
            }
        }
        EXPECT_EQ(UnexpectedViolation(*simp), "");
    }
    RecordingUi ui;
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
}

} // namespace
