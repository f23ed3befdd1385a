#include "shell/SimSetup.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/Device.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "sim/Rack.h"

namespace {

// The rack of the simulator that lives, as a component of it: it goes when
// the simulator goes.
class RackWatch : public sim::SimComponent {
public:
    explicit RackWatch(sim::Rack* rack) : rack_(rack) { g_rack = rack; }
    ~RackWatch() override {
        if (g_rack == rack_) g_rack = nullptr; // a newer simulator may have taken over
    }
    static inline sim::Rack* g_rack = nullptr;

private:
    sim::Rack* rack_;
};

sim::Rack* CurrentRack() { return RackWatch::g_rack; }

// The gang module's socket count from the environment; 0 without one.
int GangSocketsFromEnvironment() {
    const char* text = std::getenv(kSimGangVariable);
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*end != '\0' || n < 2 || n > sim::Rack::kMaxGangSockets) {
        ShowMessageLine("%s=%s ignored: a gang module has 2 to 8 sockets.", kSimGangVariable, text);
        return 0;
    }
    return static_cast<int>(n);
}

} // namespace

void SeatSimChipForCurrentDevice() {
    sim::Rack* rack = CurrentRack();
    if (rack == nullptr) return;
    if (!rack->SeatPart(CurrentMakerName, CurrentDeviceName) && !CurrentDeviceName.empty())
        ShowMessageLine("The simulator has no part %s %s: the socket is empty.", CurrentMakerName.c_str(),
                        CurrentDeviceName.c_str());
}

std::unique_ptr<PortIo> MakeProgramSimulator() {
    std::unique_ptr<sim::SimProgrammer> programmer = sim::Rack::Build(GangSocketsFromEnvironment());
    programmer->AddComponent(std::make_unique<RackWatch>(sim::Rack::Find(*programmer)));
    if (const char* path = std::getenv(kSimStateVariable); path != nullptr && *path != '\0') {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            const std::string why = LoadSimState(path);
            if (!why.empty()) ShowMessageLine("Simulator state %s not loaded: %s.", path, why.c_str());
        }
    }
    // A part named alone by VEXLOR_SIM_LOGIC_IC (a logic IC, a RAM, a GAL)
    // sits in the socket for the whole run, for the testers, in place of the
    // selected device's part.
    if (const char* name = std::getenv(kSimLogicIcVariable); name != nullptr && *name != '\0') {
        const sim::CatalogPart* part = sim::FindPart(name);
        if (part != nullptr && sim::Rack::Find(*programmer)->SeatPart(part->maker, part->name)) return programmer;
        ShowMessageLine("Simulated logic IC %s is not known.", name);
    }
    SeatSimChipForCurrentDevice();
    AddSelectionDefaultsHook(&SeatSimChipForCurrentDevice);
    return programmer;
}

SimSocketsEmptied::SimSocketsEmptied() {
    sim::Rack* rack = CurrentRack();
    if (rack == nullptr || rack->ChipsAside()) return;
    rack->SetAside();
    emptied_ = rack->ChipsAside();
}

SimSocketsEmptied::~SimSocketsEmptied() {
    if (!emptied_) return;
    if (sim::Rack* rack = CurrentRack()) rack->PutBack();
}

sim::SimProgrammer* ProgramSimulator() { return CurrentRack() ? &CurrentRack()->Programmer() : nullptr; }

sim::CatalogChip* SeatedSimChip(int s) { return CurrentRack() ? CurrentRack()->Seated(s) : nullptr; }

std::string SaveSimState(const std::string& path) {
    return CurrentRack() ? CurrentRack()->SaveState(path) : "no simulator";
}

std::string LoadSimState(const std::string& path) {
    return CurrentRack() ? CurrentRack()->LoadState(path) : "no simulator";
}

void SaveSimStateAtExit() {
    const char* path = std::getenv(kSimStateVariable);
    if (CurrentRack() == nullptr || path == nullptr || *path == '\0') return;
    const std::string why = SaveSimState(path);
    if (!why.empty()) std::fprintf(stderr, "Simulator state %s not saved: %s.\n", path, why.c_str());
}
