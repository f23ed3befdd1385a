// The operation driver against the simulated programmer: a test row swapped
// into the algorithm table drives a byte-wide memory bus personality
// (registers 0-2 address, 3 socket mask, 4 command, 6 data, 8-9 identity),
// whose chips sit in the programmer's socket or in the gang adapter's sockets.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/LogModel.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/Electrical.h"
#include "sim/GangAdapter.h"
#include "sim/IdMemory.h"
#include "sim/SimProgrammer.h"
#include "sim/Socket.h"
#include "tests/engine/ScratchDir.h"
#include "sim/PartFacts.h"

namespace optest {

using Lines = std::vector<std::string>;
constexpr uint16_t kTestBusPersonality = 0x7E51;
constexpr uint32_t kTestRow = 59; // an empty row of the table
constexpr int kHighTone = 1193182 / 1000;
constexpr int kLowTone = 1193182 / 10000;

// A byte-wide EPROM-like chip: programming can only clear bits, erasing sets
// every cell to FFh, a secured chip reads 00h.
class TestChip : public sim::ChipModel {
public:
    TestChip(uint32_t size, uint8_t maker, uint8_t device) : cells(size, 0xFF), makerId(maker), deviceId(device) {}
    std::string Name() const override { return "test memory"; }
    const std::vector<int>& SocketPins() const override {
        static const std::vector<int> none;
        return none;
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }

    std::vector<uint8_t> cells;
    uint8_t makerId, deviceId;
    bool secured = false;
    uint32_t reads = 0, writes = 0;
    uint32_t unerasable = UINT32_MAX; // a cell that keeps its datum through an erase
};

class TestBus : public sim::SimPersonality {
public:
    uint16_t Id() const override { return kTestBusPersonality; }

    bool OnWrite(sim::SimProgrammer& p, uint8_t reg, uint8_t value) override {
        if (reg <= 2) {
            const int shift = 8 * reg;
            address_ = (address_ & ~(0xFFu << shift)) | (uint32_t{value} << shift);
        } else if (reg == 3) {
            mask_ = value;
        } else if (reg == 4) {
            Command(p, value);
        } else if (reg == 6) {
            data_ = value;
        }
        return reg <= 12;
    }
    std::optional<uint8_t> OnRead(sim::SimProgrammer& p, uint8_t reg) override {
        if (reg != 6 && reg != 8 && reg != 9) return std::nullopt;
        const sim::Socket* socket = nullptr;
        if (auto* gang = sim::GangAdapter::Find(p)) socket = gang->ReadSocket(p);
        else if (mask_ != 0xFF) socket = sim::Socket::Find(p);
        TestChip* chip = nullptr;
        if (socket != nullptr) AddChips(*socket, chip);
        if (chip == nullptr) return uint8_t{0xFF};
        if (reg != 6) return reg == 8 ? chip->makerId : chip->deviceId;
        ++chip->reads;
        if (chip->secured) return uint8_t{0x00};
        return address_ < chip->cells.size() ? chip->cells[address_] : uint8_t{0xFF};
    }

private:
    // The test chips of a socket: all of them, or the first into `first`.
    static void AddChips(const sim::Socket& socket, std::vector<TestChip*>& chips) {
        for (const auto& c : socket.Chips())
            if (auto* t = sim::SeatedModel<TestChip>(c.get())) chips.push_back(t);
    }
    static void AddChips(const sim::Socket& socket, TestChip*& first) {
        std::vector<TestChip*> all;
        AddChips(socket, all);
        first = all.empty() ? nullptr : all[0];
    }
    void Command(sim::SimProgrammer& p, uint8_t command) {
        std::vector<TestChip*> chips;
        if (auto* gang = sim::GangAdapter::Find(p)) {
            for (int s : gang->SelectedSockets()) AddChips(gang->SocketAt(s), chips);
        } else if (auto* socket = sim::Socket::Find(p); socket != nullptr && mask_ != 0xFF) {
            AddChips(*socket, chips);
        }
        for (TestChip* chip : chips) {
            if (command == 1 && address_ < chip->cells.size()) {
                chip->cells[address_] &= data_;
                ++chip->writes;
            } else if (command == 2 || command == 3) {
                for (uint32_t a = 0; command == 2 && a < chip->cells.size(); ++a)
                    if (a != chip->unerasable) chip->cells[a] = 0xFF;
                chip->secured = command == 3;
            }
        }
    }

