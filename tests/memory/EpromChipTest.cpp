// The EPROM model against the programmer's own routines: it programs only with
// the programming voltage on its own Vpp pin, and a wrong part is caught.
#include "engine/Power.h"
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

namespace {

// The frame's power-up up to the device supply, without the frame's settle
// wait; returns whether the supply pin had settled when the routing returned.
bool PowerUpThroughTheRouting(uint32_t address) {
    if (DownloadLogicImage(LogicImageNumber) != 1) return false;
    PrepareOperation(MainEngine);
    FrameProfile frame;
    frame.Word = DataWidth > 8;
    FrameUse(frame);
    SetVccRange(0, 50);
    SetAllDacVoltages(50, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(0, address & 0xFF);
    WriteRegister(1, (address >> 8) & 0xFF);
    WriteRegister(2, (address >> 16) & 0xFF);
    WriteRegister(3, 0);
    SetDevicePower(1, 50);
    const sim::Electrical* elec = sim::Electrical::Find(*g_memorySim);
    for (int pin = 1; pin <= sim::kSocketPins; ++pin) {
        const sim::PinState s = elec->Pin(pin);
        if (s.Supplied() && s.steadyFromUs > g_memorySim->NowUs()) return false;
    }
    return true;
}

// The datum read `waitUs` after the routing powered the part (10000h: the
// supply had not settled when the routing returned).
uint32_t ReadAfterPowerUp(uint32_t address, uint32_t waitUs) {
    const bool steady = PowerUpThroughTheRouting(address);
    if (waitUs != 0) DelayUsSlot(waitUs);
    ReadDatum();
    const uint32_t value = ReadValue;
    PowerOffDevice();
    return steady ? value : 0x10000;
}

TEST_F(MemoryRun, TheRoutingReturnsWithTheSupplySteadyForAWordWidePart) {
    // Ramp, last step and the strong path's settling all waited out: a read
    // the part's own power-up time later answers.
    ASSERT_TRUE(Select("AMD", "Am27C1024"));
    sim::EpromChip* chip = SeatPart("AMD", "Am27C1024");
    chip->SetCell(0x0123, 0x5AA5);
    EXPECT_EQ(ReadAfterPowerUp(0x0123, chip->Config().powerUpUs), 0x5AA5u);
    ExpectNoViolations();
}

TEST_F(MemoryRun, APartWithALongerPowerUpTimeFloatsItsOutputsUntilThen) {
    // The MTP flash reads 100 us after its supply is up: a read at half that
    // time sees the bus float and is recorded, the next power-up's read at
    // the full time answers.
    ASSERT_TRUE(Select("SST", "SST27SF512"));
    sim::EpromChip* chip = SeatPart("SST", "SST27SF512");
    ASSERT_EQ(chip->Config().powerUpUs, 100u);
    chip->SetCell(0x0123, 0x5A);
    EXPECT_EQ(ReadAfterPowerUp(0x0123, 50), 0xFFu);
    bool early = false;
    for (const auto& v : simp.Violations()) early |= v.find("accessed before its supply was steady for 100 us") != std::string::npos;
    EXPECT_TRUE(early);
    simp.ClearViolations();
    EXPECT_EQ(ReadAfterPowerUp(0x0123, 100), 0x5Au);
    ExpectNoViolations();
}

TEST_F(MemoryRun, TheWordImageDrivesTheHighDataByteOnlyWithItsWordStrobes) {
    // The 16-bit image of the 27C1024 drives data bits 8-15 with 95h only: a
    // 15h pulse programs the low byte and leaves the high byte undriven.
    ASSERT_TRUE(Select("AMD", "Am27C1024"));
    sim::EpromChip* chip = SeatPart("AMD", "Am27C1024");
    ASSERT_TRUE(PowerUpThroughTheRouting(0x0120));
    DelayMsSlot(10);
    WriteRegister(3, 0xFF); // this image pulses the sockets the mask releases
    SetDeviceVpp(1, 127);
    for (uint8_t strobe : {0x15, 0x95}) {
        WriteRegister(0, strobe == 0x15 ? 0x20 : 0x21);
        WriteRegister(6, 0xA5);
        WriteRegister(7, 0x5A);
        WriteRegister(4, strobe);
        DelayUsSlot(100);
        WriteRegister(4, 0x9F);
    }
    SetDeviceVpp(0, 0);
    PowerOffDevice();
    EXPECT_EQ(chip->Cell(0x0120) & 0xFF, 0xA5);
    EXPECT_NE(chip->Cell(0x0120), 0x5AA5);
    EXPECT_EQ(chip->Cell(0x0121), 0x5AA5);
    ExpectNoViolations();
}

} // namespace
