// The programmer's hardware self-test, run with an empty socket on the test
// image: every pin driver, supply-A, supply-B and ground switch must act on
// its own pin only, every pin's weak pull-up and pull-down must work, and the
// supply and ground relays must close on their pins only. One log line per
// item and a verdict.
#pragma once
#include <cstdint>

// Per-pin results, entries 1-48: 1 pass, -1 fail, 2 not tested.
using SelfTestResults = int[49];

struct RelayEntry {
    uint8_t pin; // socket pin
    uint8_t bit; // latch bit closing its relay
};
extern const RelayEntry VccRelayTable[8]; // latch 28
extern const RelayEntry GndRelayTable[3]; // latch 29

void RunHardwareSelfTest();
// kind 0 "Logic" (pin drivers), 1 "V12" (supply A), 2 "V34" (supply B), 3 "GND".
void TestPinSwitches(SelfTestResults results, int kind);
void TestPullUpDown(SelfTestResults results);
void TestVccRelays(SelfTestResults results);
void TestGndRelays(SelfTestResults results);
// 1 when no pin failed, else -1; logs " %s: PASS!" or " %s: FAIL!".
int ReportSelfTestItem(const SelfTestResults results, const char* name);
