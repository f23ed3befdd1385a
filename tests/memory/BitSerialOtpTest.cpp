// Row 35 through the operation driver on its library part: the round trip
// at both supplies, one pulse a bit at Vpp with the data pin never fighting
// the chip's output, a range starting above 0, and the faults.
#include "MemoryFixture.h"
#include "engine/Power.h"
#include "sim/BitSerialOtpChip.h"

namespace {

class BitSerialOtpRun : public MemoryRun {
protected:
    sim::BitSerialOtpChip* otp = nullptr;

    void SeatOtp35(uint32_t bytes = 64) {
        socket->Clear();
        elec->WithdrawAllChips();
        ASSERT_TRUE(Select("GENERIC-ALGORITHM", "OTP35-2K"));
        const sim::CatalogPart* part = sim::FindPart("GENERIC-ALGORITHM", "OTP35-2K");
        ASSERT_NE(part, nullptr);
        std::unique_ptr<sim::CatalogChip> chip = sim::MakeChip(*part);
        elec->DeclareChip(chip->Limits());
        otp = sim::SeatedModel<sim::BitSerialOtpChip>(chip.get());
        ASSERT_NE(otp, nullptr);
        socket->Insert(std::move(chip));
        DeviceSize = bytes;
        SetupAddressRange();
    }
};

// Blank check, program from a file, verify at both supplies, read back equal.
TEST_F(BitSerialOtpRun, RoundTripFromAFile) {
    SeatOtp35(61); // not a whole group of 8 bytes
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    std::string bytes;
    for (uint32_t i = 0; i < 61; ++i) bytes.push_back(static_cast<char>((i * 37 + 5) & 0xFF));
    bytes[3] = 0; // eight pulses like any other byte
    std::ofstream("otp.bin", std::ios::binary) << bytes;
    FillBufferRange(0, BufferByteSize - 1, 0xFF);
    ASSERT_EQ(LoadFileIntoBuffer(0, 0, "otp.bin"), 1);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(otp->Pulses(), 61u * 8);
    for (uint32_t a = 0; a < 61; ++a) ASSERT_EQ(otp->Byte(a), static_cast<uint8_t>(bytes[a])) << a;
    EXPECT_EQ(otp->Byte(61), 0xFF);
    FillBufferRange(61, 63, 0x00); // past the range: never compared
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < 61; ++a) ASSERT_EQ(BufferByte(a), static_cast<uint8_t>(bytes[a])) << a;
    EXPECT_EQ(Run(OpBlankCheck), -1);
    ExpectNoViolations();
}

// A range starting above 0 lands on its own bits, reading and programming.
TEST_F(BitSerialOtpRun, RangeAboveZeroLandsOnItsOwnBits) {
    SeatOtp35(64);
    otp->SetByte(2, 0x5A);
    DeviceStart = 9;
    DeviceEnd = 20;
    FillPattern(BufferByteSize, 5);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = 9; a <= 20; ++a) ASSERT_EQ(otp->Byte(a), BufferByte(a - 9)) << a;
    EXPECT_EQ(otp->Byte(8), 0xFF);
    EXPECT_EQ(otp->Byte(21), 0xFF);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    DeviceStart = 2;
    DeviceEnd = 2;
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferByte(0), 0x5Au);
    ExpectNoViolations();
}

// Faults end the run with their line and the socket off: a bit stuck at 1
// ends it at that byte, no Vpp or a short pulse programs nothing, a user
// break.
TEST_F(BitSerialOtpRun, FaultsEndTheRunWithTheirLine) {
    {
        SCOPED_TRACE("a stuck bit");
        SeatOtp35(32);
        otp->StickBit(5, 3, 1);
        FillBufferRange(0, BufferByteSize - 1, 0x00);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_EQ(otp->Pulses(), 5u * 8 + 4); // bits 0-3 of byte 5, none after
        EXPECT_EQ(otp->Byte(6), 0xFF);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
    {
        SCOPED_TRACE("Vpp missing");
        SeatOtp35(32);
        Vpp = 500; // 5.0 V on OE#/VPP: no programming level
        FillBufferRange(0, BufferByteSize - 1, 0x00);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_EQ(otp->Pulses(), 0u);
        EXPECT_EQ(otp->Byte(0), 0xFF);
        ExpectNoViolations();
    }
    {
        SCOPED_TRACE("a pulse shorter than the part needs");
        SeatOtp35(32);
        PulseWidth = 50;
        FillBufferRange(0, BufferByteSize - 1, 0x7F);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_EQ(otp->Pulses(), 0u);
        EXPECT_EQ(otp->Byte(0), 0xFF);
        ExpectNoViolations();
    }
    {
        SCOPED_TRACE("user break");
        SeatOtp35(256);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        FillPattern(BufferByteSize, 2);
        EXPECT_EQ(Run(OpProgram), 3) << LogText();
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

} // namespace
