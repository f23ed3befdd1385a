// The datasheet facts of the JEDEC flash and SRAM parts the simulator seats,
// keyed by maker and part name as the device library spells them.
#pragma once
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/JedecFlashChip.h"
#include "sim/PartFacts.h"
#include "sim/Socket.h"

namespace sim {

struct FlashPart {
    enum Kind { Flash, Sram, FlashWithSram, ThreeDies, FlashByteMode };
    const char* maker;
    const char* name;
    Kind kind;
    JedecFlashConfig flash; // every die of a module
    SramConfig sram;
};

// nullptr when the table has no such part.
const FlashPart* FindFlashPart(const std::string& maker, const std::string& name);
const std::vector<FlashPart>& FlashParts();

// The chips of a seated part: its flash dies (one but for a module) and its SRAM.
struct SeatedFlash {
    std::vector<JedecFlashChip*> dies;
    SramChip* sram = nullptr;
    bool byteMode = false; // a 16-bit die the library lists in byte mode
    // The datum at a library address: the die's word, or its byte in byte mode.
    uint16_t Datum(uint32_t a) const {
        const uint16_t w = flash()->Cell(byteMode ? a >> 1 : a);
        return byteMode ? static_cast<uint16_t>((w >> (a & 1 ? 8 : 0)) & 0xFF) : w;
    }
    JedecFlashChip* flash() const { return dies.empty() ? nullptr : dies.front(); }
};
// FlashByteMode: a 16-bit part the library lists in byte mode (BYTE# low): its
// catalog facts and cells are bytes, low byte first.
// A catalog part of the table seated as one chip: its dies (and SRAM) behind
// one footprint, their drives combined as the socket combines chips. It
// keeps the flash dies' cells one die after the other, else the SRAM's.
class FlashModuleChip : public CatalogChip {
public:
    FlashModuleChip(const PartFacts& facts, const FlashPart& part);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override {
        // The module answers for its dies: another identity set on it is
        // each die's.
        for (JedecFlashChip* die : seated_.dies) die->AnswerAnotherIdentity(AnswersAnotherIdentity());
        if (oneDie_) dies_.Chips().front()->Update(env);
        else dies_.Update(env);
    }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override { return dies_.Output(env, socketPin); }
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override { return limits_; }
    size_t Words() const override;
    uint16_t Cell(uint32_t address) const override;
    void SetCell(uint32_t address, uint16_t value) override;
    const SeatedFlash& Seated() const { return seated_; }

private:
    PartFacts facts_;
    Socket dies_;
    SeatedFlash seated_;
    std::vector<int> pins_;
    ChipPinLimits limits_;
    bool byteMode_ = false;
    bool oneDie_ = false; // a single chip on the module's own footprint
};

// Seats the part in the socket, declaring its footprint to the electrical model.
SeatedFlash SeatFlashPart(const FlashPart& part, Socket& socket, Electrical* electrical);

} // namespace sim
