// The serial configuration PROMs and devices (rows 30, 31, 33 and 34) beyond
// the common serial table: identity checks and the faults that must end a run before a
// pulse, the page loop's pulses, the burst lengths, and the polarity dialog
// offscreen on the simulated chip.
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "ImageFiles.h"
#include "engine/RowDef.h"
#include "memory/ConfigEeprom.h"
#include "memory/ConfigProm.h"
#include "memory/OptAt17Cxx.h"
#include "memory/OptXc17xx.h"
#include "memory/TextIdConfig.h"
#include "memory/SerialFrame.h"
#include "sim/SerialEngine.h"
#include "sim/SerialParts.h"
#include "MemoryFixture.h"
#include "OffscreenApp.h"
#include "sim/PartFacts.h"

namespace {

class Prom : public MemoryRun {
protected:
    sim::ConfigPromChip* chip = nullptr;

    void SetUp() override {
        App();
        MemoryRun::SetUp();
        sim::RegisterSerialPersonality();
        InstallOptXc17xxDialog();
        InstallOptAt17CxxDialog();
        // A test that lost the shift engine leaves its mark; a run re-arms it
        // at power-on, but the entries called here without one must not see it.
        SerialEngineArm();
    }
    sim::ConfigEepromChip* eeprom = nullptr;
    sim::SerialChipBase* seated = nullptr;
    // Seats the part, its identity code changed by `deviceDelta`.
    void Seat(const char* name, int deviceDelta = 0) {
        socket->Clear();
        const char* maker = name[0] == 'A' ? "ATMEL" : name[0] == 'E' ? "ALTERA" : "XILINX";
        ASSERT_TRUE(Select(maker, name)) << name;
        sim::SerialPart part = *sim::FindSerialPart(maker, name);
        std::visit(
            [&](auto& f) {
                if constexpr (requires { f.deviceCode; }) f.deviceCode = static_cast<uint8_t>(f.deviceCode + deviceDelta);
            },
            part.facts);
        seated = sim::SeatSerialPart(*socket, *elec, part);
        chip = sim::SeatedModel<sim::ConfigPromChip>(seated);
        eeprom = sim::SeatedModel<sim::ConfigEepromChip>(seated);
        textId = sim::SeatedModel<sim::TextIdConfigChip>(seated);
    }
    sim::TextIdConfigChip* textId = nullptr;
    int Pulses() const {
        if (textId) return static_cast<int>(textId->Pulses());
        return chip ? static_cast<int>(chip->Pulses()) : static_cast<int>(eeprom->WriteCycles());
    }
    // The row's image, for entries called without the operation driver.
    void LoadImage() {
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalitySerial;
        h.params[0] = CurrentAlgorithm == 31 ? 6 : 5;
        simp.ConfigureDirect(h);
        simp.EnableTrace(true);
        simp.ClearTrace();
        ReadVccInUse = 50;
    }
    std::vector<int> Writes(uint8_t reg) const {
        std::vector<int> v;
        for (const auto& a : simp.RegisterTrace())
            if (a.write && a.reg == reg) v.push_back(a.value);
        return v;
    }
    int Lines(const std::string& text) const {
        const auto l = Log();
        return static_cast<int>(std::count(l.begin(), l.end(), text));
    }
};

// Each fault ends the run with its result and line; no pulse reaches a part
// whose identity failed.
TEST_F(Prom, FaultsEndTheRun) {
    struct Case {
        const char* what;
        const char* name;
        int deviceDelta;
        UiAnswer answer;
        std::function<void()> fault;
        int result;
        const char* line;
        int questions;
        int pulses; // -1: not counted
    };
    const auto stuckEngine = [this] {
        ui.BreakAtPercent = 40;
        ui.OnBreak = [this] {
            UserBreak = 0;
            simp.StopAnswering(true, 0xFF);
        };
    };
    const std::vector<Case> cases = {
        {"row 30 mismatch, Yes: programs, the verify asks no more", "XC1765E", 1, UiAnswer::Yes, nullptr, 1,
         " Manufacturer or Device ID Error.", 1, -1},
        {"row 30 mismatch, No: before any pulse", "XC1765E", 1, UiAnswer::No, nullptr, -1,
         " Manufacturer or Device ID Error.", 1, 0},
        {"row 34 mismatch", "XC17S05", 1, UiAnswer::Yes, nullptr, -1, " Invalid device ID.", 0, 0},
        {"row 30 page never verifies: two over-pulses", "XC1765E", 0, UiAnswer::Yes,
         [this] { chip->NeverPrograms(); }, -1, "Program error!", 0, 3},
        {"engine stuck busy", "XC17S05", 0, UiAnswer::Yes,
         stuckEngine,
         -1, "Can not be executed with Communication Error!", 0, -1},
        {"user break", "XC1765E", 0, UiAnswer::No, [this] { ui.BreakAtPercent = 30; }, 3, "USER BREAK!", 1, -1},
        {"row 31 mismatch, Yes: programs, the verify asks no more", "AT17C65", 1, UiAnswer::Yes, nullptr, 1,
         " Invalid device ID.", 1, -1},
        {"row 31 mismatch, No: nothing written", "AT17C010", 1, UiAnswer::No, nullptr, -1, " Invalid device ID.", 1, 0},
        {"row 31 page written faster than the chip: its address unacknowledged", "AT17C65", 0, UiAnswer::Yes,
         [] { PulseWidth = 100; }, -1, "Program error!", 0, 1},
        {"row 33 identification text wrong", "EPC1", 0, UiAnswer::Yes, [this] { textId->SetIdText("ALTERA8"); }, -1,
         " Invalid device ID", 0, 0},
        {"row 33 variant 0 reads no identification", "EPC1441", 0, UiAnswer::Yes,
         [this] { textId->SetIdText("NONE"); }, 1, "Program ok!", 0, -1},
        {"row 33 word never ready: 200 polls, a pulse after each but the last", "EPC1441", 0, UiAnswer::Yes,
         [this] { textId->NeverPrograms(); }, -1, "Program error!", 0, 199},
        {"row 33 engine stuck busy", "EPC1", 0, UiAnswer::Yes,
         stuckEngine,
         -1, "Can not be executed with Communication Error!", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Seat(c.name, c.deviceDelta);
        DeviceSize = 600;
        SetupAddressRange();
        ui.Boxes.clear();
        if (c.questions > 0) ui.QueueAnswer(c.answer);
        if (c.fault) c.fault();
        FillPattern(BufferByteSize, 2);
        EXPECT_EQ(Run(OpProgram), c.result) << LogText();
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_EQ(static_cast<int>(ui.Boxes.size()), c.questions) << LogText();
        if (c.pulses >= 0) {
            EXPECT_EQ(Pulses(), c.pulses);
        }
        // Powered down, unless the programmer stopped answering.
        EXPECT_EQ(elec->SuppliedPins().empty(), !SerialEngineLost());
        simp.StopAnswering(false);
        ui.OnBreak = nullptr;
        ui.BreakAtPercent = -1;
        UserBreak = 0;
    }
}

// Another part of the row in the socket: Verify, Program and Blank check end
// at the row's identity line (the rows that ask, answered No; Yes goes on as
// FaultsEndTheRun shows), with no datum or verify-level line after it and the
// part untouched. Row 33's variant 0 reads no identity and declares none.
TEST_F(Prom, AnotherPartEndsEachOperationAtItsIdentityLine) {
    struct Case {
        const char* name;
        const char* line; // nullptr: no identity checked
        bool asks;
    };
    for (const Case& c : {Case{"EPC1441", nullptr, false}, Case{"EPC1", " Invalid device ID", false},
                          Case{"XC17128E", " Manufacturer or Device ID Error.", true},
                          Case{"AT17C010", " Invalid device ID.", true}, Case{"XC17S05", " Invalid device ID.", false}}) {
        SCOPED_TRACE(c.name);
        elec->WithdrawAllChips();
        Seat(c.name);
        seated->AnswerAnotherIdentity();
        DeviceSize = 600;
        SetupAddressRange();
        FillPattern(BufferByteSize, 4);
        const RowDef* def = RowDefinition(CurrentAlgorithm);
        ASSERT_NE(def, nullptr);
        EXPECT_EQ(def->ChecksIdentity != nullptr && def->ChecksIdentity(), c.line != nullptr);
        if (c.line == nullptr) {
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            continue;
        }
        for (int op : {OpVerify, OpProgram, OpBlankCheck}) {
            SCOPED_TRACE(op);
            ui.Boxes.clear();
            if (c.asks) ui.QueueAnswer(UiAnswer::No);
            EXPECT_EQ(Run(op), -1) << LogText();
            EXPECT_TRUE(HasLine(c.line)) << LogText();
            EXPECT_EQ(IdentityRefusalLine(), c.line);
            EXPECT_EQ(DatumLines(), "") << LogText();
            EXPECT_EQ(ui.Boxes.size(), c.asks ? 1u : 0u);
        }
        EXPECT_EQ(Pulses(), 0);
        for (uint32_t a = 0; a < 600; ++a) ASSERT_EQ(seated->Byte(a), 0xFF) << a;
    }
    ExpectNoViolations();
}

// The row-30 identity with a device code below 10h meets the high nibble of
// the chip's second byte.
TEST_F(Prom, ShortDeviceCodeMeetsTheHighNibble) {
    for (const auto& [expected, result] : {std::pair{0x0Au, 1}, std::pair{0x0Bu, -1}, std::pair{0xA2u, 1}}) {
        Seat("XC17128E");
        LoadImage();
        ExpectedDeviceId = expected;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(AlgorithmRow(30)->Read(0), result) << expected;
        SkipIdCheck = 0;
    }
}

// ClockBurst(450) gives 200, 200 and 50; an all-FFh page is not pulsed but
// the address moves on; OverPulseWidth 0 never reads a page back; row 34
// reads at the read supply in verify mode 1; a Page past 21 or of 0 is refused.
TEST_F(Prom, PageLoopAndBursts) {
    Seat("XC1765E");
    LoadImage();
    WriteRegister(4, 3);
    WriteRegister(3, 14);
    simp.ClearTrace();
    EXPECT_EQ(ClockBurst(450), 1);
    EXPECT_EQ(Writes(8), (std::vector<int>{200, 200, 50}));

    DeviceEnd = 11;
    FillBufferRange(0, 3, 0xFF);
    FillBufferRange(4, 11, 0x5A);
    EXPECT_EQ(AlgorithmRow(30)->Program(), 1);
    EXPECT_EQ(chip->Pulses(), 2u);
    EXPECT_EQ(chip->Byte(3), 0xFF);
    EXPECT_EQ(chip->Byte(4), 0x5A);

    Seat("XC1765E");
    chip->NeverPrograms();
    OverPulseWidth = 0;
    EXPECT_EQ(AlgorithmRow(30)->Program(), 1); // nothing read back
    for (uint32_t page : {0u, 22u}) {
        PageSize = page;
        EXPECT_EQ(AlgorithmRow(30)->Program(), -1);
    }

    Seat("XC17S05");
    LoadImage();
    ReadVccInUse = 45;
    EXPECT_EQ(AlgorithmRow(34)->Read(1), 1);
    EXPECT_EQ(SupplyVoltage, 45u);
    ExpectNoViolations();
}

// A range past address 0: the data land at the chip addresses the range names
// and read back from there, with the cells around the range untouched; a
// start inside a page of the one-time PROMs (which program page after page
// from 0), and any start but 0 on the text-ID devices (which stream from 0,
// their option bits after the range), is refused before the part is powered.
TEST_F(Prom, RangePastZero) {
    struct Case {
        const char* name;
        uint32_t start, end;
        bool refused;
        const char* line = " Start address must be a multiple of 4.";
    };
    for (const Case& c : {Case{"XC1765E", 0x100, 0x1FE, false}, Case{"XC1765E", 0x101, 0x1FF, true},
                          Case{"XC17S05", 0x104, 0x1FD, false}, Case{"XC17S10", 0x123, 0x1FF, true},
                          Case{"AT17C65", 0x123, 0x2F4, false}, Case{"EPC1441", 0x100, 0x1FF, true, " Start address must be 0."}}) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.start));
        elec->WithdrawAllChips();
        Seat(c.name);
        const uint32_t size = DeviceSize;
        DeviceStart = BufferStart = c.start;
        DeviceEnd = c.end;
        FillPattern(0x400, 6);
        EXPECT_EQ(Run(OpProgram), c.refused ? -1 : 1) << LogText();
        auto cell = [&](uint32_t a) { return chip ? chip->Byte(a) : eeprom ? eeprom->Byte(a) : textId->Byte(a); };
        if (c.refused) {
            // The refusal is the run's last word: nothing was read, so no
            // line names a datum or a verify level's result.
            EXPECT_TRUE(HasLine(c.line)) << LogText();
            EXPECT_EQ(DatumLines(), "") << LogText();
            if (textId) {
                for (int op : {OpRead, OpVerify, OpBlankCheck}) {
                    EXPECT_EQ(Run(op), -1) << op << LogText();
                    EXPECT_TRUE(HasLine(c.line)) << op << LogText();
                    EXPECT_EQ(DatumLines(), "") << op << LogText();
                }
            }
            EXPECT_EQ(Pulses(), 0);
            uint32_t written = 0;
            for (uint32_t a = 0; a < 0x400; ++a) written += cell(a) != 0xFF;
            EXPECT_EQ(written, 0u);
            continue;
        }
        ExpectLinesInOrder({"Program ok!", "Verification ok!"});
        uint32_t misplaced = 0, misread = 0;
        for (uint32_t a = 0; a < 0x400 && a < size; ++a) {
            const bool inRange = a >= c.start && a <= c.end;
            misplaced += cell(a) != (inRange ? BufferByte(a) : 0xFF);
        }
        EXPECT_EQ(misplaced, 0u);
        for (uint32_t a = 0; a < 0x400; ++a) FillBufferRange(a, a, 0x11);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = 0; a < 0x400; ++a) {
            const bool inRange = a >= c.start && a <= c.end;
            misread += BufferByte(a) != (inRange ? cell(a) : 0x11);
        }
        EXPECT_EQ(misread, 0u);
        ExpectNoViolations();
    }
}

