#include "sim/MicrowireDecoder.h"

namespace sim {

void MicrowireDecoder::Configure(int addressBits, int dataBits) {
    addressBits_ = addressBits;
    dataBits_ = dataBits;
}

void MicrowireDecoder::Reset() {
    state_ = cs_ ? State::WaitStart : State::Standby;
    pending_ = {};
    opcode_ = 0;
    bitsIn_ = 0;
    outBits_ = 0;
    out_ = false;
}

MicrowireDecoder::Command MicrowireDecoder::Select(bool cs) {
    Command run;
    if (cs_ && !cs) {
        if (state_ == State::Done) run = pending_;
        cs_ = false;
        Reset();
    } else if (!cs_ && cs) {
        cs_ = true;
        Reset();
    }
    return run;
}

MicrowireDecoder::Command MicrowireDecoder::Clock(bool di, const WordSource& read) {
    const uint32_t bit = di ? 1 : 0;
    Command now;
    switch (state_) {
    case State::Standby:
    case State::Done:
        break;
    case State::WaitStart:
        if (di) {
            state_ = State::Opcode;
            bitsIn_ = 0;
            opcode_ = 0;
        }
        break;
    case State::Opcode:
        opcode_ = (opcode_ << 1) | bit;
        if (++bitsIn_ == 2) {
            state_ = State::Address;
            bitsIn_ = 0;
            pending_ = {};
        }
        break;
    case State::Address: {
        pending_.address = (pending_.address << 1) | bit;
        if (++bitsIn_ < addressBits_) break;
        bitsIn_ = 0;
        const uint32_t sub = pending_.address >> (addressBits_ - 2);
        if (opcode_ == 2) {
            // READ: the dummy 0 now, the word on the following clocks.
            state_ = State::Reading;
            pending_.op = Op::Read;
            shiftOut_ = read(pending_.address);
            outBits_ = 0;
            out_ = false;
            ++reads_;
        } else if (opcode_ == 1) {
            pending_.op = Op::Write;
            state_ = State::Data;
        } else if (opcode_ == 3) {
            pending_.op = Op::Erase;
            state_ = State::Done;
        } else if (sub == 3 || sub == 0) {
            now.op = sub == 3 ? Op::Enable : Op::Disable;
            state_ = State::Done;
            pending_ = {};
        } else if (sub == 2) {
            pending_.op = Op::EraseAll;
            state_ = State::Done;
        } else {
            pending_.op = Op::WriteAll;
            state_ = State::Data;
        }
        break;
    }
    case State::Data:
        pending_.data = (pending_.data << 1) | bit;
        if (++bitsIn_ == dataBits_) state_ = State::Done;
        break;
    case State::Reading:
        if (outBits_ == dataBits_) {
            // A sequential read runs on into the next word without a dummy bit.
            pending_.address = (pending_.address + 1) & ((1u << addressBits_) - 1);
            shiftOut_ = read(pending_.address);
            outBits_ = 0;
        }
        out_ = ((shiftOut_ >> (dataBits_ - 1 - outBits_)) & 1) != 0;
        ++outBits_;
        break;
    }
    return now;
}

} // namespace sim
