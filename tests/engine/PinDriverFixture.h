// The simulated programmer with a pin-driver image loaded, the electrical model
// and an empty socket, wired to the engine's port; log and tones recorded.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Insertion.h"
#include "engine/Jtag.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/Services.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/Electrical.h"
#include "sim/IdMemory.h" // kDefaultDacCalibration
#include "sim/Socket.h"
#include "sim/Universal.h"

class PinDriverFixture : public ::testing::Test {
protected:
    sim::SimProgrammer simp;
    sim::Electrical* electrical = nullptr;
    sim::Socket* socket = nullptr;
    RecordingUi ui;
    std::vector<int> tones;

    void SetUp() override {
        ResetProgramState();
        InstallUiBridge(&ui);
        SetToneSink([this](int hz, int) { tones.push_back(hz); });
        sim::RegisterUniversalPersonalities();
        electrical = sim::AddElectrical(simp);
        auto s = std::make_unique<sim::Socket>();
        socket = s.get();
        simp.AddComponent(std::move(s));
        LoadImage(sim::kPersonalityUniversal);
        // The calibration the simulated programmer's ID memory carries.
        for (int c = 1; c <= 4; ++c)
            for (int v = 1; v <= 25; ++v) HardwareIdBlock[CalibrationIndex(c, v)] = sim::kDefaultDacCalibration[c - 1][v - 1];
        InstallPortIoRef(&simp);
        InstallRealDelaySlots();
        ProgrammerConnected = 1;
    }

    void TearDown() override {
        InstallPortIoRef(nullptr);
        SetToneSink(nullptr);
        InstallUiBridge(nullptr);
        ResetProgramState();
    }

    void LoadImage(uint16_t personality) {
        sim::LogicImageHeader h;
        h.personality = personality;
        simp.ConfigureDirect(h);
    }

    void StartTrace() {
        simp.ClearTrace();
        simp.EnableTrace(true);
    }
    std::vector<std::pair<int, int>> Writes() const {
        std::vector<std::pair<int, int>> w;
        for (const auto& a : simp.RegisterTrace())
            if (a.write) w.emplace_back(a.reg, a.value);
        return w;
    }
    // The register writes of one action, traced from a clean trace.
    template <class F> std::vector<std::pair<int, int>> WritesOf(F action) {
        StartTrace();
        action();
        return Writes();
    }
    std::vector<int> Reads() const {
        std::vector<int> r;
        for (const auto& a : simp.RegisterTrace())
            if (!a.write) r.push_back(a.reg);
        return r;
    }
};
