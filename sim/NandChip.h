// A pin-level model of small-page NAND flash (x8, 48-pin TSOP), as the
// datasheets of these parts describe them.
//
// - Pins: R/B 7 (open drain, low while busy), /RE 8, /CE 9, CLE 16, ALE 17,
//   /WE 18, /WP 19, I/O0-7 on 29-32 and 41-44, VCC 12 and 37, VSS 13 and 36.
// - Powered: VCC at or above the part's minimum and both grounds held low. A
//   supply above the part's absolute maximum is refused: a violation, and
//   the part stays unpowered.
// - Bus cycles, with /CE low: the rising edge of /WE latches a command (CLE
//   high), an address byte (ALE high) or a datum (both low); the falling edge
//   of /RE puts the next output byte on I/O, its rising edge moves on.
// - Page: `pageData` data bytes and `spare` spare bytes; `pagesPerBlock` pages
//   a block. Addresses: for 512-byte pages a column byte (A0-A7; the half is
//   chosen by 00h/01h, the spare area by 50h) and two or three row bytes
//   (A9-...); for 256-byte pages a column byte and the row bytes of A8-...
// - Commands: 00h read from the first half (01h the second half, for the next
//   operation only), 50h read the spare area (holds until 00h or FFh), 80h
//   load a page then 10h program it, 60h row address then D0h erase the
//   block, 70h status (bit 0 fail, bit 6 ready, bit 7 not write-protected),
//   90h address 00h then maker and device code, FFh reset. In read mode an
//   address alone starts the next read with the pointer as it stands.
// - A read makes the part busy for `readUs`; then /RE cycles stream the page
//   from the column on, and past the last spare byte the next page is loaded
//   (busy again) and the stream runs on in the same area.
// - While busy only 70h and FFh are taken (FFh ends the operation); other
//   cycles are ignored.
// - Programming clears bits only, at most `partialPrograms` times per page
//   between erases; a block the factory marked bad has a non-FFh byte in the
//   spare area of its first pages; injected weak blocks fail program and
//   erase with status bit 0 and stay bad.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/PartFacts.h"
#include "sim/Socket.h"

namespace sim {

struct NandFacts : PartFacts {
    uint32_t pageData = 512;
    uint32_t spare = 16;
    uint32_t pagesPerBlock = 16;
    uint32_t blocks = 1024;
    uint32_t readUs = 10;
    uint32_t programUs = 200;
    uint32_t eraseUs = 2000;
    uint32_t partialPrograms = 2;
    // Absolute maximum supply: above it the part is refused (a violation)
    // and stays unpowered.
    int absMaxTenths = 46;
    // The buffer the library record of this part carries: data only, or
    // each page with its spare bytes (words counts them).
    bool withSpare = false;
    uint32_t PageBytes() const { return pageData + spare; }
    uint32_t TotalBytes() const { return PageBytes() * pagesPerBlock * blocks; }
};

class NandChip : public CatalogChip {
  public:
    explicit NandChip(const NandFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // Cells as the part's library record sees them: the data area, or each
    // page with its spare bytes.
    size_t Words() const override { return facts_.words; }
    uint16_t Cell(uint32_t address) const override {
        return facts_.withSpare ? Byte(address) : DataByte(address);
    }
    void SetCell(uint32_t address, uint16_t value) override;

    const NandFacts& Nand() const { return facts_; }
    // Byte at offset `column` (0 .. pageData + spare - 1) of a page.
    uint8_t PageByte(uint32_t page, uint32_t column) const;
    // Byte of the whole array, pages with their spare bytes one after another.
    uint8_t Byte(uint32_t address) const;
    void SetByte(uint32_t address, uint8_t value);
    // Byte of the data area only (spare bytes not counted).
    uint8_t DataByte(uint32_t address) const;
    bool BlockBlank(uint32_t block) const { return blocks_.find(block) == blocks_.end(); }
    bool Busy(const PinEnvironment& env) const;

    // Faults: a factory bad-block mark (`markByte` of the first two pages'
    // spare areas set to `value`), a block that fails program or erase, a
    // byte that never programs, a part that never becomes ready.
    void MarkBad(uint32_t block, uint32_t markByte = 5, uint8_t value = 0x00);
    void FailProgram(uint32_t block) { failProgram_.insert(block); }
    void FailErase(uint32_t block) { failErase_.insert(block); }
    // A byte of the array (as Byte counts) that never programs: a program
    // asking a 0 bit of it leaves the byte and fails (status bit 0).
    void StickByte(uint32_t address) { stuck_.insert(address); }
    void NeverReady(bool on) { neverReady_ = on; }
    uint32_t Erases(uint32_t block) const;
    uint32_t ProgramsOf(uint32_t page) const;

  private:
    enum class Input { None, ReadAddress, ProgramAddress, ProgramData, EraseAddress, IdAddress };
    enum class Area : uint8_t { First, Second, Spare };
    enum class OutMode { None, Data, Status, Id };
    int Level(const PinEnvironment& env, int chipPin) const;
    bool Powered(const PinEnvironment& env) const;
    // Powered, and a supply above the absolute maximum, kept while the
    // environment's supply revision stays and the supply and ground pins are
    // held by switches.
    void CheckSupply(const PinEnvironment& env) const;
    uint8_t DataIn(const PinEnvironment& env) const;
    uint32_t RowBytes() const;
    void Command(const PinEnvironment& env, uint8_t c);
    void AddressByte(const PinEnvironment& env, uint8_t a);
    void DataByteIn(uint8_t d);
    void StartRead(const PinEnvironment& env);
    void NextRead(const PinEnvironment& env);
    uint8_t OutputByte(const PinEnvironment& env) const;
    std::vector<uint8_t>& BlockOf(uint32_t block);
    void Reset();

    NandFacts facts_;
    std::vector<int> pins_;
    std::map<uint32_t, std::vector<uint8_t>> blocks_; // written blocks (absent: blank)
    // The block PageByte found last (null: blank); forgotten whenever
    // blocks_ gains or loses one (a copy of the chip starts without it).
    struct BlockCache {
        bool known = false;
        uint32_t block = 0;
        const std::vector<uint8_t>* cells = nullptr;
        BlockCache() = default;
        BlockCache(const BlockCache&) {}
        BlockCache& operator=(const BlockCache&) {
            known = false;
            return *this;
        }
    };
    mutable BlockCache lastBlock_;
    mutable uint64_t supplyRevision_ = 0;
    mutable bool supplyPowered_ = false, supplyOver_ = false;
    // ChipPinAt of every socket pin, worked out once (the chip never moves).
    uint8_t chipPinOf_[kSocketPins + 1] = {};
    std::map<uint32_t, uint32_t> programs_;           // page: programs since its erase
    std::map<uint32_t, uint32_t> erases_;
    std::set<uint32_t> failProgram_, failErase_, stuck_;
    bool neverReady_ = false;

    bool wasPowered_ = false;
    bool refused_ = false; // an over-voltage supply was reported
    bool prevWe_ = true, prevRe_ = true;
    Input input_ = Input::None;
    OutMode output_ = OutMode::None;
    Area area_ = Area::First, pointer_ = Area::First;
    uint32_t addrCount_ = 0;
    uint32_t column_ = 0, row_ = 0;
    uint32_t readColumn_ = 0, readPage_ = 0, idIndex_ = 0;
    std::vector<uint8_t> load_;
    std::vector<bool> loaded_;
    uint64_t busyUntil_ = 0;
    bool failed_ = false;
};

} // namespace sim
