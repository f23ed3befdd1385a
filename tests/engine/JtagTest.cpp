// JTAG driver against the TAP of a simulated JTAG device on four socket pins.
#include "PinDriverFixture.h"

#include <algorithm>

#include "sim/JtagDevice.h"

namespace {

using S = sim::TapState;
using Traffic = std::vector<std::pair<int, int>>;

constexpr int kTms = 33, kTck = 17, kTdi = 25, kTdo = 15;
constexpr uint32_t kIdcode = 0x0594'A093;
constexpr uint32_t kIdcodeOp = 0x01, kScanOp = 0x02;

class JtagTest : public PinDriverFixture {
protected:
    sim::JtagDevice* tap = nullptr;

    void Seat(int irLength, int scanLength) {
        tap = socket->Insert(std::make_unique<sim::JtagDevice>(sim::JtagDeviceConfig{
            kTms, kTck, kTdi, kTdo, irLength, kIdcode, kIdcodeOp, kScanOp, scanLength}));
        ResetProgrammerOutputs();
        JtagInit(kTms, kTck, kTdi, kTdo, irLength);
    }
    void ToIdle() {
        JtagReset();
        JtagStep(0, 0);
        ASSERT_EQ(tap->State(), S::RunTestIdle);
        tap->ClearTrace();
    }
    template <class T> std::vector<T> Column(T sim::TapCycle::*field) const {
        std::vector<T> v;
        for (const auto& c : tap->Trace()) v.push_back(c.*field);
        return v;
    }
    template <class T> static std::vector<T> Part(const std::vector<T>& v, size_t from, size_t to) {
        return std::vector<T>(v.begin() + from, v.begin() + to);
    }
};

TEST_F(JtagTest, StepDrivesTmsAndTdiOnlyWhenTheyChange) {
    Seat(8, 16);
    // Even with the cache holding the same levels, the first step drives both:
    // TMS (block 4) high, TDI (block 3) low, then TCK (block 2) high and low.
    JtagTmsLevel = 1;
    JtagTdiLevel = 0;
    EXPECT_EQ(WritesOf([] { JtagStep(1, 0); }), (Traffic{{9, 0x01}, {7, 0x00}, {5, 0x01}, {5, 0x00}}));
    EXPECT_EQ(WritesOf([] { JtagStep(1, 0); }), (Traffic{{5, 0x01}, {5, 0x00}}));
    EXPECT_EQ(tap->TckCycles(), 2u);
}

TEST_F(JtagTest, InstructionShiftAndReset) {
    Seat(4, 16);
    ToIdle();
    JtagShiftIr(0x2, 4);
    EXPECT_EQ(Column(&sim::TapCycle::state), (std::vector<S>{S::SelectDrScan, S::SelectIrScan, S::CaptureIr,
                                                             S::ShiftIr, S::ShiftIr, S::ShiftIr, S::ShiftIr,
                                                             S::Exit1Ir, S::UpdateIr, S::RunTestIdle}));
    // The four bits: TDI 0, 1, 0, 0 with TMS 0, 0, 0, 1.
    const auto tdi = Column(&sim::TapCycle::tdi), tms = Column(&sim::TapCycle::tms);
    EXPECT_EQ(Part(tdi, 4, 8), (std::vector<bool>{0, 1, 0, 0}));
    EXPECT_EQ(Part(tms, 4, 8), (std::vector<bool>{0, 0, 0, 1}));
    EXPECT_EQ(tap->Instruction(), 0x2u);
    // A zero-length shift ends in Pause-IR; the reset leaves Test-Logic-Reset.
    JtagShiftIr(0x3, 0);
    EXPECT_EQ(tap->State(), S::PauseIr);
    JtagReset();
    EXPECT_EQ(tap->State(), S::TestLogicReset);
    EXPECT_EQ(tap->Instruction(), kIdcodeOp);
    EXPECT_TRUE(simp.Violations().empty());
}

TEST_F(JtagTest, IdcodeAndDataRegisterRoundTrips) {
    Seat(10, 40);
    ToIdle();
    uint32_t id = 0;
    JtagReadDr(&id, 32); // IDCODE is selected after the reset
    EXPECT_EQ(id, kIdcode);
    uint8_t bytes[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    JtagLoadInstruction(kIdcodeOp);
    tap->ClearTrace();
    JtagReadDrBytes(bytes, 4);
    EXPECT_EQ((std::vector<uint8_t>(bytes, bytes + 4)), (std::vector<uint8_t>{0x93, 0xA0, 0x94, 0x05}));
    const auto tms = Column(&sim::TapCycle::tms); // TMS high only on the 32nd bit
    ASSERT_EQ(tms.size(), 3u + 32u + 2u);
    EXPECT_EQ(std::count(tms.begin() + 3, tms.begin() + 35, true), 1);
    EXPECT_TRUE(tms[34]);

    // 40-bit values go out and come back whole; a 32-bit destination keeps
    // the low 32 bits while every bit is clocked. Bytes go out bit 0 first.
    JtagLoadInstruction(kScanOp);
    const uint8_t out[5] = {0x01, 0x02, 0x03, 0x04, 0x85};
    JtagShiftDrBytes(out, 5);
    uint32_t narrow = 0;
    tap->ClearTrace();
    JtagReadDr(&narrow, 40);
    EXPECT_EQ(narrow, 0x0403'0201u);
    EXPECT_EQ(tap->Trace().size(), 3u + 40u + 2u);
    const uint64_t value = 0xA5'1234'5678ull;
    uint64_t wide = 0;
    JtagShiftDr(value, 40);
    // BYPASS leaves the scan register alone.
    JtagLoadInstruction(0x15);
    JtagReadDr(&wide, 8);
    EXPECT_EQ(wide, 0u);
    JtagLoadInstruction(kScanOp);
    JtagReadDr(&wide, 40);
    EXPECT_EQ(wide, value);
    EXPECT_TRUE(simp.Violations().empty());
    // Driving TDO low while the TAP drives bit 0 of IDCODE (1) is a fight.
    JtagLoadInstruction(kIdcodeOp);
    for (int tms : {1, 0, 0}) JtagStep(tms, 0);
    SetPin(kTdo, 0);
    ASSERT_EQ(simp.Violations().size(), 1u);
    EXPECT_NE(simp.Violations()[0].find("socket pin 15"), std::string::npos);
}

TEST_F(JtagTest, BufferShiftsForwardAndReversed) {
    Seat(8, 12);
    const std::vector<bool> known = {1, 1, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0};
    tap->SetScanRegister(known);
    ToIdle();
    JtagLoadInstruction(kScanOp);
    JtagCaptureDrToBuffer(100, 12);
    tap->SetScanRegister(known); // the capture latched the zeros shifted in
    JtagCaptureDrToBufferReversed(200, 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(GetBufferBit(100 + i), known[i] ? 1u : 0u) << i;
        EXPECT_EQ(GetBufferBit(211 - i), known[i] ? 1u : 0u) << i;
    }
    JtagShiftDrFromBufferReversed(100, 12);
    EXPECT_EQ(tap->ScanRegister(), std::vector<bool>(known.rbegin(), known.rend()));
    JtagShiftDrFromBuffer(100, 12);
    EXPECT_EQ(tap->ScanRegister(), known);

    // Instruction and reversed data in one pass, without Run-Test/Idle between.
    JtagLoadInstruction(kIdcodeOp);
    tap->ClearTrace();
    JtagInstructionThenShiftDrReversed(kScanOp, 200, 12);
    const auto states = Column(&sim::TapCycle::state);
    ASSERT_EQ(states.size(), 4u + 8u + 4u + 12u + 2u);
    EXPECT_EQ(std::count(states.begin(), states.end(), S::RunTestIdle), 1);
    EXPECT_EQ(Part(states, 12, 16), (std::vector<S>{S::UpdateIr, S::SelectDrScan, S::CaptureDr, S::ShiftDr}));
    EXPECT_EQ(states.back(), S::RunTestIdle);
    EXPECT_EQ(tap->Instruction(), kScanOp);
    EXPECT_EQ(tap->ScanRegister(), known); // bits 200.. hold it reversed
    EXPECT_TRUE(simp.Violations().empty());
}

} // namespace
