// Row 32 (TextIdConfig32.cpp): the text-ID configuration devices of either
// generation, told apart by a probe.
#pragma once

void InstallTextIdConfig32Rows();
