// Programmer bring-up against the simulated programmer: logic-image download,
// the ID memory on register 13, the port probe and the delay slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "engine/Bringup.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/UiBridge.h"
#include "platform/PortIo.h"
#include "sim/IdMemory.h"
#include "sim/SimProgrammer.h"
#include "tests/engine/LibraryTestFile.h"

namespace {

// Forwards to the simulated programmer and records the bases written to;
// reaches only the bases it is told to (all by default).
class ProbePort : public PortIo {
  public:
    explicit ProbePort(sim::SimProgrammer& s) : sim_(s) {}
    void Out(uint16_t port, uint8_t v) override {
        bases.insert(static_cast<uint16_t>(port & ~3u));
        if (order.empty() || order.back() != (port & ~3u)) order.push_back(static_cast<uint16_t>(port & ~3u));
        sim_.Out(port, v);
    }
    uint8_t In(uint16_t port) override { return sim_.In(port); }
    const char* Name() const override { return "probe"; }
    bool Reaches(uint16_t base) const override { return reachable.empty() || reachable.count(base) != 0; }
    std::set<uint16_t> bases;
    std::vector<uint16_t> order;
    std::set<uint16_t> reachable;

  private:
    sim::SimProgrammer& sim_;
};

// Register 1 of the universal image: the gang adapter lines.
class GangLines : public sim::SimComponent {
  public:
    uint8_t value = 1;
    std::optional<uint8_t> OnRead(sim::SimProgrammer&, uint8_t reg) override {
        if (reg == 1) return static_cast<uint8_t>(0xFC | value);
        return std::nullopt;
    }
};

std::vector<uint8_t> Image(uint16_t personality, size_t size, uint8_t seed) {
    std::vector<uint8_t> b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(i * 13 + seed);
    const uint8_t head[6] = {
        'V', 'X', 'L', 'I', static_cast<uint8_t>(personality), static_cast<uint8_t>(personality >> 8)};
    std::copy(head, head + 6, b.begin());
    return b;
}

class BringupTest : public ::testing::Test {
  protected:
    TempLibraryDir dir;
    RecordingUi ui;
    std::unique_ptr<ScopedUiBridge> bridge;
    std::unique_ptr<sim::SimProgrammer> simp;
    std::unique_ptr<ProbePort> port;
    std::vector<uint8_t> image5 = Image(1, 8838, 5);
    std::vector<uint8_t> image400 = Image(1, 8838, 77);
    std::vector<uint8_t> shortImage = Image(1, 1000, 9);

