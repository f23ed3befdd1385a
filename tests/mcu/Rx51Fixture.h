// The operation driver with an 89C51Rx-type part of the simulator's catalog
// seated (optionally with changed facts) and the programmer prepared, and the
// checks the pin-level flash 8051 rows' tests share.
#pragma once
#include "W78Fixture.h"

#include <algorithm>
#include <string>

#include "mcu/Flash89C51Rx.h"
#include "sim/Rx51FlashChip.h"

class Flash51Run : public W78Run {
protected:
    // A cell that never programs: Program fails at it after `attempts` pulses.
    template <class Chip>
    void ExpectStuckCellFails(Chip* chip, uint32_t attempts) {
        chip->StickCell(0x21);
        FillPattern(0x40);
        DeviceEnd = 0x3F;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_EQ(chip->PulsesAt(0x21), attempts);
        EXPECT_TRUE(HasLine(ChipAddrLine(0x21))) << LogText();
    }
    // The seated part answers another identity: declining to go on fails Read.
    void ExpectWrongIdentityRefused() {
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Incorrect device ID.")) << LogText();
    }
    // A break at 30 % of a 2 KB blank check, declined: the break result.
    void ExpectUserBreak() {
        DeviceEnd = 0x7FF;
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpBlankCheck), 3) << LogText();
    }
};

// A part name as a test name ('-' is not allowed there).
inline std::string Flash51ParamName(const ::testing::TestParamInfo<const char*>& info) {
    std::string n = info.param;
    std::replace(n.begin(), n.end(), '-', '_');
    return n;
}

class Rx51Run : public Flash51Run {
protected:
    void SetUp() override {
        Flash51Run::SetUp();
        ResetRx51State();
    }
    sim::Rx51FlashChip* PutRx(const char* name, void (*change)(sim::Rx51FlashFacts&) = nullptr) {
        return PutPart<sim::Rx51FlashChip>("PHILIPS", name, change);
    }
};
