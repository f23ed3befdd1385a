// The operation driver with a flash 8051 part of the simulator's catalog
// seated (optionally with changed facts) and the programmer prepared, so the
// rows' entries can also be called directly.
#pragma once
#include "McuFixture.h"

#include "mcu/Gms87Otp.h"
#include "mcu/Otp87C76x.h"
#include "mcu/Sst89.h"
#include "mcu/W78E5x.h"
#include "sim/Gms87OtpChip.h"
#include "sim/Otp87C76xChip.h"
#include "sim/Sst89Chip.h"
#include "sim/W78FlashChip.h"

class W78Run : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        ResetW78E5xState();
        ResetSst89State();
        Reset87C76xState();
        ResetGms87State();
    }
    // Selects the device, seats its part (facts changed by `change`) and
    // prepares the programmer.
    template <class Chip, class Facts>
    Chip* PutPart(const char* maker, const char* name, void (*change)(Facts&)) {
        ClearSocket();
        EXPECT_TRUE(Select(maker, name)) << name;
        const Facts* f = sim::FindFacts<Facts>(maker, name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        Facts facts = *f;
        if (change != nullptr) change(facts);
        auto chip = std::make_unique<Chip>(facts);
        elec->DeclareChip(chip->Limits());
        Chip* seated = socket->Insert(std::move(chip));
        PrepareDialog(); // direct calls of the entries start where an operation does
        return seated;
    }
    // The sdcc sample program loaded into the buffer; its first n bytes.
    std::vector<uint8_t> LoadSample(uint32_t n) {
        const std::string sample = ProgramDirectory + "/mcu-sample/blink.ihx";
        EXPECT_EQ(LoadHexFamilyFile(sample, 0, 0), 1) << sample;
        std::vector<uint8_t> image(n);
        for (uint32_t a = 0; a < n; ++a) image[a] = BufferByte(a);
        return image;
    }
    // Read ID as the main window's command runs it: the record's codes.
    void ExpectIdentity() {
        ChipMakerId = ChipDeviceId = 0;
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Identify(), 1);
        EXPECT_EQ((std::pair{ChipMakerId & 0xFF, ChipDeviceId & 0xFF}), (std::pair{ExpectedMakerId, ExpectedDeviceId}));
    }
    // Buffer bytes from..from + n - 1 saved as Intel hex, overwritten and
    // loaded again: the image.
    void ExpectSavedAndReloaded(uint32_t from, const std::vector<uint8_t>& image) {
        const uint32_t last = from + static_cast<uint32_t>(image.size()) - 1;
        ASSERT_EQ(SaveHexFamilyFile("saved.hex", from, last, HexFormatIntel), 1);
        FillBufferRange(from, last, 0x5A);
        ASSERT_EQ(LoadHexFamilyFile("saved.hex", 0, 0), 1);
        for (uint32_t a = 0; a < image.size(); ++a) ASSERT_EQ(BufferByte(from + a), image[a]) << std::hex << a;
    }
    sim::W78FlashChip* Put(const char* name, void (*change)(sim::W78FlashFacts&) = nullptr) {
        return PutPart<sim::W78FlashChip>("WINBOND", name, change);
    }
    sim::Sst89Chip* PutSst(const char* name, void (*change)(sim::Sst89Facts&) = nullptr) {
        return PutPart<sim::Sst89Chip>("SST", name, change);
    }
    sim::Otp87C76xChip* PutOtp(const char* name, void (*change)(sim::Otp87C76xFacts&) = nullptr) {
        return PutPart<sim::Otp87C76xChip>("PHILIPS", name, change);
    }
    sim::Gms87OtpChip* PutGms(const char* name, void (*change)(sim::Gms87OtpFacts&) = nullptr) {
        return PutPart<sim::Gms87OtpChip>("LG-SEMICON", name, change);
    }
};