    void SetUp() override {
        ResetProgramState();
        ProgramDirectory = dir.Path();
        WriteBytes(LibraryFilePath(),
                   MakeLibraryBytes({{5, image5}, {6, shortImage}, {8, {1, 2, 3, 4}}, {400, image400}}));
        bridge = std::make_unique<ScopedUiBridge>(ui);
        Fit(0x378, {});
    }
    void TearDown() override {
        InstallPortIoRef(nullptr);
        ResetProgramState();
    }
    // A fresh, unconfigured programmer at `base` with an ID memory.
    sim::IdMemory* Fit(uint16_t base, const sim::IdMemoryOptions& o) {
        InstallPortIoRef(nullptr);
        simp = std::make_unique<sim::SimProgrammer>(base);
        port = std::make_unique<ProbePort>(*simp);
        InstallPortIoRef(port.get());
        return sim::AddIdMemory(*simp, o);
    }
    bool Logged(const std::string& line) const {
        return std::find(ui.Log.begin(), ui.Log.end(), line) != ui.Log.end();
    }
    bool AllX() const {
        return std::all_of(std::begin(HardwareIdBlock), std::end(HardwareIdBlock),
                           [](uint8_t b) { return b == 'X'; });
    }
    bool NoDelaySlots() const {
        return DelayMsSlot == NoDelayMs && DelayUsSlot == NoDelayUs && DelayShortUsSlot == NoDelayShortUs;
    }
};

TEST_F(BringupTest, DownloadSendsTheEntryPaddedToTheFullBitstream) {
    EXPECT_EQ(DownloadLogicImage(5), 1);
    EXPECT_EQ(simp->CapturedBitCount(), 70704u);
    EXPECT_EQ(simp->CapturedImage(), image5);
    EXPECT_TRUE(simp->Configured());
    EXPECT_EQ(LoadedLogicImage, 5);
    EXPECT_EQ(simp->Register(15), 1);

    EXPECT_EQ(DownloadLogicImage(6), 1);
    std::vector<uint8_t> padded = shortImage;
    padded.resize(8838, 0);
    EXPECT_EQ(simp->CapturedImage(), padded);
    EXPECT_EQ(simp->DownloadCount(), 2u);
}

TEST_F(BringupTest, DownloadRefusesNumbersAndEntriesThatAreNoImage) {
    simp->EnableTrace(true);
    EXPECT_EQ(DownloadLogicImage(401), -1);
    EXPECT_TRUE(Logged("DownNo is to big!"));
    for (int n : {8, 7, 0}) EXPECT_EQ(DownloadLogicImage(n), -1) << n; // 4 bytes, missing, a device list
    EXPECT_EQ(std::count(ui.Log.begin(), ui.Log.end(), "Not Ready!"), 3);
    EXPECT_TRUE(simp->PortTrace().empty());
    EXPECT_EQ(LoadedLogicImage, 0);
    EXPECT_EQ(DownloadLogicImage(400), 1);
    EXPECT_EQ(simp->CapturedImage(), image400);
    EXPECT_EQ(LoadedLogicImage, 400);
}

TEST_F(BringupTest, ConfiguredProgrammerConnectsWithoutDownloadAndOnlyAConnectedOneIsReset) {
    simp->ConfigureDirect(sim::LogicImageHeader{});
    simp->EnableTrace(true);
    ResetProgrammerLogic();
    EXPECT_TRUE(simp->PortTrace().empty());
    PortBase = 0x378;
    EXPECT_EQ(ConnectProgrammer(0), 1);
    EXPECT_EQ(simp->DownloadCount(), 0u);
    EXPECT_EQ(PortBase, 0x378);
    EXPECT_EQ(ProgrammerConnected, 1);
    EXPECT_EQ(std::memcmp(HardwareIdBlock, "QLX QX4207", 10), 0);
    EXPECT_EQ(HardwareIdBlock[CalibrationIndex(2, 25)], sim::kDefaultDacCalibration[1][24]);
    EXPECT_EQ(DelayMsSlot, DelayMs);
    ResetProgrammerLogic();
    EXPECT_FALSE(simp->Configured());
    EXPECT_EQ(ProgrammerConnected, -1);
    EXPECT_TRUE(NoDelaySlots());
}

TEST_F(BringupTest, ProbeTriesReachablePortsInOrderAndAFixedPortIsTheOnlyOneTried) {
    // The first port that answers is taken, after those before it.
    Fit(0x3BC, {});
    PortIndex = 0;
    LogicImageNumber = 5;
    EXPECT_EQ(ConnectProgrammer(0), 1);
    EXPECT_EQ(PortBase, 0x3BC);
    EXPECT_EQ(port->order.front(), 0x378);
    EXPECT_FALSE(port->bases.count(0x278));
    EXPECT_EQ(simp->CapturedImage(), image5);
    EXPECT_EQ(LoadedLogicImage, 5);
    // Ports the backend cannot reach are skipped.
    Fit(0x278, {});
    port->reachable = {0x278};
    EXPECT_EQ(ConnectProgrammer(0), 1);
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(port->bases, (std::set<uint16_t>{0x278}));
    // A fixed port the backend cannot reach is not used.
    Fit(0x278, {});
    port->reachable = {0x278};
    PortIndex = 2;
    EXPECT_EQ(ConnectProgrammer(0), -1);
    EXPECT_FALSE(port->bases.count(0x3BC));
    EXPECT_EQ(PortBase, 0x278);

    Fit(0x3BC, {});
    PortIndex = 3; // 278h
    EXPECT_EQ(ConnectProgrammer(0), -1);
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(simp->DownloadCount(), 0u);
    PortIndex = 2;
    EXPECT_EQ(ConnectProgrammer(0), 1);
    EXPECT_EQ(PortBase, 0x3BC);
}

TEST_F(BringupTest, ChecksumCaseIsIgnoredButAWrongSumFails) {
    sim::IdMemoryOptions o;
    o.checksum = sim::IdChecksum::LowerCase;
    Fit(0x378, o);
    LogicImageNumber = 5;
    EXPECT_EQ(ConnectProgrammer(0), 1);
    EXPECT_TRUE(std::any_of(HardwareIdBlock + 24, HardwareIdBlock + 28, [](uint8_t c) { return c >= 'a'; }));

    o.checksum = sim::IdChecksum::Wrong;
    Fit(0x378, o);
    EXPECT_EQ(ConnectProgrammer(0), -1);
    EXPECT_TRUE(Logged("Calibration required!"));
    EXPECT_TRUE(AllX());
    EXPECT_EQ(ProgrammerConnected, -1);
    EXPECT_TRUE(NoDelaySlots());

    // A memory with 10 address bits is read on the second try.
    o = {};
    o.addressBits = 10;
    Fit(0x378, o);
    EXPECT_EQ(ConnectProgrammer(0), 1);
    EXPECT_EQ(std::memcmp(HardwareIdBlock, "QLX QX4207", 10), 0);
}

TEST_F(BringupTest, FailuresLogByModeAndLeaveDoNothingSlots) {
    sim::IdMemoryOptions missing;
    missing.present = false;
    LogicImageNumber = 5;
    Fit(0x378, missing);
    InstallRealDelaySlots();
    EXPECT_EQ(ConnectProgrammer(0), -1);
    EXPECT_TRUE(ui.Log.empty());
    EXPECT_TRUE(NoDelaySlots());
    EXPECT_EQ(WaitSecondsSlot, WaitSeconds);
    EXPECT_EQ(ConnectProgrammer(1), -1);
    EXPECT_TRUE(Logged("Can not find the Vexlor programming module."));
    EXPECT_EQ(ConnectProgrammer(2), -1);
    EXPECT_TRUE(Logged("Can not be executed with Communication Error!"));
    EXPECT_TRUE(AllX());

    // A wrong tag whose first character is right reads the whole block and fails.
    sim::IdMemoryOptions tag;
    tag.tag = "QLY ";
    sim::IdMemory* mem = Fit(0x378, tag);
    EXPECT_EQ(ConnectProgrammer(0), -1);
    EXPECT_GE(mem->ReadCount(), 64u);
    EXPECT_TRUE(AllX());
    // A wrong first character costs one word per address width.
    ResetProgramState();
    tag.tag = "ZLX ";
    mem = Fit(0x378, tag);
    simp->ConfigureDirect(sim::LogicImageHeader{});
    PortIndex = 1;
    EXPECT_EQ(CheckHardwareTag(), -1);
    EXPECT_EQ(mem->ReadCount(), 2u);
}

TEST_F(BringupTest, HardwareModelClearsAStaleGangStateForSingleSocketDevices) {
    auto gang = std::make_unique<GangLines>();
    GangLines* lines = gang.get();
    simp->AddComponent(std::move(gang));
    simp->ConfigureDirect(sim::LogicImageHeader{});
    DeviceFlags = 0x10;
    EXPECT_EQ(ReadHardwareModel(), 1u);
    EXPECT_EQ(GangAdapterState, 1u);
    DeviceFlags = 0x08;
    EXPECT_EQ(ReadHardwareModel(), 0u);
    EXPECT_EQ(GangAdapterState, 0u);
    lines->value = 2;
    DeviceFlags = 0x20;
    EXPECT_EQ(ReadHardwareModel(), 2u);
}

} // namespace
