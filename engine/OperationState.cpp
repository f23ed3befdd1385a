#include "engine/OperationState.h"

#include <algorithm>

uint32_t ChipAddress = 0;
uint32_t SupplyVoltage = 0;
uint32_t BlankValue = 255;
uint32_t BlankWord = 65535;
uint32_t SecureCheckValue = 0;
uint32_t ReadBackAfterSecure = 0;
uint32_t BlankCheckAfterErase = 0;
uint32_t CompareFailed = 0;
uint32_t BankAdvances = 0;
uint32_t ByteLane = 0;
uint32_t AddressStep = 1;
uint32_t CurrentSocket = 0;
int32_t SocketResults[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
uint32_t BufferIndex = 0;
uint32_t FailAddress = 0;
uint32_t BankSize = 65536;
uint32_t ReadValue = 0;
uint32_t ExpectedValue = 0;
uint32_t ReadVccInUse = 0;
uint32_t ProgressStep = 256;
uint32_t CurrentOperation = 0;

std::atomic<int> UserBreak{0};
std::atomic<bool> OperationBusy{false};

void ResetOperationState() {
    ChipAddress = 0;
    SupplyVoltage = 0;
    BlankValue = 255;
    BlankWord = 65535;
    SecureCheckValue = 0;
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 0;
    CompareFailed = 0;
    BankAdvances = 0;
    ByteLane = 0;
    AddressStep = 1;
    CurrentSocket = 0;
    std::fill(std::begin(SocketResults), std::end(SocketResults), -1);
    BufferIndex = 0;
    FailAddress = 0;
    BankSize = 65536;
    ReadValue = 0;
    ExpectedValue = 0;
    ReadVccInUse = 0;
    ProgressStep = 256;
    CurrentOperation = 0;
    UserBreak = 0;
    OperationBusy = false;
}