// Split mode 1 programs and verifies the chip from every other buffer byte.
TEST_F(Prom, WordModeTakesItsOwnLane) {
    for (const char* name : {"XC1765E", "XC17S05", "AT17C65", "EPC1441"}) {
        Seat(name);
        WordMode = 1;
        DeviceSize = 64;
        SetupAddressRange();
        for (uint32_t i = 0; i < 128; ++i) FillBufferRange(i, i, i % 2 ? 0xEE : i);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        for (uint32_t a = 0; a < 64; ++a) {
            const uint32_t got = chip ? chip->Byte(a) : eeprom ? eeprom->Byte(a) : textId->Byte(a);
            EXPECT_EQ(got, 2 * a) << name << " " << a;
        }
        WordMode = 0;
    }
}

// Row 33's last address is its option bits: any one programmed fails the
// blank check, and a read stores them under four bits of 1.
TEST_F(Prom, OptionBitsAtTheLastAddress) {
    for (const uint8_t bits : {0x0F, 0x0E, 0x0D, 0x0B, 0x07}) {
        Seat("EPC1");
        DeviceSize = 64;
        SetupAddressRange();
        textId->SetOptionBits(bits);
        EXPECT_EQ(Run(OpBlankCheck), bits == 0x0F ? 1 : -1) << int{bits} << LogText();
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(BufferByte(63), 0xF0u | bits);
        ExpectNoViolations();
    }
}

