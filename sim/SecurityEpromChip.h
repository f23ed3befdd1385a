// An EPROM-mode microcontroller with a security bit beside its array, as
// row 191's parts keep it (no datasheet found; the behaviour follows the
// row):
// - Security test: with the programming voltage on the test pin and the
//   enable, read and program strobes low, the security pin shows the bit:
//   open (reads 1) while clear, driven low once set.
// - Security write: the security pin (also D7) held low for at least 1 ms
//   with the programming voltage on both the Vpp pin and the test pin, the
//   address at 1DFFh and D0-D6 at 7Ch (FCh with D7), sets the bit on its
//   rising edge.
// - Set, the array no longer drives its data pins.
#pragma once
#include "sim/EpromChip.h"

namespace sim {

// Chip pins of the security test and write.
struct SecurityPins {
    int testPin;          // takes the programming voltage for test and write
    int securityPin;      // shows the bit; pulsed low to set it
    std::vector<int> low; // held low for the test (enable, read, program strobes)
};

struct SecurityEpromConfig : EpromConfig {
    SecurityPins security;
};

class SecurityEpromChip : public EpromChip {
  public:
    explicit SecurityEpromChip(const SecurityEpromConfig& config);

    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

    bool Secured() const { return secured_; }
    void SetSecured(bool on) { secured_ = on; }
    // The write never takes (a fault).
    void RefuseSecurity() { refused_ = true; }
    uint32_t SecurityWrites() const { return writes_; }

  private:
    int S(int chipPin) const;
    bool TestCondition(const PinEnvironment& env) const;
    ChipDrive Patch(const PinEnvironment& env, int socketPin, ChipDrive d) const;

    SecurityPins pins_;
    bool secured_ = false;
    bool refused_ = false;
    bool securityLow_ = false;
    uint64_t lowSince_ = 0;
    bool writeArmed_ = false;
    uint32_t writes_ = 0;
};

} // namespace sim
