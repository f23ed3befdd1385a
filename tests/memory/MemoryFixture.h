// A simulated programmer with its socket, electrical model and the memory
// personalities, brought up through the engine, with a device selected from
// the built device library and the operation driver run against it.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "../engine/LibrarySelect.h"
#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
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
#include "memory/InstallMemoryRows.h"
#include "memory/MemoryFrame.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/Catalog.h"
#include "sim/ControlBus.h"
#include "sim/Electrical.h"
#include "sim/EpromChip.h"
#include "sim/GangAdapter.h"
#include "sim/IdMemory.h"
#include "sim/MemoryBus.h"
#include "sim/SimProgrammer.h"
#include "sim/Universal.h"

// A recording UI that can press ESC once, when the progress bar passes a mark.
class BreakingUi : public RecordingUi {
public:
    int BreakAtPercent = -1;
    std::function<void()> OnBreak; // called as the break is pressed
    std::string BreakAtStatus;     // ESC when the status panel shows this text
    std::function<void(const std::string&)> OnAppended; // sees each line as it is logged
    void LogAppended(const std::string& text) override {
        RecordingUi::LogAppended(text);
        if (OnAppended) OnAppended(text);
    }
    void SetStatusPanel(int panel, const std::string& text) override {
        RecordingUi::SetStatusPanel(panel, text);
        if (!BreakAtStatus.empty() && text == BreakAtStatus) {
            BreakAtStatus.clear();
            UserBreak = 1;
        }
    }
    void SetProgressBar(int position) override {
        RecordingUi::SetProgressBar(position);
        if (BreakAtPercent >= 0 && position >= BreakAtPercent) {
            BreakAtPercent = -1;
            UserBreak = 1;
            if (OnBreak) OnBreak();
        }
    }
};

// A chip model's configuration with some fields changed.
template <class F> sim::EpromConfig With(sim::EpromConfig c, F change) {
    change(c);
    return c;
}

inline sim::SimProgrammer* g_memorySim = nullptr;
inline uint64_t SimTickMs() { return g_memorySim ? g_memorySim->NowUs() / 1000 : 0; }

class MemoryRun : public ::testing::Test, public RunLogChecks {
protected:
    sim::SimProgrammer simp;
    sim::Electrical* elec = nullptr;
    sim::Socket* socket = nullptr;
    BreakingUi ui;
    std::vector<std::pair<int, int>> tones; // beeps of the runs
    ScratchDir scratch_;

    void SetUp() override {
        ResetProgramState();
        ResetMemoryFrameState();
        InstallMemoryAlgorithms();
        InstallUiBridge(&ui);
        SetToneSink([this](int hz, int ms) { tones.emplace_back(hz, ms); });
        sim::RegisterMemoryBusPersonality();
        sim::RegisterControlBusPersonality();
        g_memorySim = &simp;
        OperationTickMs = SimTickMs;
        BringUpSimulatedProgrammer(simp, elec, socket);
        if (HasFatalFailure()) return;
        // Compare files land in a private folder.
        scratch_.Enter("vexlor-mem-");
    }

    void TearDown() override {
        scratch_.Leave();
        InstallPortIoRef(nullptr);
        InstallUiBridge(nullptr);
        SetToneSink(nullptr);
        g_memorySim = nullptr;
        ResetProgramState();
    }

    // Selects a device of the EPROM section of the built library.
    bool Select(const std::string& maker, const std::string& name) {
        return SelectLibraryDevice(kLibraryEntryEprom, SectionEprom, maker, name);
    }

    // The catalog's facts of a part, to seat as they are or with a fault.
    static sim::EpromConfig Facts(const std::string& maker, const std::string& name) {
        const sim::CatalogPart* part = sim::FindPart(maker, name);
        if (part == nullptr || part->As<sim::EpromConfig>() == nullptr) {
            ADD_FAILURE() << "no EPROM part " << maker << " " << name << " in the catalog";
            return sim::EpromConfig{};
        }
        return *part->As<sim::EpromConfig>();
    }
    // Seats the catalog's part in the programmer's socket (or gang socket s).
    sim::EpromChip* SeatPart(const std::string& maker, const std::string& name, int gangSocket = -1) {
        return Seat(Facts(maker, name), gangSocket);
    }
    // Seats a chip in the programmer's socket (or gang socket s).
    sim::EpromChip* Seat(const sim::EpromConfig& c, int gangSocket = -1) {
        auto chip = std::make_unique<sim::EpromChip>(c);
        elec->DeclareChip(chip->Limits());
        if (gangSocket >= 0) return sim::GangAdapter::Find(simp)->SocketAt(gangSocket).Insert(std::move(chip));
        return socket->Insert(std::move(chip));
    }

    // A gang adapter with sockets 0..count-1 in use.
    void AddGangSockets(int count) {
        sim::AddGangAdapter(simp);
        // The strong supply path that the 3.3-5 V range switches on feeds the adapter.
        sim::ChipPinLimits adapterSupply;
        adapterSupply.chip = "gang adapter";
        adapterSupply.socketPins = {44};
        adapterSupply.supplyOrder = false;
        elec->DeclareChip(adapterSupply);
        LastSocketIndex = static_cast<uint32_t>(count - 1);
    }
    // A gang adapter with the selected device in sockets 0..count-1.
    std::vector<sim::EpromChip*> SeatGang(const sim::EpromConfig& c, int count) {
        AddGangSockets(count);
        std::vector<sim::EpromChip*> chips;
        for (int s = 0; s < count; ++s) chips.push_back(Seat(c, s));
        return chips;
    }

    // The run's log lines start at runStart_.
    int Run(int op) {
        runStart_ = ui.Log.size();
        return RunOperation(MainEngine, op);
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
    // The device's datum at word address a of the buffer (words low byte first).
    bool Wide() const { return DataWidth > 8; }
    uint32_t BufferDatum(uint32_t a) const {
        if (!Wide()) return BufferByte(a);
        return BufferByte(2 * a) | (static_cast<uint32_t>(BufferByte(2 * a + 1)) << 8);
    }

    const std::vector<std::string>& RecordedLines() const override { return ui.Log; }
    void ExpectNoViolations() {
        EXPECT_TRUE(simp.Violations().empty()) << simp.Violations().front();
    }
};
