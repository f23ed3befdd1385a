// The EPROM model against the programmer's own routines: it programs only with
// the programming voltage on its own Vpp pin, and a wrong part is caught.
#include "engine/Routing.h"
#include "MemoryFixture.h"

namespace {

// The frame's power-up for pulses driven from the test.
void PowerForPulses() {
    ASSERT_EQ(DownloadLogicImage(LogicImageNumber), 1);
    PrepareOperation(MainEngine);
    FrameUse(FrameProfile{});
    PowerOnDevice(1);
    WriteRegister(3, 0); // this image strobes the sockets the mask selects
}

TEST_F(MemoryRun, AWrongPartTakesTheProgrammingVoltageOnAnAddressPinAndFails) {
    // A 27C512 (A15 on pin 1) in place of the selected 27C256 (Vpp on pin 1).
    ASSERT_TRUE(Select("INTEL", "27C256"));
    sim::EpromChip* chip = SeatPart("ST", "M27C512");
    FillPattern(0x8000, 6);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_EQ(chip->ProgramPulseCount(), 0u);
    bool overVoltage = false;
    for (const auto& v : simp.Violations()) overVoltage |= v.find("above its rating") != std::string::npos;
    EXPECT_TRUE(overVoltage);
}

TEST_F(MemoryRun, NoPartAnswersBlankAndProgramsNothing) {
    // An empty socket reads FFh everywhere: a blank check passes, programming fails.
    ASSERT_TRUE(Select("INTEL", "27C256"));
    sim::ChipPinLimits load;
    load.chip = "empty socket under test";
    for (int p = 11; p <= 38; ++p) load.socketPins.push_back(p);
    elec->DeclareChip(load);
    EXPECT_EQ(Run(OpBlankCheck), 1);
    FillPattern(0x8000, 1);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("  Chip addr: 000000h  data: 00FFh")) << LogText();
}

TEST_F(MemoryRun, ProgrammingPulsesNeedTheirVoltageAndWidth) {
    // Directly on the bus: a pulse without Vpp, a short one and a full one.
    ASSERT_TRUE(Select("INTEL", "27C256"));
    sim::EpromChip* chip = SeatPart("INTEL", "27C256");
    PowerForPulses();
    ChipAddress = 0x0123;
    ExpectedValue = 0x0F;
    WriteRegister(0, 0x23);
    WriteRegister(1, 0x01);
    WriteRegister(6, 0x0F);
    auto pulseThenRead = [](int us) { return PulseStrobe(us), ReadDatum(), ReadValue; };
    EXPECT_EQ(pulseThenRead(100), 0xFFu); // no programming voltage yet
    SetDeviceVpp(1, 127);
    EXPECT_EQ(pulseThenRead(20), 0xFFu); // too short for the part
    EXPECT_EQ(pulseThenRead(100), 0x0Fu);
    SetDeviceVpp(0, 0);
    PowerOffDevice();
    EXPECT_EQ(chip->Cell(0x0123), 0x0F);
    ExpectNoViolations();
}

TEST_F(MemoryRun, TheTwoLevelVerifyCatchesAWeakCellThatReadsRightAt5V) {
    // One pulse into a cell that needs far more pulse time to hold its datum
    // away from the nominal supply.
    ASSERT_TRUE(Select("INTEL", "27C256"));
    sim::EpromChip* chip = SeatPart("INTEL", "27C256");
    chip->SetFullProgramUs(0x0123, 1000000);
    PowerForPulses();
    WriteRegister(0, 0x23);
    WriteRegister(1, 0x01);
    WriteRegister(6, 0x0F);
    SetDeviceVpp(1, 127);
    PulseStrobe(100);
    SetDeviceVpp(0, 0);
    PowerOffDevice();
    ASSERT_TRUE(chip->IsWeak(0x0123));

    FillBufferRange(0, 0x7FFF, 0xFF);
    BufferWindow[0x0123] = 0x0F;
    EXPECT_EQ(Run(OpRead), 1) << LogText(); // at 5.0 V
    EXPECT_EQ(BufferByte(0x0123), 0x0F);
    EXPECT_EQ(Run(OpVerify), -1);
    ExpectLinesInOrder({"Verification error!", " VCCL(4.5V) Verification error!", "  Chip addr: 000123h  data: 00FFh",
                        "Buffer addr: 000123h  data: 000Fh"});
    EXPECT_FALSE(HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    ExpectNoViolations();
}

TEST_F(MemoryRun, VppLeftOnAfterVccGoesOffIsAViolation) {
    // Through the memory bus: the device supply switched off under Vpp.
    ASSERT_TRUE(Select("INTEL", "27C256"));
    SeatPart("INTEL", "27C256");
    PowerForPulses();
    SetDeviceVpp(1, 127);
    ExpectNoViolations();
    PowerOffDevice();
    SetDeviceVpp(0, 0);
    bool recorded = false;
    for (const auto& v : simp.Violations()) recorded |= v.find("left on after VCC went off") != std::string::npos;
    EXPECT_TRUE(recorded);
}

} // namespace
