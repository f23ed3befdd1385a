// A simulated programmer with its socket and electrical model on the
// universal pin driver, brought up through the engine, with a microcontroller
// selected from the built device library, its part seated from the
// simulator's table, and the operation driver run against it.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/Library.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/RowHooks.h"
#include "engine/RunLogChecks.h"
#include "engine/ScratchDir.h"
#include "engine/Services.h"
#include "engine/SimBench.h"
#include "engine/UiBridge.h"
#include "mcu/InstallMcuRows.h"
#include "mcu/Mcu8051.h"
#include "mcu/McuFlash8051.h"
#include "mcu/McuFrame.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/GangAdapter.h"
#include "sim/IdMemory.h"
#include "sim/Mcu8051Chip.h"
#include "sim/McuRegisterBus.h"
#include "sim/SimProgrammer.h"
#include "sim/Universal.h"

// A recording UI that can press ESC once, when the progress bar passes a mark.
class BreakingUi : public RecordingUi {
public:
    int BreakAtPercent = -1;
    void SetProgressBar(int position) override {
        RecordingUi::SetProgressBar(position);
        if (BreakAtPercent >= 0 && position >= BreakAtPercent) {
            BreakAtPercent = -1;
            UserBreak = 1;
        }
    }
};

inline sim::SimProgrammer* g_mcuSim = nullptr;
inline uint64_t SimTickMs() { return g_mcuSim ? g_mcuSim->NowUs() / 1000 : 0; }

class McuRun : public ::testing::Test, public RunLogChecks {
protected:
    sim::SimProgrammer simp;
    sim::Electrical* elec = nullptr;
    sim::Socket* socket = nullptr;
    BreakingUi ui;
    std::vector<std::pair<int, int>> tones; // beeps of the runs
    ScratchDir scratch_;

    void SetUp() override {
        ResetProgramState();
        for (auto reset : {ResetMcu8051State, ResetFlash8051State, ResetMcuFrameState})
            reset();
        InstallMcuAlgorithms();
        InstallUiBridge(&ui);
        SetToneSink([this](int hz, int ms) { tones.emplace_back(hz, ms); });
        g_mcuSim = &simp;
        OperationTickMs = SimTickMs;
        BringUpSimulatedProgrammer(simp, elec, socket);
        if (HasFatalFailure()) return;
        sim::RegisterMcuRegisterBusPersonality();
        // Compare files land in a private folder.
        scratch_.Enter("vexlor-mcu-");
    }

    void TearDown() override {
        scratch_.Leave();
        InstallPortIoRef(nullptr);
        InstallUiBridge(nullptr);
        SetToneSink(nullptr);
        g_mcuSim = nullptr;
        ResetProgramState();
    }

    // Selects a device of the MICRO section of the built library.
    bool Select(const std::string& maker, const std::string& name) {
        std::vector<uint8_t> bytes(OpenLibraryEntry(kLibraryEntryMicro));
        for (uint32_t k = 0; k < bytes.size(); ++k) bytes[k] = ReadLibraryByte(k);
        DeviceRecord r{};
        for (size_t pos = 0, next = 0;
             pos < bytes.size() && ParseLibraryRecord(bytes.data(), bytes.size(), pos, SectionMicro, r, next);
             pos = next) {
            const auto* b = reinterpret_cast<const char*>(r.Bytes);
            if (maker == b && name == b + r.Bytes[RecordNameOffsetByte]) {
                DeviceSection = SectionMicro;
                return SetCurrentDevice(r) == 1;
            }
        }
        return false;
    }