    uint32_t address_ = 0;
    uint8_t mask_ = 0xFF, data_ = 0xFF;
};

// What the test row counts and how it misbehaves on request.
struct RowScript {
    int programCalls = 0, eraseCalls = 0, secureCalls = 0, identifyCalls = 0, fuseCalls = 0;
    int programResult = 0;                // 0: the walk's own result
    uint32_t weakAddress = UINT32_MAX;    // reads wrong at the high verify supply
    uint32_t stopAtAddress = UINT32_MAX;  // the programmer stops answering there
    uint32_t breakAtAddress = UINT32_MAX; // the user presses ESC there
    bool unplacedRead = false;            // the read fails with no address to name
    bool refusedRead = false;             // the part refuses the read (its own line first)
    bool refusedRange = false;            // the row refuses the range before touching the part
    bool blankCheckAfterErase = false;    // the erase asks the driver's blank check
    sim::SimProgrammer* programmer = nullptr;
};
inline RowScript g_script;

inline void SetChipAddress(uint32_t a) {
    for (uint8_t r = 0; r < 3; ++r) WriteRegister(r, (a >> (8 * r)) & 0xFF);
}

inline int TestRead(int mode) {
    if (g_script.refusedRange) {
        RefuseRun(" Start address %Xh refused.", DeviceStart);
        return -1;
    }
    if (g_script.refusedRead) {
        ShowMessageLine(" Refused.");
        ReadRefusedByDevice();
        return -1;
    }
    if (g_script.unplacedRead) {
        FailWithoutAddress();
        return -1;
    }
    WriteRegister(3, ~(1u << CurrentSocket) & 0xFF);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (ChipAddress == g_script.breakAtAddress) UserBreak = 1;
        if ((r = StepProgress(ChipAddress)) != 1) break;
        SetChipAddress(ChipAddress);
        ReadValue = ReadRegister(6);
        if (ChipAddress == g_script.weakAddress && ReadVccInUse >= 55) ReadValue ^= 0x01;
        if ((r = ProcessReadByte(mode)) != 1) break;
        if (BufferIndex > 0xFFFF && (r = AdvanceToNextBankIf(mode)) != 1) break;
    }
    WriteRegister(3, 0);
    return r;
}

inline int TestProgram() {
    ++g_script.programCalls;
    if (g_script.refusedRange) {
        RefuseRun(" Start address %Xh refused.", DeviceStart);
        return -1;
    }
    WriteRegister(3, 0);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (ChipAddress == g_script.stopAtAddress) g_script.programmer->StopAnswering(true);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if (ExpectedValue != 0xFF) {
            SetChipAddress(ChipAddress);
            WriteRegister(6, ExpectedValue);
            WriteRegister(4, 1);
            WriteRegister(4, 0);
            DelayUsSlot(100);
        }
        BufferIndex += AddressStep;
        if (BufferIndex > 0xFFFF && (r = AdvanceToNextBank()) != 1) break;
    }
    WriteRegister(3, 0xFF);
    return g_script.programResult != 0 ? g_script.programResult : r;
}

// A chip command (2 erase, 3 secure) to every selected socket.
inline int ChipCommand(int& calls, uint8_t command) {
    ++calls;
    WriteRegister(3, 0);
    WriteRegister(4, command);
    WriteRegister(4, 0);
    return 1;
}
inline int TestErase() {
    if (g_script.blankCheckAfterErase) BlankCheckAfterErase = 1;
    ChipCommand(g_script.eraseCalls, 2);
    DelayMsSlot(100);
    return 1;
}
inline int TestSecure() { return ChipCommand(g_script.secureCalls, 3); }
inline int TestFuseWriter() { return ++g_script.fuseCalls, 1; }
inline int TestIdentify() {
    ++g_script.identifyCalls;
    WriteRegister(3, 0xFE);
    ChipMakerId = ReadRegister(8);
    ChipDeviceId = ReadRegister(9);
    WriteRegister(3, 0xFF);
    return 0;
}

// The run's clock: the first tick of a run is 1000, the next 1000 + elapsed.
inline uint64_t g_elapsedMs = 0;
inline int g_tickCalls = 0;
inline uint64_t TestTicks() { return (g_tickCalls++ % 2 == 0) ? 1000 : 1000 + g_elapsedMs; }

