// The simulated programmer as the program uses it (PROGRAMMER_PORT=sim): the
// programmer with its ID memory, its personalities and an empty socket.
#pragma once
#include <memory>

#include "platform/PortIo.h"

std::unique_ptr<PortIo> MakeProgramSimulator();
