// The operation driver with an 89C51Rx-type part of the simulator's catalog
// seated (optionally with changed facts) and the programmer prepared.
#pragma once
#include "W78Fixture.h"

#include "mcu/Flash89C51Rx.h"
#include "sim/Rx51FlashChip.h"

class Rx51Run : public W78Run {
protected:
    void SetUp() override {
        W78Run::SetUp();
        ResetRx51State();
    }
    sim::Rx51FlashChip* PutRx(const char* name, void (*change)(sim::Rx51FlashFacts&) = nullptr) {
        return PutPart<sim::Rx51FlashChip>("PHILIPS", name, change);
    }
};
