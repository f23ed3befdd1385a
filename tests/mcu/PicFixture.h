// The PIC parts of the simulator's table seated on the McuRun programmer,
// with the supply watch that lets them see MCLR drop between logic changes.
#pragma once
#include "McuFixture.h"

#include "mcu/Pic.h"
#include "sim/PicChip.h"
#include "sim/PicParallelChip.h"

class PicRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        ResetPicState();
        simp.AddComponent(std::make_unique<sim::SupplyWatch>());
    }
    void TearDown() override {
        ResetPicState();
        McuRun::TearDown();
    }

    // Seats the part as a chip of type Chip; a facts edit may change it.
    template <class Chip> Chip* SeatAs(const std::string& name, void (*edit)(sim::PicFacts&) = nullptr) {
        const sim::PicFacts* f = sim::FindPicPart("MICROCHIP", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::PicFacts facts = *f;
        if (edit != nullptr) edit(facts);
        auto chip = std::make_unique<Chip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    sim::PicChip* SeatPic(const std::string& name) { return SeatAs<sim::PicChip>(name); }
    // The word-bus parts (rows 110, 113).
    sim::PicParallelChip* SeatParallelPic(const std::string& name, void (*edit)(sim::PicFacts&) = nullptr) {
        return SeatAs<sim::PicParallelChip>(name, edit);
    }
    sim::PicParallelChip* SelectAndSeatParallelPic(const std::string& name) {
        EXPECT_TRUE(Select("MICROCHIP", name)) << name;
        return SeatParallelPic(name);
    }
    sim::PicParallelChip* ReseatParallelPic(const std::string& name) {
        ClearSocket();
        return SelectAndSeatParallelPic(name);
    }
    sim::PicChip* ReseatPic(const std::string& name) {
        ClearSocket();
        return SelectAndSeatPic(name);
    }
    bool LogHas(const std::string& part) const { return LogText().find(part) != std::string::npos; }
    sim::PicChip* SelectAndSeatPic(const std::string& name) {
        EXPECT_TRUE(Select("MICROCHIP", name)) << name;
        return SeatPic(name);
    }
    // Empties the socket, selects the part and seats it as its row's chip
    // type, then runs body with it.
    template <class Body> void ReseatAnyPic(const std::string& name, Body&& body) {
        ClearSocket();
        ASSERT_TRUE(Select("MICROCHIP", name)) << name;
        if (CurrentAlgorithm == 110 || CurrentAlgorithm == 113) {
            auto* chip = SeatParallelPic(name);
            ASSERT_NE(chip, nullptr);
            body(chip);
        } else {
            auto* chip = SeatPic(name);
            ASSERT_NE(chip, nullptr);
            body(chip);
        }
    }
    // The blank word of the selected row.
    static uint32_t RowBlank() { return CurrentAlgorithm == 113 ? 0xFFFF : CurrentAlgorithm == 110 ? 0xFFF : 0x3FFF; }
    static void ClearWords() {
        for (uint32_t i = 0; i < 0x8000; ++i) BufferWords[i] = 0;
    }
    // Program words 0..n-1 from a pattern within the word mask (none blank).
    static void FillWords(uint32_t n, uint32_t mask, uint32_t seed = 7) {
        uint32_t x = seed;
        for (uint32_t i = 0; i < n; ++i) {
            x = x * 1103515245u + 12345u;
            uint32_t w = (x >> 12) & mask;
            if (w == mask) w ^= 1;
            BufferWords[i] = static_cast<uint16_t>(w);
        }
    }
};
