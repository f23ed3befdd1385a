// What the NAND files share: the bus, the state of one powered run and the
// power-down (Nand.cpp), and the block-0 maps of rows 83 and 86 with their
// power-up, which formats a part without a valid map (NandMap.cpp).
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "memory/NandGeometry.h"

namespace nand {

constexpr int kSockets = 8;
// Map entries: row 83's block 0 and bad blocks; kNoEntry an entry that
// gives no block, or the end of a list.
constexpr uint16_t kBlock0Entry = 0xF5F5, kBadEntry = 0xF0F0, kNoEntry = 0xFFFF;

// ---- the NAND bus ------------------------------------------------------------

void Command(uint8_t c);
int WaitReady(uint32_t n);
int Address(uint32_t a, bool stream, bool wide);
void ReadByte();
int WaitStatus();
void ReadIdAndReset();
int EraseBlock(uint32_t block, uint32_t blockBytes, bool wide);

// ---- the state of one powered run ------------------------------------------

struct NandRun {
    uint32_t Row = 0;
    NandGeometry Chip;
    bool Wide = true;         // 512-byte-page address form
    bool Spare = false;       // rows 83/86: the buffer carries the spare bytes
    uint32_t BufferPage = 0;  // buffer bytes per chip page
    uint32_t BufferBlock = 0; // buffer bytes per chip block
    uint32_t Blocks = 0;
    std::array<std::vector<uint8_t>, kSockets> Bad; // per socket, 1 = bad
    std::array<uint32_t, kSockets> BadCount{};
    std::array<std::vector<uint8_t>, kSockets> Map; // rows 83/86: block 0's map
    std::array<uint32_t, kSockets> Skipped{};       // row 83: blocks skipped in this run
    uint32_t DataBlocks = 0;                        // row 86: D
};
extern NandRun Run;

// The sockets in use (1-8).
uint32_t Sockets();
// Supply range, DAC levels and ground before the part is powered:
// programming takes Vccp, the rest the read supply.
void SupplyOn(bool programming);
// Parks the lines, powers the socket down and forgets the run.
void PowerOff();
int ScanBadBlocks(uint32_t s, uint32_t limit, bool block0Bad);

// ---- rows 83 and 86: the block-0 map -------------------------------------------

uint16_t Entry83(uint32_t s, uint32_t b);
bool Reserved(uint16_t entry);
int64_t Entry86(uint32_t s, uint32_t i);
std::vector<uint32_t> BadList86(uint32_t s);
// A buffer offset as the chip address of its page.
uint32_t ToChip(uint32_t offset);
// Powers the part up, reads each socket's map and formats a part without a
// valid one; Program (mode 1) also rebuilds the logical part. 1, or -1 with
// the failure logged.
int PowerOnMap(int mode);
bool BufferFitsRow86();

} // namespace nand
