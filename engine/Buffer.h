// The data buffer: the device image as banks of 64 KB in one flat image
// reserved in virtual memory (pages are committed as they are first touched).
// BufferWindow views the current bank inside the image, so its 256-byte tail
// is always the head of the next bank. The same window, unpaged, is the fuse
// map of programmable logic devices.
#pragma once
#include <bit>
#include <cstdint>
#include <string>

static_assert(std::endian::native == std::endian::little, "BufferWords assumes a little-endian host");

constexpr uint32_t BufferBankBytes = 0x10000;
constexpr uint32_t BufferTailBytes = 256;
constexpr uint32_t BufferWindowBytes = BufferBankBytes + BufferTailBytes; // 65792
// Largest image: 4096 banks = 256 MB (buffer addresses 0 to FFFFFFFh). This
// covers the largest device of the library and the 64 MB benchmark image.
constexpr uint32_t MaxBankCount = 4096;
constexpr uint64_t MaxImageBytes = uint64_t{MaxBankCount} * BufferBankBytes;
// Fuse maps live in bank 0's window, tail included, without bank switching.
constexpr uint32_t MaxFuseCount = BufferWindowBytes * 8;
constexpr uint32_t TestVectorBufferBytes = 65537;
constexpr uint32_t TestBufferBytes = 65537;

extern uint8_t* BufferWindow;   // bank CurrentBank, then 256 bytes of the next bank
extern uint16_t* BufferWords;   // the same memory as little-endian 16-bit words
extern uint32_t CurrentBank;    // bank (address >> 16) shown in the window
extern uint32_t BankCount;      // banks present; grows, never shrinks in a run
extern uint32_t FillByte;       // value of new banks and of a fresh buffer
extern uint8_t* TestVectorBuffer; // JEDEC "V" fields for the vector test, zeroed
extern uint8_t* TestBuffer;       // working buffer of the logic IC test, zeroed
// Pins per vector of the list in TestVectorBuffer: the JEDEC file's (its QP
// field, else its vectors' length) when a load filled it, the device's when
// the vector editor last stored a symbol; 0 before.
extern uint32_t TestVectorPinCount;
// The names the test-vector code uses for the same two buffers: the vector
// test's list (TestVectorBuffer) and the IC test's list (TestBuffer).
extern uint8_t*& VectorBuffer;
extern uint8_t*& IcVectorBuffer;
// Banks InitBuffers reserves (MaxBankCount; tests lower it to reach the limit).
extern uint32_t BufferReserveBanks;

// Start-up: one bank filled with FillByte, the other buffers cleared. If the
// image cannot be reserved, "Cannot create swap area." is logged and the
// buffer works with bank 0 only.
void InitBuffers();
// Exit: releases the image and the other buffers.
void FreeBuffers();

// Makes the bank of address current; grow 1 first extends the image up to
// that bank (new banks filled with FillByte). Returns 1, or 0 when the bank
// does not exist and grow is 0 (after the box "Can not swap"), or when the
// image cannot grow that far (after "Cannot create swap area." in the log).
int SelectBank(uint32_t address, int grow);

// Fuse-map bits of the window: bit n = bit (n mod 8) of byte n / 8.
uint32_t GetBufferBit(uint32_t n);
void SetBufferBit(uint32_t n, uint32_t value);
uint32_t GetBufferBitShifted(uint32_t n, uint32_t p);

// Raw binary load of a file from fileOffset to buffer address; 1 or -1.
// Nothing in the buffer changes when the load fails.
int LoadFileIntoBuffer(uint32_t fileOffset, uint32_t address, const std::string& name);
int LoadFileAt(const std::string& name, uint32_t fileOffset, uint32_t address);
// Raw binary save of buffer bytes start..end inclusive; 1 or -1.
int SaveBufferRangeToFile(uint32_t start, uint32_t end, const std::string& name);
int SaveRangeAs(const std::string& name, uint32_t start, uint32_t end);

// The value of a hexadecimal digit; -1 for any other character.
int HexNibble(char c);

// Searches the pattern given as hexadecimal pairs (up to 16 bytes) from
// address forward (direction 0) or backward (1) over every bank; returns the
// address of the match's first byte, or -1.
int64_t FindPattern(uint32_t address, int direction, const std::string& hexText);
// One buffer byte without changing the current bank (FillByte past the last bank).
uint8_t ReadBufferByteCached(uint32_t address);

// Whole image as one array (banks 0..BankCount-1, plus the tail after the
// last one); the window is a view into it. Used by the buffer-wide services.
uint8_t* BufferImage();
// The fuse map of programmable logic: bank 0 and its tail, whichever bank
// the window shows. Every fuse reader and writer uses it.
uint8_t* FuseMap();
// Bytes the image can hold at most (0 when it could not be reserved beyond bank 0).
uint64_t BufferImageCapacity();

// Data file of the buffer and its type (0 binary, 1 hex, 2 JEDEC, 3 POF);
// the name keeps its case. Empty when the buffer has no data file. The
// configuration file stores both.
enum : uint8_t { DataFileBinary = 0, DataFileHex = 1, DataFileJedec = 2, DataFilePof = 3 };
extern std::string DataFileName;
extern uint8_t DataFileType;

// Back to the start-up state of this area (buffers initialised, 1 bank).
void ResetBufferState();