// A full 64 KB range: the last byte's low four bits reach the option bits
// though its word ends the first bank, and the image read back from the part
// programs a second part to the same cells and options.
TEST_F(Prom, AFullRangeCarriesTheLastByteIntoTheOptionBits) {
    Seat("EPC1441");
    ASSERT_EQ(DeviceEnd, 0xFFFFu);
    FillPattern(0x10000, 4);
    FillBufferRange(0xFFFF, 0xFFFF, 0x35);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(textId->OptionBits(), 0x05);
    for (uint32_t a = 0; a < 0xFFFF; a += 0x0FFF) EXPECT_EQ(textId->Byte(a), BufferByte(a)) << a;
    EXPECT_EQ(textId->Byte(0xFFFE), BufferByte(0xFFFE));
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, 0xFFFF, 0x00);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferByte(0xFFFF), 0xF5);
    const uint8_t firstByte = textId->Byte(0x1234);
    std::vector<uint8_t> image(0x10000);
    for (uint32_t a = 0; a < 0x10000; ++a) image[a] = BufferByte(a);
    Seat("EPC1441");
    for (uint32_t a = 0; a < 0x10000; ++a) FillBufferRange(a, a, image[a]);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(textId->OptionBits(), 0x05);
    EXPECT_EQ(textId->Byte(0x1234), firstByte);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    ExpectNoViolations();
}

