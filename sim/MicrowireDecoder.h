// The instruction decoder of Microwire serial EEPROMs (three-wire: chip
// select CS, clock SK, data in DI, data out DO), shared by the programmer's ID
// memory and the socket's Microwire parts.
//
// With CS high, leading zeros are ignored until the start bit 1; then a 2-bit
// opcode and the address field, MSB first, sampled on rising SK:
//   10 READ  address        -> DO gives a dummy 0, then the word MSB first
//                              on the next clocks, then the following words
//   01 WRITE address data   -> complete once the data bits are in
//   11 ERASE address
//   00 11x.. EWEN, 00 00x.. EWDS (take effect at the last address bit)
//   00 10x.. ERAL, 00 01x.. WRAL data
// A complete WRITE, ERASE, ERAL or WRAL runs when CS falls; dropping CS
// abandons any other instruction.
#pragma once
#include <cstdint>
#include <functional>

namespace sim {

class MicrowireDecoder {
public:
    enum class Op { None, Read, Write, Erase, EraseAll, WriteAll, Enable, Disable };
    struct Command {
        Op op = Op::None;
        uint32_t address = 0;
        uint32_t data = 0;
    };
    using WordSource = std::function<uint32_t(uint32_t address)>;

    // Address field width and word width (8 or 16) of the organisation in use.
    void Configure(int addressBits, int dataBits);
    int AddressBits() const { return addressBits_; }
    int DataBits() const { return dataBits_; }

    // CS changed to `cs`. On the falling edge, the instruction to run (a
    // complete WRITE, ERASE, ERAL or WRAL), else Op::None.
    Command Select(bool cs);
    // A rising SK edge with DI at `di` while selected. EWEN and EWDS come back
    // as they complete; READ takes its words from `read` (index wraps at the
    // address range).
    Command Clock(bool di, const WordSource& read);

    bool Selected() const { return cs_; }
    // No instruction under way: selected and waiting for the start bit.
    bool AwaitingStart() const { return cs_ && state_ == State::WaitStart; }
    // DO while a READ shifts out (dummy 0, then data); false otherwise.
    bool Reading() const { return state_ == State::Reading; }
    bool DataOut() const { return out_; }
    // READ instructions taken (a sequential read counts once).
    uint32_t ReadCount() const { return reads_; }

private:
    enum class State { Standby, WaitStart, Opcode, Address, Data, Reading, Done };
    void Reset();

    int addressBits_ = 6;
    int dataBits_ = 16;
    bool cs_ = false;
    bool out_ = false;
    State state_ = State::Standby;
    Command pending_;
    uint32_t opcode_ = 0;
    int bitsIn_ = 0;
    uint32_t shiftOut_ = 0;
    int outBits_ = 0;
    uint32_t reads_ = 0;
};

} // namespace sim
