// The operation driver with a W78E5x part of the simulator's catalog seated
// (optionally with changed facts) and the programmer prepared, so the rows'
// entries can also be called directly.
#pragma once
#include "McuFixture.h"

#include "mcu/W78E5x.h"
#include "sim/W78FlashChip.h"

class W78Run : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        ResetW78E5xState();
    }
    sim::W78FlashChip* Seat(const char* name, void (*change)(sim::W78FlashFacts&) = nullptr) {
        const auto* f = sim::FindFacts<sim::W78FlashFacts>("WINBOND", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::W78FlashFacts facts = *f;
        if (change != nullptr) change(facts);
        auto chip = std::make_unique<sim::W78FlashChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    sim::W78FlashChip* Put(const char* name, void (*change)(sim::W78FlashFacts&) = nullptr) {
        ClearSocket();
        EXPECT_TRUE(Select("WINBOND", name)) << name;
        sim::W78FlashChip* chip = Seat(name, change);
        PrepareDialog(); // direct calls of the entries start where an operation does
        return chip;
    }
};

