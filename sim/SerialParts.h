// The serial EEPROMs the simulator knows, by maker and name as the device
// library spells them, with their datasheet facts. Seat a part with
// SeatSerialPart; the returned model is owned by the socket.
#pragma once
#include <memory>
#include <string>
#include <variant>

#include "sim/ConfigEepromChip.h"
#include "sim/ConfigPromChip.h"
#include "sim/Electrical.h"
#include "sim/SecureMemoryChip.h"
#include "sim/TextIdConfigChip.h"
#include "sim/SerialChips.h"

namespace sim {

struct SerialPart {
    const char* maker;
    const char* name;
    std::variant<MicrowireFacts, TwoWireFacts, NovramFacts, AddressFirstFacts, InstructionWordFacts, CommandByteFacts,
                 SelectFrameFacts, ByteAddressSpiFacts, TwoClockFacts,
                 ByteFlashFacts, SecureFacts, SpiEepromFacts, DataFlashFacts, ConfigPromFacts, ConfigEepromFacts,
                 TextIdConfigFacts>
        facts;
};

// nullptr when the simulator does not know the part.
const SerialPart* FindSerialPart(const std::string& maker, const std::string& name);
// Every serial part (for tests that walk the table).
const std::vector<SerialPart>& SerialParts();
// The chip model of a part's protocol.
std::unique_ptr<SerialChipBase> MakeSerialChip(const SerialPart& part);
// Seats the part at the bottom of the socket and declares its pins.
SerialChipBase* SeatSerialPart(Socket& socket, Electrical& electrical, const SerialPart& part);

} // namespace sim
