// Gang runs as the program makes them on the simulator: the rack's gang
// module of four sockets, each holding a blank catalog part of the selected
// library device, and the operation driver's program (blank check before,
// verify after), read and verify over the device's first 16 KB. Every socket
// must end up holding the image in its own cells; a faulty part in one socket
// fails that socket alone; a row that cannot serve a gang says so before its
// first step and serves one socket.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../engine/RunLogChecks.h"
#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/UiBridge.h"
#include "memory/InstallMemoryRows.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/CommandFlashChip.h"
#include "sim/EpromChip.h"
#include "sim/GangAdapter.h"
#include "sim/PartFacts.h"
#include "sim/Rack.h"
#include "sim/SimProgrammer.h"

namespace {

constexpr int kSockets = 4;
constexpr uint32_t kRangeBytes = 16 * 1024;

class GangRack : public ::testing::Test, public RunLogChecks {
protected:
    RecordingUi ui;
    sim::SimProgrammer* simp = nullptr;
    sim::Rack* rack = nullptr;

    void SetUp() override {
        ResetProgramState();
        InstallMemoryAlgorithms();
        InstallUiBridge(&ui);
        SetToneSink([](int, int) {});
        ProgramDirectory = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
        LibraryFileName = "krd.dat";
        std::unique_ptr<sim::SimProgrammer> p = sim::Rack::Build(kSockets);
        simp = p.get();
        rack = sim::Rack::Find(*p);
        InstallPortIo(std::move(p));
    }
    void TearDown() override {
        InstallPortIo(nullptr);
        InstallUiBridge(nullptr);
        SetToneSink(nullptr);
        ResetProgramState();
    }
    const std::vector<std::string>& RecordedLines() const override { return ui.Log; }

    // Selects the library record, seats its part in every gang socket, sets
    // the gang of four and narrows the range to the first 16 KB.
    void Start(const std::string& maker, const std::string& name) {
        bool found = false;
        for (const DeviceRecord& r : ReadLibraryRecords()) {
            const auto* b = reinterpret_cast<const char*>(r.Bytes);
            if (maker != b || name != b + r.Bytes[RecordNameOffsetByte]) continue;
            DeviceSection = r.Bytes[RecordSectionByte];
            ASSERT_EQ(SetCurrentDevice(r), 1) << name;
            found = true;
            break;
        }
        ASSERT_TRUE(found) << "no record " << maker << " " << name;
        ASSERT_TRUE(rack->SeatPart(maker, name)) << "no catalog part " << name;
        ASSERT_EQ(rack->SocketsInUse(), kSockets);
        LastSocketIndex = kSockets - 1;
        if (BufferByteSize > kRangeBytes) {
            BufferEnd = kRangeBytes - 1;
            DeviceEnd = DataWidth > 8 ? kRangeBytes / 2 - 1 : kRangeBytes - 1;
        }
        image_.assign(size_t{BufferEnd} + 1, 0);
        uint32_t x = 12345u;
        for (uint8_t& b : image_) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
        SelectBank(0, 0);
        std::copy(image_.begin(), image_.end(), BufferImage());
        BlankCheckBeforeProgram = 1;
        VerifyAfterProgram = 1;
        VerifyAfterRead = 0;
    }
    int Run(int op) {
        runStart_ = ui.Log.size();
        return RunOperation(MainEngine, op);
    }
    // The image's datum at chip address a.
    uint16_t Datum(uint32_t a) const {
        if (DataWidth <= 8) return image_[a];
        return static_cast<uint16_t>(image_[2 * a] | image_[2 * a + 1] << 8);
    }
    // The first chip address of socket s whose cell differs from the image
    // (-1 when every cell matches).
    int64_t FirstDifference(int s) const {
        const sim::CatalogChip* chip = rack->Seated(s);
        if (chip == nullptr) return 0;
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a)
            if (chip->Cell(a) != Datum(a)) return a;
        return -1;
    }
    std::string Violations() const {
        std::string v;
        for (const std::string& l : simp->Violations()) v += l + "\n";
        return v;
    }

