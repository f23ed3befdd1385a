#include "shell/SimSetup.h"

#include "sim/IdMemory.h"
#include "sim/SimProgrammer.h"
#include "sim/Socket.h"
#include "sim/Universal.h"

std::unique_ptr<PortIo> MakeProgramSimulator() {
    sim::RegisterUniversalPersonalities();
    auto programmer = std::make_unique<sim::SimProgrammer>();
    sim::AddIdMemory(*programmer);
    programmer->AddComponent(std::make_unique<sim::Socket>());
    return programmer;
}
