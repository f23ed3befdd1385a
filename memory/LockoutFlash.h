// JEDEC flash with software protection and boot-block lockout, on the flash
// bus of its logic images (LockoutFlash.cpp): row 40 (byte-wide, boot-block
// lockout, top/bottom block protection or the seven-read data protection),
// rows 41 and 52 (16-bit, boot-block lockout or sector protection by
// command) and row 55 (16-bit, fast program mode, sector lockout).
#pragma once
#include <cstdint>

// The protection operations of the block protection dialog. The readers log
// the state they find and return it: ReadBlockProtection40 the two block
// bits (1 bottom, 2 top), the lockout readers 1 when the lockout is on; -1
// when the step could not run.
void ActivateTopBottomBlock40(int top);
int ReadBlockProtection40();
void SetBootBlockLockout40(int disable);
int ReadBootBlockLockout40();
int ReadBootBlockLockout41();
void ActivateBootBlockLockout41();

// The sector protection of rows 52 and 55: states (1 protected) of the n
// sectors starting at boundaries[i] << 12 words, and the writers of a new set
// (non-zero = protect; 1 when done, else -1).
int ReadSectorProtection52(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtection52(const uint32_t* states, uint32_t n, const uint32_t* boundaries);
int ReadSectorProtection55(uint32_t* states, uint32_t n, const uint32_t* boundaries);
int WriteSectorProtection55(const uint32_t* states, uint32_t n, const uint32_t* boundaries);

// The block protection dialog the Options entry of rows 40 and 41 shows.
using ShowBlockProtectionFn = void (*)();
extern ShowBlockProtectionFn ShowBlockProtectionHook;
