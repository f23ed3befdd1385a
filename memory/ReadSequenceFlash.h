// Read-sequence command flash on the 16-bit command bus (ReadSequenceFlash.cpp):
// row 79.
#pragma once

void InstallReadSequenceFlashRows();