    // Seats a part of the simulator's table (a PLCC on the adapter, or wired
    // as socketPins say).
    sim::Mcu8051Chip* Seat(const sim::Mcu8051Facts& f, bool plcc = false, std::vector<int> socketPins = {}) {
        auto chip = std::make_unique<sim::Mcu8051Chip>(f, plcc, std::move(socketPins));
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    sim::Mcu8051Chip* Seat(const std::string& maker, const std::string& name, bool plcc = false) {
        const sim::Mcu8051Facts* f = sim::FindFacts<sim::Mcu8051Facts>(maker, name);
        EXPECT_NE(f, nullptr) << maker << " " << name;
        return f ? Seat(*f, plcc) : nullptr;
    }
    // Takes the parts out of the socket, with their pin limits.
    void ClearSocket() {
        socket->Clear();
        elec->WithdrawAllChips();
    }

    // Selects the device and seats its part.
    sim::Mcu8051Chip* SelectAndSeat(const std::string& maker, const std::string& name, bool plcc = false) {
        EXPECT_TRUE(Select(maker, name)) << name;
        return Seat(maker, name, plcc);
    }
    // Empties the socket, then selects the device and seats its part.
    sim::Mcu8051Chip* Reseat(const std::string& maker, const std::string& name, bool plcc = false) {
        ClearSocket();
        return SelectAndSeat(maker, name, plcc);
    }
    static sim::Mcu8051Facts Facts(const char* maker, const char* name) {
        const sim::Mcu8051Facts* f = sim::FindFacts<sim::Mcu8051Facts>(maker, name);
        EXPECT_NE(f, nullptr) << name;
        return f ? *f : sim::Mcu8051Facts{};
    }
    // Selects the device and seats its part with the signature byte at 31h
    // reading 99h.
    sim::Mcu8051Chip* SeatWrongSignature(const char* maker, const char* name, bool plcc = false) {
        EXPECT_TRUE(Select(maker, name)) << name;
        sim::Mcu8051Facts f = Facts(maker, name);
        f.signature[1].second = 0x99;
        return Seat(f, plcc);
    }
    void StartTrace() {
        simp.EnableTrace(true);
        simp.ClearTrace();
    }
    // Program and Read in the split modes Odd and Word2 end with the
    // driver's refusal before any register is written; byte mode after.
    void ExpectSplitModesRefused() {
        for (const uint32_t mode : {2u, 5u}) {
            WordMode = mode;
            StartTrace();
            EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
            EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
            EXPECT_TRUE(simp.RegisterTrace().empty()) << "mode " << mode;
        }
        WordMode = 0;
    }
    // No power-up (register 12) in the register trace.
    void ExpectNoPowerUp() {
        for (const auto& r : simp.RegisterTrace()) EXPECT_FALSE(r.write && r.reg == 12 && r.value != 0);
    }
    // The failing-cell line with the data read back.
    static std::string ChipAddrLine(uint32_t a) {
        char t[40];
        std::snprintf(t, sizeof t, "  Chip addr: %06Xh  data: %04Xh", a, ReadValue);
        return t;
    }
    // The lock state lines by level.
    static constexpr const char* kLockLines[3] = {" Device secured!(Lock Bit 1)", " Device secured!(Lock Bits 1,2)",
                                                  " Device secured!(Lock Bits 1,2,3)"};

    // Read, Blank check and Verify of a part that gives no code: each fails
    // at `line` with no datum line or supply level after it, and leaves
    // buffer bytes 0..n-1 as they were.
    void ExpectReadsEndAtSecuredLine(const char* line, uint32_t n) {
        FillBufferRange(0, n - 1, 0x5A);
        for (int op : {OpRead, OpBlankCheck, OpVerify}) {
            SCOPED_TRACE(testing::Message() << "operation " << op);
            const size_t from = ui.Log.size();
            EXPECT_EQ(Run(op), ResultFailed) << LogText();
            bool said = false;
            for (size_t i = from; i < ui.Log.size(); ++i) {
                said = said || ui.Log[i] == line;
                EXPECT_TRUE(ui.Log[i].find("addr:") == std::string::npos && ui.Log[i].find(" VCC") == std::string::npos)
                    << LogText();
            }
            EXPECT_TRUE(said) << line << "\n" << LogText();
        }
        for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), 0x5A) << std::hex << a;
    }

    // Verify, Program and Blank check of a part answering another identity:
    // each fails at the row's identity line, asking the question (answered
    // No) only where the row asks it, and nothing names a datum or a verify
    // level after it; `unchanged` checks the part after each run. Where the
    // question is asked, Yes lets the verify go on as for the right part: the
    // part's data, unlike the buffer's, fail it at a datum with the
    // fail-address lines and the verify level's line, nothing refused.
    template <class Check> void ExpectIdentityRefused(const std::string& line, bool asks, Check unchanged) {
        for (int op : {OpVerify, OpProgram, OpBlankCheck}) {
            SCOPED_TRACE(testing::Message() << "operation " << op);
            ui.Boxes.clear();
            if (asks) ui.QueueAnswer(UiAnswer::No);
            EXPECT_EQ(Run(op), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine(line)) << LogText();
            EXPECT_EQ(IdentityRefusalLine(), line);
            EXPECT_EQ(DatumLines(), "") << LogText();
            EXPECT_EQ(ui.Boxes.size(), asks ? 1u : 0u);
            unchanged();
        }
        if (!asks) return;
        ui.QueueAnswer(UiAnswer::Yes);
        EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(line)) << LogText();
        EXPECT_EQ(IdentityRefusalLine(), "");
        const std::string datum = DatumLines();
        EXPECT_NE(datum.find("addr:"), std::string::npos) << LogText();
        EXPECT_NE(datum.find("Buffer addr:"), std::string::npos) << LogText();
        if (ReadVccLow != ReadVccHigh) {
            EXPECT_NE(datum.find("VCCL("), std::string::npos) << LogText();
        }
        unchanged();
    }

    // As the Option command does before a dialog's buttons talk to the chip;
    // the log lines from here count as the run's.
    void PrepareDialog() {
        runStart_ = ui.Log.size();
        ASSERT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
    }

    // Loads a hex file a real tool wrote (file offset 0): it loads, with no
    // warning of a cut (an Intel file ends with its end record).
    void LoadToolHexFile(const std::string& file, uint32_t bufferOffset = 0) {
        const size_t from = ui.Log.size();
        ASSERT_EQ(LoadHexFamilyFile(file, 0, bufferOffset), 1) << file;
        for (size_t i = from; i < ui.Log.size(); ++i)
            EXPECT_EQ(ui.Log[i].find("cut short"), std::string::npos) << file << ": " << ui.Log[i];
    }

    // The run's log lines start at runStart_.
    int Run(int op) {
        runStart_ = ui.Log.size();
        return RunOperation(MainEngine, op);
    }

    // The sdcc sample program loaded into the buffer, then blank check,
    // program, verify at both levels and a read back over its first n bytes.
    void RunSampleProgram(const sim::Mcu8051Chip& chip, uint32_t n) {
        const std::string sample = ProgramDirectory + "/mcu-sample/blink.ihx";
        DeviceEnd = n - 1;
        LoadToolHexFile(sample); // built by sdcc
        if (HasFatalFailure()) return;
        std::vector<uint8_t> image(n);
        for (uint32_t a = 0; a < n; ++a) image[a] = BufferByte(a);
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!")) << LogText();
        EXPECT_TRUE(HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
        FillBufferRange(0, n - 1, 0);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
        for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(chip.Cell(a), image[a]) << std::hex << a;
    }

    // Buffer bytes 0..n-1 from a pattern that avoids the blank value.
    static void FillPattern(uint32_t n, uint32_t seed = 1) {
        uint32_t x = seed * 2654435761u + 12345u;
        for (uint32_t a = 0; a < n; ++a) {
            if ((a & 0xFFFF) == 0) SelectBank(a, 1);
            x = x * 1103515245u + 12345u;
            BufferWindow[a & 0xFFFF] = static_cast<uint8_t>(x >> 16);
        }
        SelectBank(0, 0);
    }
    static uint8_t BufferByte(uint32_t a) { return ReadBufferByteCached(a); }

    const std::vector<std::string>& RecordedLines() const override { return ui.Log; }
    void ExpectNoViolations() {
        EXPECT_TRUE(simp.Violations().empty()) << simp.Violations().front();
    }
};
