// The simulated programmer as the program uses it (PROGRAMMER_PORT=sim): the
// simulator's rack, which seats the catalog's part for the selected device as
// if the user had inserted a blank one. A chip keeps its contents for the run
// (selecting the same device again finds it as it was left), and the contents
// can be kept between runs in the file named by VEXLOR_SIM_STATE.
// VEXLOR_SIM_GANG=n (2-8) puts a gang module of n sockets on the programmer,
// each holding the part.
#pragma once
#include <memory>
#include <string>

#include "platform/PortIo.h"

namespace sim {
class CatalogChip;
class SimProgrammer;
} // namespace sim

// Makes the simulator, restores the chips of VEXLOR_SIM_STATE, seats the part
// of the current device and follows every later device selection.
std::unique_ptr<PortIo> MakeProgramSimulator();

// The simulator MakeProgramSimulator made, while it lives (nullptr otherwise).
sim::SimProgrammer* ProgramSimulator();
// The chip in socket s (0: the programmer's socket or the first gang
// socket), nullptr when it is empty.
sim::CatalogChip* SeatedSimChip(int s = 0);

// While it lives, the simulator's sockets are empty: the parts in them are
// laid aside whole and put back when it goes, as a user clears the socket
// for the hardware self-test. Does nothing without the simulator.
class SimSocketsEmptied {
public:
    SimSocketsEmptied();
    ~SimSocketsEmptied();
    SimSocketsEmptied(const SimSocketsEmptied&) = delete;
    SimSocketsEmptied& operator=(const SimSocketsEmptied&) = delete;

private:
    bool emptied_ = false;
};

// Puts the current device's part in the socket; runs at every device
// selection. A device the catalog lacks leaves the socket empty and logs so.
void SeatSimChipForCurrentDevice();

// The environment variables of the simulator. VEXLOR_SIM_LOGIC_IC names a
// simulated logic part (e.g. SN74LS00) that the socket holds for the whole
// run instead of the selected device's chip.
inline constexpr const char* kSimLogicIcVariable = "VEXLOR_SIM_LOGIC_IC";
inline constexpr const char* kSimStateVariable = "VEXLOR_SIM_STATE";
inline constexpr const char* kSimGangVariable = "VEXLOR_SIM_GANG";
// Writes / reads the contents of every chip used in the run. Both return an
// empty string on success, else the reason. A file that fails to load leaves
// the chips as they were.
std::string SaveSimState(const std::string& path);
std::string LoadSimState(const std::string& path);
// At shutdown: the chips into VEXLOR_SIM_STATE when it is set and the
// simulator is in use.
void SaveSimStateAtExit();