class OperationFixture : public ::testing::Test {
protected:
    sim::SimProgrammer simp;
    sim::GangAdapter* gang = nullptr;
    RecordingUi ui;
    std::vector<int> tones;
    ScratchDir scratch;

    void SetUp() override {
        ResetProgramState();
        InstallUiBridge(&ui);
        SetToneSink([this](int hz, int) { tones.push_back(hz); });
        sim::RegisterPersonality(kTestBusPersonality,
                                 [](const sim::LogicImageHeader&) { return std::make_unique<TestBus>(); });
        sim::AddIdMemory(simp);
        sim::AddElectrical(simp);
        simp.AddComponent(std::make_unique<sim::Socket>());
        sim::LogicImageHeader h;
        h.personality = kTestBusPersonality;
        simp.ConfigureDirect(h);
        InstallPortIoRef(&simp);
        g_script = RowScript{};
        g_script.programmer = &simp;
        g_elapsedMs = 0;
        g_tickCalls = 0;
        OperationTickMs = TestTicks;
        AlgorithmEntry& row = AlgorithmTable[kTestRow];
        row.Read = TestRead;
        row.Program = TestProgram;
        row.Erase = TestErase;
        row.Secure = TestSecure;
        row.Identify = TestIdentify;

        scratch.Enter("optest");
    }
    void TearDown() override {
        scratch.Leave();
        InstallPortIoRef(nullptr);
        SetToneSink(nullptr);
        InstallUiBridge(nullptr);
        ResetProgramState();
    }

    // Makes a device of the test row current: the built-in record with the
    // section, operations, flags, size and verify supplies given.
    void SelectTestDevice(uint32_t section, uint32_t opMask, uint32_t words, uint32_t flags = 0,
                          uint32_t vccLow = 50, uint32_t vccHigh = 50) {
        DeviceRecord r = BuiltInDeviceRecord();
        r.Bytes[RecordSectionByte] = static_cast<uint8_t>(section);
        const std::tuple<uint32_t, uint32_t, uint32_t> fields[] = {
            {FieldAlgorithm, 2, kTestRow}, {FieldOperationMask, 2, opMask}, {FieldDeviceFlags, 2, flags},
            {FieldDeviceSize, 4, words},   {FieldMakerId, 2, 0x1E},         {FieldDeviceId, 2, 0x52},
            {FieldReadVccLow, 1, vccLow},  {FieldReadVccHigh, 1, vccHigh}};
        for (auto [field, size, value] : fields)
            for (uint32_t i = 0; i < size; ++i)
                r.Bytes[RecordFieldBase + field + i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
        DeviceSection = section;
        ASSERT_EQ(SetCurrentDevice(r), 1);
        LoadedLogicImage = static_cast<int32_t>(LogicImageNumber); // the image is in place
    }
    TestChip* InsertChip(uint32_t size) {
        return sim::Socket::Find(simp)->Insert(std::make_unique<TestChip>(size, 0x1E, 0x52));
    }
    TestChip* InsertGangChip(int socket, uint32_t size) {
        return gang->SocketAt(socket).Insert(std::make_unique<TestChip>(size, 0x1E, 0x52));
    }
    // Buffer byte at an address, growing the buffer as needed.
    static void PutBufferByte(uint32_t address, uint8_t value) {
        ASSERT_EQ(SelectBank(address, 1), 1);
        BufferWindow[address & 0xFFFF] = value;
    }

    // Runs an operation with a clean log, the questions answered in order.
    int Run(int op, std::vector<UiAnswer> answers = {}) {
        MainLog().Clear();
        ui.Clear();
        for (UiAnswer a : answers) ui.QueueAnswer(a);
        tones.clear();
        return RunOperation(MainEngine, op);
    }
    Lines Log() const { return MainLog().Lines(); }
    // Runs an operation and expects its result and its whole log; a line "T"
    // stands for the run's time line.
    void ExpectRun(int op, int result, Lines lines, std::vector<UiAnswer> answers = {}) {
        EXPECT_EQ(Run(op, std::move(answers)), result) << "op " << op;
        for (std::string& l : lines)
            if (l == "T") l = TimeLine(g_elapsedMs / 1000.0);
        EXPECT_EQ(Log(), lines) << "op " << op;
    }
    static std::string TimeLine(double seconds) {
        char text[64];
        std::snprintf(text, sizeof text, "--------------------------------> %3.2f Sec.", seconds);
        return text;
    }
};

} // namespace optest
