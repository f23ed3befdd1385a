// Command-set flash through the operation driver: the library record's part
// seated from the catalog on the command bus, alone or in gang sockets, and
// the lines and waits a run shows.
#pragma once
#include <cstdio>
#include <fstream>

#include "MemoryFixture.h"
#include "engine/Power.h"
#include "sim/CommandBus.h"
#include "sim/CommandFlashChip.h"

class CommandFlashRun : public MemoryRun {
protected:
    // The maker the catalog lists the part under.
    static std::string MakerOf(const std::string& name) {
        for (const char* maker : {"INTEL", "SHARP", "AMD", "SST", "TEXAS-INSTRUMENTS", "ST", "MITSUBISHI"}) {
            if (sim::FindPart(maker, name) != nullptr) return maker;
        }
        return "INTEL";
    }
    void SetUp() override {
        MemoryRun::SetUp();
        sim::RegisterCommandBusPersonality();
    }

    // Seats the catalog's part in the socket (or in gang socket s).
    sim::CommandFlashChip* SeatFlash(const std::string& name, int gangSocket = -1) {
        const sim::CatalogPart* part = sim::FindPart(MakerOf(name), name);
        if (part == nullptr) {
            ADD_FAILURE() << "no part " << name;
            return nullptr;
        }
        return Seat(sim::MakeChip(*part), gangSocket);
    }
    sim::CommandFlashChip* Seat(std::unique_ptr<sim::CatalogChip> chip, int gangSocket = -1) {
        sim::ChipPinLimits limits = chip->Limits();
        if (gangSocket >= 0) limits.supplyOrder = false;
        elec->DeclareChip(limits);
        auto* model = sim::SeatedModel<sim::CommandFlashChip>(chip.get());
        sim::Socket& s = gangSocket >= 0 ? sim::GangAdapter::Find(simp)->SocketAt(gangSocket) : *socket;
        s.Insert(std::move(chip));
        return model;
    }
    // Selects the device and seats its part; `words` limits the address range (0: all).
    sim::CommandFlashChip* Start(const std::string& name, uint32_t words = 0x300) {
        EXPECT_TRUE(Select(MakerOf(name), name)) << name;
        SetRange(words);
        return SeatFlash(name);
    }
    // Empties the socket and withdraws the seated parts' pin limits.
    void Unseat() {
        socket->Clear();
        elec->WithdrawAllChips();
    }
    void SetRange(uint32_t words) {
        if (words != 0) DeviceSize = words;
        SetupAddressRange();
    }
    // A gang adapter with `count` sockets, the part in each.
    std::vector<sim::CommandFlashChip*> StartGang(const std::string& name, int count) {
        EXPECT_TRUE(Select(MakerOf(name), name)) << name;
        if (sim::GangAdapter::Find(simp) == nullptr) sim::AddGangAdapter(simp);
        sim::ChipPinLimits feed;
        feed.chip = "gang adapter";
        feed.socketPins = {44};
        feed.supplyOrder = false;
        elec->DeclareChip(feed);
        LastSocketIndex = static_cast<uint32_t>(count - 1);
        std::vector<sim::CommandFlashChip*> chips;
        for (int s = 0; s < count; ++s) chips.push_back(SeatFlash(name, s));
        return chips;
    }
    // Read ID as the main window runs it shows these codes.
    void ExpectReadId(uint32_t device, uint32_t maker = 0x89) {
        runStart_ = ui.Log.size();
        ASSERT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
        AlgorithmRow(CurrentAlgorithm)->Identify();
        ResetProgrammerOutputs();
        ShowChipAndDataIds(ChipMakerId, ChipDeviceId);
        char id[48];
        std::snprintf(id, sizeof id, "Chip Mfg Id:%04Xh, Dev Id:%04Xh", maker, device);
        EXPECT_TRUE(HasLine(id)) << LogText();
    }
    bool ShownStatus(const std::string& text) const {
        const auto& h = ui.StatusHistory[1];
        return std::find(h.begin(), h.end(), text) != h.end();
    }
    std::vector<std::string> BlockLines() const {
        std::vector<std::string> out;
        for (const auto& l : Log()) {
            if (l.rfind(" Block Address", 0) == 0) out.push_back(l);
        }
        return out;
    }
    // The part holds the buffer (its words on a 16-bit part) from `from` on.
    void ExpectHolds(const sim::CommandFlashChip& chip, uint32_t from = 0) {
        const bool wide = chip.Config().width == 16;
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a)
            ASSERT_EQ(chip.Cell(a), wide ? BufferWords[a - from] : BufferByte(a - from)) << std::hex << a;
    }
    // Blank check, program from a loaded binary file (16-bit parts:
    // little-endian words), read back, verify, erase (then afterErase) and
    // blank check again.
    void ExpectRoundTrip(const sim::CommandFlashChip& chip, const std::function<void()>& afterErase = nullptr) {
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        std::string bytes;
        for (uint32_t i = 0; i < 2 * 0x300; ++i) bytes.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
        std::ofstream("image.bin", std::ios::binary) << bytes;
        FillBufferRange(0, BufferByteSize - 1, 0xFF);
        ASSERT_EQ(LoadFileIntoBuffer(0, 0, "image.bin"), 1);
        EXPECT_EQ(BufferWords[1], 0x1811); // bytes 11h, 18h
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectHolds(chip);
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        ExpectHolds(chip);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        if (afterErase) afterErase();
        EXPECT_TRUE(chip.IsBlank());
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    }
    // Runs op with the fault in place (a question answered No): it ends with
    // its result and line after `waits` erase waits (0: not counted), the
    // socket switched off.
    void ExpectFaultRun(const std::function<void()>& fault, int op, int result, const char* line, uint32_t waits) {
        FillPattern(BufferByteSize, 3);
        ui.StatusHistory[1].clear();
        fault();
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(op), result) << LogText();
        EXPECT_TRUE(HasLine(line)) << LogText();
        if (waits) ExpectWaits(waits);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
    // Reading never uses the programming supply: a verify of a blank part
    // (read mode 1) runs at the read supply however high the programming one
    // is, as the supply pin (ZIF) shows.
    void ExpectVerifyAtTheReadSupply(int vccZif) {
        FillBufferRange(0, BufferByteSize - 1, 0xFF);
        Vccp = 600;
        std::vector<int> vcc;
        ui.BreakAtPercent = 30;
        ui.OnBreak = [&] {
            vcc.push_back(elec->Pin(vccZif).Tenths());
            UserBreak = 0;
        };
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ui.OnBreak = nullptr;
        ASSERT_EQ(vcc.size(), 1u);
        EXPECT_GE(vcc.front(), 45) << LogText(); // one of the read levels, not 6.0 V
        EXPECT_LE(vcc.front(), 55) << LogText();
        ExpectNoViolations();
    }
    // The waits an erase showed: "n/10.n%10 sec" was shown and the next was not.
    void ExpectWaits(uint32_t n) {
        char last[16], beyond[16];
        std::snprintf(last, sizeof last, "%u.%u sec", n / 10, n % 10);
        std::snprintf(beyond, sizeof beyond, "%u.%u sec", (n + 1) / 10, (n + 1) % 10);
        EXPECT_TRUE(ShownStatus(last)) << last;
        EXPECT_FALSE(ShownStatus(beyond)) << beyond;
    }
};
