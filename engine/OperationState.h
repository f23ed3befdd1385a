// State of the running operation, shared by the operation driver, the device
// algorithms and the operation services.
#pragma once
#include <atomic>
#include <cstdint>

// Stable handle of one log line (see LogModel): it keeps naming the same line
// while older lines are trimmed away.
using LogLineHandle = uint64_t;

// The object passed to every step of a run. StatusLine names the log line the
// running step rewrites; it is set to LogLineCount() before the step logs it.
struct OperationEngine {
    LogLineHandle StatusLine = 0;
};

extern uint32_t ChipAddress;
extern uint32_t SupplyVoltage;
extern uint32_t BlankValue;          // 255; 1 for PLDs
extern uint32_t BlankWord;           // 65535
extern uint32_t SecureCheckValue;
extern uint32_t ReadBackAfterSecure;
extern uint32_t BlankCheckAfterErase;
extern uint32_t CompareFailed;
extern uint32_t BankAdvances;        // banks passed in the run
extern uint32_t ByteLane;
extern uint32_t AddressStep;         // buffer bytes (or words) per device word: 1, 2 or 4
extern uint32_t CurrentSocket;       // 0-7
extern int32_t SocketResults[8];     // OperationResult per socket, -1 not passed
extern uint32_t BufferIndex;         // index into the current bank (bytes, or words for 16-bit devices)
extern uint32_t FailAddress;
extern uint32_t BankSize;            // 65536 bytes, or 32768 words for 16-bit devices
extern uint32_t ReadValue;
extern uint32_t ExpectedValue;
extern uint32_t ReadVccInUse;        // 0.1 V
extern uint32_t ProgressStep;        // address-based progress looks only at multiples of it
extern uint32_t CurrentOperation;    // the running OperationCode

// Set to 1 by the UI thread (ESC, mouse click), consumed by the break poll.
extern std::atomic<int> UserBreak;
// Set (test-and-set) when an operation is started, cleared when it ends.
extern std::atomic<bool> OperationBusy;

// Back to the start-up state of this area.
void ResetOperationState();
