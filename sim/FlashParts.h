// The datasheet facts of the JEDEC flash and SRAM parts the simulator seats,
// keyed by maker and part name as the device library spells them.
#pragma once
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/JedecFlashChip.h"
#include "sim/Socket.h"

namespace sim {

struct FlashPart {
    enum Kind { Flash, Sram, FlashWithSram, ThreeDies };
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
    JedecFlashChip* flash() const { return dies.empty() ? nullptr : dies.front(); }
};
// Seats the part in the socket, declaring its footprint to the electrical model.
SeatedFlash SeatFlashPart(const FlashPart& part, Socket& socket, Electrical* electrical);

} // namespace sim
