// One reset of every engine area to its start-up state, for tests.
#pragma once

void ResetProgramState();
