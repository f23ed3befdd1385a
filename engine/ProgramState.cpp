#include "engine/ProgramState.h"

#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/Insertion.h"
#include "engine/Jtag.h"
#include "engine/Library.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"

void ResetProgramState() {
    ResetPortState();
    ResetLibraryState();
    ResetBringupState();
    ResetPinsState();
    ResetJtagState();
    ResetInsertionState();
    ResetAlgorithmTable();
    ResetRowHooks();
    ResetNeighbourState();
    ResetDeviceState();
    ResetBufferState();
    ResetServicesState();
    ResetOperationState();
    ResetOperationDriverState();
    ResetHexFilesState();
    ResetConfigState();
}
