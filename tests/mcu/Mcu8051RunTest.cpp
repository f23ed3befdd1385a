// The 8051 pin-driver rows through the operation driver against the
// simulator's parts: program, verify, read back, blank check, encryption,
// security, identity and the injected faults.
#include "McuFixture.h"

#include "engine/NeighbourState.h"
#include "engine/Operation.h"

namespace {

struct RowCase {
    const char* maker;
    const char* name;
    bool plcc;
};

class Mcu8051Rows : public McuRun, public ::testing::WithParamInterface<RowCase> {};

TEST_P(Mcu8051Rows, ProgramVerifyReadBlankCheck) {
    const RowCase c = GetParam();
    sim::Mcu8051Chip* chip = SelectAndSeat(c.maker, c.name, c.plcc);
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    const uint32_t n = std::min<uint32_t>(DeviceSize, 0x300);
    DeviceEnd = n - 1;
    FillPattern(n);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    FillPattern(n, 7);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, Mcu8051Rows,
                         ::testing::Values(RowCase{"INTEL", "87C51", false}, RowCase{"INTEL", "87C51-PLCC", true},
                                           RowCase{"SIEMENS", "C501-1E", false},
                                           RowCase{"ATMEL", "AT89C55", false},
                                           RowCase{"ATMEL", "AT89C52-5", false},
                                           RowCase{"ATMEL", "AT89C52-12", false},
                                           RowCase{"GENERIC-ALGORITHM", "8051CC-80", false}));

} // namespace
