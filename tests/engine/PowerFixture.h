// A simulated programmer with its ID memory and electrical model, brought up
// through the engine, for the power-layer and routing tests.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Device.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/ProgramState.h"
#include "tests/engine/SimBench.h"

class PowerFixture : public ::testing::Test {
  protected:
    sim::SimProgrammer simp;
    sim::Electrical* elec = nullptr;
    sim::Socket* socket = nullptr; // empty: the tests declare their loads on the pins

    void SetUp() override {
        ResetProgramState();
        BringUpSimulatedProgrammer(simp, elec, socket);
    }
    void TearDown() override {
        InstallPortIoRef(nullptr);
        ResetProgramState();
    }

    // The sources set and started as a module's power-up leaves them
    // (channel 1 at 5.0 V, the others at their 1.0 V floor).
    void StartSources() {
        SetAllDacVoltages(50, 0, 0, 0);
        DelayMs(100);
    }
    // A chip on every socket pin taking up to maxTenths on each.
    void SeatEverywhere(int maxTenths) { elec->DeclareChip(sim::DipPinLimits("load", 48, maxTenths)); }
    std::vector<int> Supplied() const { return elec->SuppliedPins(); }
    std::vector<int> Grounded() const { return elec->GroundedPins(); }
    // The calibration byte of the ID block the engine read.
    static int Cal(int channel, int volt) { return HardwareIdBlock[CalibrationIndex(channel, volt)]; }

    void Trace() {
        simp.ClearTrace();
        simp.EnableTrace(true);
    }
    // Values written to one register (all registers: reg -1, as reg << 8 | value).
    std::vector<int> Values(int reg) const {
        std::vector<int> v;
        for (const auto& a : simp.RegisterTrace())
            if (a.write && (reg < 0 || a.reg == reg)) v.push_back(reg < 0 ? a.reg << 8 | a.value : a.value);
        return v;
    }
    std::string Violations() const {
        std::string s;
        for (const auto& v : simp.Violations()) s += v + "\n";
        return s;
    }
};

// The DAC steps about 0.1 V per code from whole-volt calibration points and
// the strong path adds its own drop: within 0.15 V + 2 % of the voltage asked.
inline ::testing::AssertionResult NearTenths(int millivolts, int tenths) {
    const int want = tenths * 100;
    if (std::abs(millivolts - want) <= 150 + want / 50) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << millivolts << " mV, wanted " << want << " mV";
}
