// Parallel EPROMs on the memory bus: the pulse-verify module (row 0) and its
// single-pulse twin (row 90), the paged EPROMs (rows 67, 68), the
// electrically erasable part with timed writes (row 76), the byte-write part
// (row 60), and the 16-bit EPROMs (rows 3/4, 69, 75, 84).
#pragma once
#include <cstdint>

#include "memory/MemoryFrame.h"

// Pulse and socket handling by DeviceVariant, shared by rows 0 and 90.
extern const EpromEraseVariant EpromEraseVariantTable[EpromEraseVariantCount];

int Alg0Read(int mode);
int Alg0Program();
int Alg0Erase();
int Alg90Read(int mode);
int Alg90Program();
int Alg90Erase();
int Alg60Read(int mode);
int Alg60Program();
int Alg67Read(int mode);
int Alg67Program();
int Alg68Read(int mode);
int Alg68Program();
int Alg76Read(int mode);
int Alg76Program();
int Alg76Erase();
int Alg3Read(int mode);
int Alg3Program();
int Alg3Erase();
int Alg69Read(int mode);
int Alg69Program();
int Alg75Read(int mode);
int Alg75Program();
int Alg84Read(int mode);
int Alg84Program();