// The dialog on both rows: its texts, Cancel leaves the part, OK sets the
// polarity (then read mode 2 reports it and reads with it), a refused write.
TEST_F(Prom, PolarityDialog) {
    struct Case {
        const char* name;
        bool press, refuse;
        const char* line;
        bool activeLow;
    };
    for (const Case& c : {Case{"XC1765E", false, false, nullptr, false},
                          Case{"XC1765E", true, false, "Now Set RESET Polarity(Active Low)!", true},
                          Case{"XC1765E", true, true, "RESET Polarity Program Fail!", false},
                          Case{"XC17S05", true, false, "Now Set RESET Polarity(Active Low)!", true},
                          Case{"XC17S05", true, true, "RESET Polarity Program Fail!", false}}) {
        Seat(c.name);
        LoadImage();
        if (c.refuse) chip->NeverPrograms();
        const uint8_t data[4] = {0x3C, 0xA5, 0x0F, 0x81};
        for (uint32_t a = 0; a < 4; ++a) chip->SetByte(a, data[a]);
        const size_t lines = ui.Log.size();
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TOptXc17xxx*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->windowTitle(), "Reset Polarity");
            EXPECT_TRUE(d->Memo1->isReadOnly());
            EXPECT_EQ(d->Memo1->toPlainText(), "The polarity of the Reset/OE \npin may be made active Low.\n\n"
                                                "Press Ok to make RESET to \nactive Low.");
            EXPECT_EQ(d->pos(), QPoint(ui.Left + 320, ui.Top + 100));
            (c.press ? d->BitBtnOk : d->BitBtnCancel)->click();
        });
        const int r = AlgorithmRow(CurrentAlgorithm)->Options();
        EXPECT_EQ(r, !c.press ? 0 : c.refuse ? -1 : 1) << c.name;
        EXPECT_EQ(ui.Log.size(), lines + (c.line ? 1 : 0));
        if (c.line) {
            EXPECT_EQ(ui.Log.back(), c.line);
        }
        EXPECT_EQ(chip->ActiveLow(), c.activeLow);
        // The read fills the buffer from its start: a part held in reset by
        // the wrong polarity gives none of its bytes.
        DeviceEnd = 3;
        BufferIndex = 0;
        FillBufferRange(0, 3, 0x00);
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Read(2), 1);
        for (uint32_t a = 0; a < 4; ++a) EXPECT_EQ(BufferByte(a), data[a]) << c.name << " byte " << a;
        EXPECT_TRUE(HasLine(c.activeLow ? " RESET active low." : " RESET active high(default)."));
        ExpectNoViolations();
    }
}