    // Blank check, program and verify on every socket, the cells of each,
    // the read of socket 1 and the lamps.
    void ExpectEverySocketProgrammed() {
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (int s = 1; s <= kSockets; ++s) {
            const std::string n = "Socket" + std::to_string(s);
            EXPECT_TRUE(HasLine(n + " Blank check ok!")) << LogText();
            EXPECT_TRUE(HasLine(n + " Verification ok!")) << LogText();
            EXPECT_TRUE(sim::GangAdapter::PassLamp(*simp, s - 1)) << s;
            EXPECT_EQ(FirstDifference(s - 1), -1) << "socket " << s;
        }
        std::memset(BufferImage(), 0x5A, image_.size());
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_TRUE(std::equal(image_.begin(), image_.end(), BufferImage())) << "read back";
        EXPECT_EQ(Violations(), "");
    }

    std::vector<uint8_t> image_;
};

struct GangDevice {
    const char* maker;
    const char* name;
};

// One device of each row that the gang failed on, and the row's other
// records where they differ in size or bus.
constexpr GangDevice kGangDevices[] = {
    {"SHARP", "LH28F800SU"},  // row 28
    {"INTEL", "28F800B3-T"},  // row 38
    {"INTEL", "28F320S3"},    // row 39
    {"INTEL", "28F160S3"},    // row 39
    {"INTEL", "28F128J3"},    // row 39
    {"AMD", "Am27C1024"},     // row 75
    {"GENERIC-ALGORITHM", "FLASH79-32K"}, // row 79
    {"WINBOND", "W27C4096"},  // row 3: reads back every socket at once
    {"ST", "M27C1024"},       // row 69: the same
};

class GangRows : public GangRack, public ::testing::WithParamInterface<GangDevice> {};

TEST_P(GangRows, ProgramEverySocketAndFailOnlyTheFaultyOne) {
    Start(GetParam().maker, GetParam().name);
    if (HasFatalFailure()) return;
    ExpectEverySocketProgrammed();

    // A part that lost a cell in socket 3: its verify fails, the others pass.
    sim::CatalogChip* bad = rack->Seated(2);
    const uint32_t at = DeviceStart + (DeviceEnd - DeviceStart) / 2;
    bad->SetCell(at, static_cast<uint16_t>(Datum(at) ^ 1));
    EXPECT_EQ(Run(OpVerify), -1) << LogText();
    for (int s = 1; s <= kSockets; ++s) {
        const std::string n = "Socket" + std::to_string(s);
        EXPECT_TRUE(HasLine(n + (s == 3 ? " Verification error!" : " Verification ok!"))) << LogText();
        EXPECT_EQ(sim::GangAdapter::PassLamp(*simp, s - 1), s != 3) << s;
    }
    for (const std::string& l : Log()) EXPECT_EQ(l.find("Chip addr"), std::string::npos) << l;
    EXPECT_EQ(Violations(), "");
}

std::string GangDeviceName(const ::testing::TestParamInfo<GangDevice>& info) {
    std::string n = info.param.name;
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Rows, GangRows, ::testing::ValuesIn(kGangDevices), GangDeviceName);

// A cell that takes more program pulses in the last socket's part than in
// the others', on rows whose program loop holds every socket selected: each
// socket is read back alone after a pulse, so that part gets its pulses
// while the others already verify, and no two parts drive the data lines
// against each other.
class GangSlowCell : public GangRack, public ::testing::WithParamInterface<GangDevice> {};

