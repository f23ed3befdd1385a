// Two-wire serial configuration EEPROMs with a stored RESET/OE polarity, in
// 8-pin DIPs: SDA 1, SCL 2, RESET/OE 3, /CS 4, GND 5, pin 6, SER_EN 7, VCC 8.
//
// The bus follows the two-wire datasheets (START, STOP, acknowledge, page
// buffer committed at STOP, no acknowledge while the write cycle runs). The
// device byte is A6h (write) and A7h (read); two address bytes follow, three
// on the parts past 64 KB, whose four bytes from 20000h on hold the polarity
// setting (any value but FFh in the fourth: active high). Reads run on from
// the pointer.
//
// Invented from the frames of the row that serves them (no datasheet gives
// it), and strict: with 11 V or more on /CS a read returns the maker and
// device codes; on the parts with two address bytes a write closed while
// RESET/OE is driven high stores the polarity instead of the data, active
// high with pin 6 low, active low with it high. With the polarity active
// high the chip pulls RESET/OE weakly low (toward its inactive level); the
// programmer's logic image senses that.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/SerialChips.h"

namespace sim {

struct ConfigEepromFacts {
    std::string name;
    uint32_t bytes = 8192;
    uint32_t pageBytes = 64;
    bool threeByteAddress = false;
    uint8_t makerCode = 0, deviceCode = 0;
    uint32_t writeUs = 5000;
    SerialSupply supply{43, 57};
};

class ConfigEepromChip : public SerialChipBase {
public:
    explicit ConfigEepromChip(const ConfigEepromFacts& facts);
    bool ActiveHigh() const;
    void SetActiveHigh(bool on);
    // Fault: the data byte written for `address` is not acknowledged, and the
    // page write under way is dropped.
    void RefuseDataByte(uint32_t address) { refused_ = address; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    void ByteIn(const PinEnvironment& env, uint8_t b);
    void Load(const PinEnvironment& env);
    void Commit(const PinEnvironment& env);

    ConfigEepromFacts facts_;
    bool activeHigh_ = false;          // the two-address-byte parts
    std::array<uint8_t, 4> setting_{0xFF, 0xFF, 0xFF, 0xFF}; // at 20000h
    enum class Mode : uint8_t { Idle, Ignore, Control, Address, Writing, Reading } mode_ = Mode::Idle;
    TwoWireBits bits_;
    bool scl_ = true, sda_ = true, fresh_ = true;
    int addressBytes_ = 0;
    uint32_t address_ = 0, pointer_ = 0, idIndex_ = 0;
    std::vector<std::pair<uint32_t, uint8_t>> page_;
    int64_t refused_ = -1;
};

} // namespace sim
