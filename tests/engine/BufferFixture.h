// Start-up state for the buffer and services tests, with a recording UI.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/LogModel.h"
#include "engine/NeighbourState.h"
#include "engine/OperationState.h"
#include "engine/RecordingUi.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"

class BufferFixture : public ::testing::Test {
protected:
    void SetUp() override {
        InstallUiBridge(&ui);
        ResetAll();
        ui.Clear();
    }
    void TearDown() override {
        InstallUiBridge(nullptr);
        ResetAll();
    }
    static void ResetAll() {
        for (auto reset : {ResetDeviceState, ResetConfigState, ResetRowHooks, ResetNeighbourState,
                           ResetOperationState, ResetServicesState, ResetBufferState})
            reset();
    }

    // Writes a byte at a buffer address through the window, as the editors do.
    static void Poke(uint32_t address, uint8_t value) {
        ASSERT_EQ(SelectBank(address, 1), 1);
        BufferWindow[address & 0xFFFF] = value;
    }
    static uint8_t Peek(uint32_t address) {
        EXPECT_EQ(SelectBank(address, 0), 1);
        return BufferWindow[address & 0xFFFF];
    }
    bool LogHas(const std::string& text) const {
        for (const std::string& line : MainLog().Lines())
            if (line == text) return true;
        return false;
    }

    RecordingUi ui;
};