// Row 31's dialog: the polarity logged on create, OK toggles it (twice:
// back), and a write refused at the identity question keeps the old value.
TEST_F(Prom, TogglePolarityDialog) {
    struct Case {
        const char* name;
        int deviceDelta;
        const char* created;
        const char* line;
        bool activeHigh;
    };
    for (const Case& c : {Case{"AT17C65", 0, "RESET Polarity is Active Low!", "Now RESET Polarity Active High!", true},
                          Case{"AT17C65", 0, "RESET Polarity is Active High!", "Now RESET Polarity Active Low!", false},
                          Case{"AT17C010", 0, "RESET Polarity is Active Low!", "Now RESET Polarity Active High!", true},
                          Case{"AT17C010", 0, "RESET Polarity is Active High!", "Now RESET Polarity Active Low!", false},
                          Case{"AT17C65", 1, nullptr, "RESET Polarity Program Fail!", false}}) {
        const bool wasHigh = eeprom && eeprom->ActiveHigh() && c.deviceDelta == 0;
        Seat(c.name, c.deviceDelta);
        eeprom->SetActiveHigh(wasHigh);
        LoadImage();
        ui.Boxes.clear();
        ui.DefaultAnswer = UiAnswer::No;
        const size_t lines = ui.Log.size();
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TOptAt17Cxxx*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->windowTitle(), "Toggle Polarity");
            EXPECT_EQ(d->Memo1->toPlainText(), "The polarity of the Reset/OE \npin may be toggle.\n\n"
                                                "Press Ok to make RESET to \ntoggle polarity.");
            EXPECT_EQ(d->pos(), QPoint(ui.Left + 320, ui.Top + 100));
            d->BitBtnOk->click();
        });
        EXPECT_EQ(AlgorithmRow(31)->Options(), c.created ? 1 : -1);
        // A refused identity is asked about on create and again on OK.
        std::vector<std::string> expected(c.created ? 0 : 2, " Invalid device ID.");
        if (c.created) expected.push_back(c.created);
        expected.push_back(c.line);
        EXPECT_EQ(std::vector<std::string>(ui.Log.begin() + static_cast<long>(lines), ui.Log.end()), expected);
        EXPECT_EQ(eeprom->ActiveHigh(), c.activeHigh) << c.name;
        EXPECT_EQ(ResetPolarity31, c.activeHigh ? 1u : 0u);
        EXPECT_EQ(ui.Boxes.size(), c.created ? 0u : 2u); // asked again after No
        ui.DefaultAnswer = UiAnswer::Yes;
        ExpectNoViolations();
    }
}

// Programmed from files as a user loads them: the serial configuration PROM
// from Intel hex, the configuration EEPROM from S3 records.
TEST_F(Prom, ProgramsFromLoadedFiles) {
    for (const auto& [name, motorola] : {std::pair{"XC1765E", false}, std::pair{"AT17C65", true}}) {
        SCOPED_TRACE(name);
        elec->WithdrawAllChips();
        Seat(name);
        DeviceEnd = 0x3FF;
        std::vector<uint8_t> file(0x400);
        for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 11 + 3);
        FillBufferRange(0, 0x3FF, 0xFF);
        LoadImageFile(file, motorola);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Program ok!", "Verification ok!"});
        for (uint32_t a = 0; a < file.size(); ++a) ASSERT_EQ(chip ? chip->Byte(a) : eeprom->Byte(a), file[a]) << a;
    }
    ExpectNoViolations();
}

} // namespace