TEST_P(GangSlowCell, GetsItsPulsesWhileTheOtherSocketsAlreadyVerify) {
    Start(GetParam().maker, GetParam().name);
    if (HasFatalFailure()) return;
    const uint16_t blank = DataWidth > 8 ? 0xFFFF : 0xFF;
    uint32_t at = DeviceStart + (DeviceEnd - DeviceStart) / 3;
    while (at < DeviceEnd && Datum(at) == blank) ++at;
    ASSERT_NE(Datum(at), blank);
    std::vector<sim::EpromChip*> parts;
    for (int s = 0; s < kSockets; ++s) {
        parts.push_back(sim::SeatedModel<sim::EpromChip>(rack->Seated(s)));
        ASSERT_NE(parts.back(), nullptr) << s;
    }
    parts.back()->SetPulsesNeeded(at, 3);
    ExpectEverySocketProgrammed();
    EXPECT_GE(parts.back()->PulsesOn(at), 3);
    // The pulses reach every socket at once.
    for (int s = 0; s < kSockets; ++s) EXPECT_EQ(parts[s]->PulsesOn(at), parts.back()->PulsesOn(at)) << s;
}

constexpr GangDevice kAllSocketsSelectedDevices[] = {
    {"AMD", "Am27128"},         // row 0, a variant that selects every socket for the loop
    {"WINBOND", "W27C4096"},    // row 3
    {"WINBOND", "W27C4096-45"}, // row 4
    {"ST", "M27C1024"},         // row 69
};

INSTANTIATE_TEST_SUITE_P(Rows, GangSlowCell, ::testing::ValuesIn(kAllSocketsSelectedDevices), GangDeviceName);

// A part that is not blank in socket 2 of a fresh gang: the blank check before
// programming names that socket alone and nothing is programmed.
TEST_F(GangRack, NonBlankPartFailsItsOwnSocketsBlankCheck) {
    Start("INTEL", "28F320S3");
    if (HasFatalFailure()) return;
    rack->Seated(1)->SetCell(0x10, 0x1234);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    for (int s = 1; s <= kSockets; ++s) {
        const std::string n = "Socket" + std::to_string(s);
        EXPECT_TRUE(HasLine(n + (s == 2 ? " Blank check error!" : " Blank check ok!"))) << LogText();
    }
    EXPECT_FALSE(HasLine("Programming ...")) << LogText();
    EXPECT_EQ(rack->Seated(0)->Cell(0), 0xFFFF);
}

// Row 28 polls the status of every socket at once: the part in the last
// socket never finishes its program, so the poll never reads ready and the
// program fails, though the first socket is ready at once.
TEST_F(GangRack, StatusPollOfAllSocketsWaitsForTheLastOne) {
    Start("SHARP", "LH28F800SU");
    if (HasFatalFailure()) return;
    auto* slow = sim::SeatedModel<sim::CommandFlashChip>(rack->Seated(kSockets - 1));
    ASSERT_NE(slow, nullptr);
    slow->NeverReady(true);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_EQ(Violations(), "");
}

// The latched-address rows 82 and 94 use register 3 as their address latch:
// no socket mask, so they cannot serve a gang. Their records offer none, and
// a gang set in the options is refused with a line before the first step;
// the run then serves the first socket as a single-socket run.
TEST_F(GangRack, LatchedRowsRefuseTheGangBeforeTheBlankCheck) {
    for (const GangDevice d : {GangDevice{"SHARP", "LH28F008SA"}, GangDevice{"SST", "SST39SF010A@PLCC32"},
                               GangDevice{"SST", "SST39SF020A@PLCC32"}, GangDevice{"SST", "SST39SF040@PLCC32"},
                               GangDevice{"AMD", "Am29F010@PLCC32"}}) {
        SCOPED_TRACE(d.name);
        Start(d.maker, d.name);
        if (HasFatalFailure()) return;
        EXPECT_EQ(DeviceFlags & 0x30u, 0u) << "the record offers a gang";
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Cannot support Gang Socket!", "Blank check ok!", "Program ok!", "Verification ok!"});
        for (const std::string& l : Log()) EXPECT_EQ(l.rfind("Socket", 0), std::string::npos) << l;
        EXPECT_EQ(LastSocketIndex, 0u);
        EXPECT_EQ(FirstDifference(0), -1);
        EXPECT_EQ(Violations(), "");
    }
}

} // namespace
