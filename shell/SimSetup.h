// The simulated programmer as the program uses it (PROGRAMMER_PORT=sim): the
// programmer with its ID memory, electrical model and personalities, and a
// socket that holds a blank chip matching the selected device, as if the user
// had inserted one. A chip keeps its contents for the run (selecting the same
// device again finds it as it was left), and the contents can be kept between
// runs in the file named by VEXLOR_SIM_STATE.
#pragma once
#include <memory>
#include <string>

#include "platform/PortIo.h"

namespace sim {
class EpromChip;
class SimProgrammer;
struct EpromConfig;
} // namespace sim

// Makes the simulator, restores the chips of VEXLOR_SIM_STATE, seats the chip
// of the current device and follows every later device selection.
std::unique_ptr<PortIo> MakeProgramSimulator();

// The simulator MakeProgramSimulator made, while it lives (nullptr otherwise).
sim::SimProgrammer* ProgramSimulator();
// The chip in its socket, nullptr when the socket is empty.
sim::EpromChip* SeatedSimChip();

// The chip model matching the current device: false when its family has no
// model in the simulator (the socket then stays empty).
bool SimChipConfigForCurrentDevice(sim::EpromConfig& config);

// Puts the current device's chip in the socket (the one used before for this
// device, else a blank one); runs at every device selection.
void SeatSimChipForCurrentDevice();

// The environment variable naming a simulated logic part (e.g. SN74LS00) that
// the socket holds for the whole run instead of the selected device's chip.
inline constexpr const char* kSimLogicIcVariable = "VEXLOR_SIM_LOGIC_IC";
// The environment variable naming the file that keeps the chips between runs.
inline constexpr const char* kSimStateVariable = "VEXLOR_SIM_STATE";
// Writes / reads the contents of every chip used in the run. Both return an
// empty string on success, else the reason. A file that fails to load leaves
// the chips as they were.
std::string SaveSimState(const std::string& path);
std::string LoadSimState(const std::string& path);
// At shutdown: the chips into VEXLOR_SIM_STATE when it is set and the
// simulator is in use.
void SaveSimStateAtExit();
