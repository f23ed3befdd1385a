// 3.3 V EPM-type CPLDs behind a 10-bit JTAG instruction register, 95
// addresses of a 183-bit (2-block) or 360-bit (4-block) word, erased to 1.
// Cell a x bits + p is word position p of address a; a word leaves TDO
// position bits - 1 first and is taken in the same order.
//
//   818 enters in-system programming when the supply is in its window and
//       pin 46 carries 11.2 V (+-0.3 V); every other instruction but 6 does
//       nothing outside it. 6 leaves.
//   14  the 95-bit address register: the one bit set, counted from the last
//       bit shifted, is the address.
//   22, 26, 30 each Capture-DR loads the current address's word and steps to
//       the next address. 30 and 26 are margin reads: a weak cell reads
//       programmed under 22 and 30, erased under 26.
//   18  Update-DR latches the word; leaving Run-Test/Idle after the part's
//       pulse width or longer programs the current address (cell AND bit),
//       a shorter stay programs nothing; either way the address steps on.
//   10  leaving Run-Test/Idle after the erase time or longer erases every cell
//       but the identification bits of address 1.
// Address 1 holds "ALTERA9", the erase-time and pulse codes; a 0 at its
// security position secures the part: every address but 1 reads all ones.
// A part answering another identity reads the identification bits inverted.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "sim/JtagCpldChip.h"

namespace sim {

struct EpmJtagFacts {
    const char* maker;
    const char* name;
    int variant; // 0: 183-bit words, 1: 360-bit words
    int eraseCode, pulseCode;
    bool idText;
    uint32_t eraseUs, pulseUs; // what the part needs
};

class EpmJtagChip : public JtagCpldChip {
public:
    explicit EpmJtagChip(const EpmJtagFacts& facts);

    int Bits() const { return part_.variant == 0 ? 183 : 360; }
    uint32_t CellAt(int a, int p) const { return static_cast<uint32_t>(a * Bits() + p); }
    bool Locked() const { return Cell(CellAt(1, part_.variant == 0 ? 83 : 179)) == 0; }
    bool InIsp() const { return isp_; }
    // Fault: a cell that programs weakly (reads erased under 26).
    void Weaken(uint32_t cell) { weak_.insert(cell); }
    // Address loads, reads (instruction, address), program pulses and erases.
    struct Event {
        uint32_t instruction;
        int address;
        uint64_t us;
        bool applied;
    };
    const std::vector<Event>& Events() const { return events_; }
    void ClearLog() { events_.clear(); }

    std::optional<std::vector<bool>> CaptureDr(uint32_t instruction) override;
    void UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t nowUs) override;
    void UpdateIr(uint32_t instruction, uint64_t nowUs) override;
    void Idle(uint32_t instruction, uint64_t us) override;

private:
    bool IdBit(int p) const;
    void PresetId();
    void Log(uint32_t instruction, int address, uint64_t us, bool applied);

    EpmJtagFacts part_;
    bool isp_ = false;
    int address_ = -1;
    std::vector<bool> data_;
    bool pending_ = false;
    std::set<uint32_t> weak_;
    std::vector<Event> events_;
};

} // namespace sim
