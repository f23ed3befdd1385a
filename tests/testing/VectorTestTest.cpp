// The vector test of a programmed GAL16V8: the engine's pin traffic on the
// vector image, the form's runs over JEDEC vectors, and its grid.
#include <QApplication>
#include <QScrollBar>
#include <map>

#include "FormChecks.h"
#include "FormFixture.h"
#include "TesterFixture.h"
#include "engine/Tables.h"
#include "testing/Editvect.h"
#include "testing/TestRun.h"

namespace {

// A vector line of the 20-pin part: unnamed inputs 0, the I/O pins, VCC and
// GND N.
std::string Line(std::map<int, char> pins) {
    std::string s(20, '0');
    for (int p = 12; p <= 20; ++p) s[static_cast<size_t>(p - 1)] = 'N';
    s[9] = 'N';
    for (auto [p, c] : pins) s[static_cast<size_t>(p - 1)] = c;
    return s;
}

GalDesign Combinational() {
    GalDesign d(GalDesign::Simple);
    for (int p = 12; p <= 17; ++p) d.Olmc(p, 0, 1);
    d.Olmc(19, 1, 0).Term(0, {2, 3});    // pin 19 = 2 AND 3
    d.Olmc(18, 0, 0).Term(8, {4});       // pin 18 = NOT 4
    return d;
}

GalDesign Registered() {
    GalDesign d(GalDesign::Registered);
    for (int p : {12, 13, 14, 15, 18, 19}) d.Olmc(p, 0, 1); // OE terms never true: inputs
    d.Olmc(17, 1, 0).Term(16, {2});                       // pin 17 registers pin 2
    d.Olmc(16, 1, 1).Term(24, {3}).Term(25, {4});          // pin 16 = 4 while 3 is high
    return d;
}

GalDesign Complex() {
    GalDesign d(GalDesign::Complex);
    for (int p = 12; p <= 18; ++p) d.Olmc(p, 0, 1);
    d.Olmc(19, 0, 1).Term(0, {11}).Term(1, {1, -2}); // pin 19 = NOT (1 AND NOT 2) while 11 is high
    return d;
}

const std::vector<std::string> kComplexVectors = {
    Line({{11, '1'}, {1, '1'}, {2, '0'}, {19, 'L'}}),
    Line({{11, '1'}, {1, '0'}, {2, '0'}, {19, 'H'}}),
    Line({{11, '0'}, {1, '1'}, {2, '0'}, {19, 'Z'}}),
};

const std::vector<std::string> kCombinationalVectors = {
    Line({{2, '1'}, {3, '1'}, {4, '1'}, {19, 'H'}, {18, 'L'}}),
    Line({{2, '1'}, {3, '0'}, {4, '0'}, {19, 'L'}, {18, 'H'}}),
    Line({{2, '0'}, {3, '1'}, {4, 'X'}, {19, 'L'}, {18, 'L'}}),
};

const std::vector<std::string> kRegisteredVectors = {
    Line({{1, 'C'}, {2, '1'}, {3, '1'}, {4, '1'}, {17, 'H'}, {16, 'H'}}),
    Line({{1, 'C'}, {2, '0'}, {3, '1'}, {4, '0'}, {17, 'L'}, {16, 'L'}}),
    Line({{1, '0'}, {2, '1'}, {3, '0'}, {17, 'L'}, {16, 'Z'}}), // no clock: the register holds
    Line({{1, 'K'}, {2, '1'}, {17, 'H'}}),                      // K ends with a rising edge
    Line({{1, '0'}, {2, '0'}, {11, '1'}, {17, 'Z'}}),           // /OE high floats the register's pin
};

class VectorTestFixture : public TesterFixture {
protected:
    std::unique_ptr<TEditvector> form;

    void SetUp() override {
        TesterFixture::SetUp();
        EnsureApp();
        ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
        form = std::make_unique<TEditvector>();
    }
    void TearDown() override {
        form.reset();
        TesterFixture::TearDown();
    }

    // The form's Test on a design and its vectors: the box it shows.
    std::string Test(const GalDesign& d, const std::vector<std::string>& vectors) {
        LoadJedec(d, vectors);
        SeatProgrammedGal();
        form->FormActivate();
        const size_t boxes = ui.BoxTexts().size();
        form->ButtonTestClick();
        const auto texts = ui.BoxTexts();
        return texts.size() > boxes ? texts.back() : std::string();
    }
    // Test on the selected 24-pin part with 20-pin vectors: refused with its
    // box, no register written and no tone.
    void ExpectTwentyPinVectorsRefused() {
        form->FormActivate();
        ASSERT_EQ(form->pins, 24);
        StartTrace();
        form->ButtonTestClick();
        EXPECT_EQ(ui.BoxTexts().back(), "The vectors are for 20 pins; the device has 24: Test refused.");
        EXPECT_TRUE(simp.RegisterTrace().empty());
        EXPECT_TRUE(tones.empty());
    }
};

} // namespace

TEST_F(VectorTestFixture, JedecVectorsOfProgrammedPartsPassAndAWrongExpectationFailsWithItsLine) {
    auto wrong = kRegisteredVectors;
    wrong[1][16] = 'H'; // pin 17 reads low after the second clock
    std::string out(20, ' ');
    out[16] = out[15] = 'L';
    const struct {
        const char* what;
        GalDesign design;
        std::vector<std::string> vectors;
        std::string box;
        int tone;
    } cases[] = {{"combinational", Combinational(), kCombinationalVectors, "Vector Test Pass.", 1000},
                 {"complex", Complex(), kComplexVectors, "Vector Test Pass.", 1000},
                 {"registered", Registered(), kRegisteredVectors, "Vector Test Pass.", 1000},
                 {"wrong", Registered(), wrong,
                  "Vector Test Fail.\nTest In:" + wrong[1] + "\nTest Out:" + out + "\nLocation:2", 10000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        socket->Clear();
        simp.ClearViolations();
        tones.clear();
        EXPECT_EQ(Test(c.design, c.vectors), c.box);
        if (c.tone == 1000) { EXPECT_EQ(form->lineCount, static_cast<int>(c.vectors.size())); }
        EXPECT_EQ(Violations(), "");
        EXPECT_EQ(tones, std::vector<int>{1193182 / c.tone});
        // Always on the vector image, powered down and released after.
        EXPECT_EQ(simp.Personality()->Id(), sim::kPersonalityVector);
        EXPECT_TRUE(electrical->SuppliedPins().empty() && electrical->GroundedPins().empty());
    }
}

TEST_F(VectorTestFixture, InputsOnlyLinePassesAndAShortTextIsCountedAsNoLine) {
    // Nothing checked: the line passes. Every I/O pin is an input here, so
    // the unset symbols of the short text below drive nothing against it.
    GalDesign inputs(GalDesign::Simple);
    for (int p = 12; p <= 19; ++p) inputs.Olmc(p, 0, 1);
    EXPECT_EQ(Test(inputs, {Line({{2, '1'}, {3, 'X'}})}), "Vector Test Pass.");
    // Ten symbols of a 20-pin line: no whole line, so the progress has no
    // line count to divide by; the partial line still runs.
    std::memset(VectorBuffer, 0, TestVectorBufferBytes);
    std::memcpy(VectorBuffer, "0110000000", 10);
    form->ButtonTestClick();
    EXPECT_EQ(form->lineCount, 0);
    EXPECT_EQ(ui.BoxTexts().back(), "Vector Test Pass.");
    EXPECT_EQ(Violations(), "");
}

TEST_F(VectorTestFixture, ClocksAndStrobesFollowTheSymbols) {
    LoadJedec(Combinational(), {});
    ASSERT_EQ(DownloadLogicImage(kVectorTestImage), 1);
    ResetProgrammerOutputs();
    // Chip pin 1 (socket 15, block 1 bit 6) 'K', chip pin 2 (socket 16, bit 7) 'C'.
    const std::string line = "KC" + std::string(18, 'N');
    StartTrace();
    uint8_t level = RegisterShadow[3];
    ApplyVectorLine(20, reinterpret_cast<const uint8_t*>(line.data()), 1);
    std::vector<std::string> strobes;
    for (const auto& a : simp.RegisterTrace()) {
        if (!a.write) continue;
        if (a.reg == 3) level = a.value;
        if (a.reg == 12 && a.value != 0) {
            strobes.push_back(std::to_string(a.value) + ":" + std::to_string((level >> 6) & 1) +
                              std::to_string((level >> 7) & 1));
        }
    }
    // Direction (K high, C low), level, then K low-high and C high-low, each
    // edge taken by its own strobe.
    EXPECT_EQ(strobes, (std::vector<std::string>{"1:10", "2:10", "2:00", "2:10", "2:11", "2:10"}));
    EXPECT_EQ(Violations(), "");
}

TEST_F(VectorTestFixture, GridTakesThePackagesPinsAndItsSymbols) {
    const struct {
        uint32_t package;
        int pins, lines;
    } cases[] = {{4, 20, 3276}, {6, 24, 2730}};
    int side = 0, column = 0;
    for (const auto& c : cases) {
        PackageIndex = c.package;
        form->FormActivate();
        // One column per pin, the side beside them as wide for each package.
        if (column == 0) {
            column = form->LabelSize0->width() / c.pins;
            side = form->width() - column * c.pins;
        }
        EXPECT_EQ(form->pins, c.pins);
        EXPECT_EQ(form->lineCapacity, c.lines);
        EXPECT_EQ(form->ScrollBar1->maximum(), c.lines);
        EXPECT_EQ(form->EditData[0]->text().size(), c.pins);
        EXPECT_EQ(form->LabelSize0->width(), column * c.pins);
        EXPECT_EQ(form->width(), side + column * c.pins);
        EXPECT_GT(form->ButtonTest->x(), form->ScrollBar1->geometry().right());
    }
    // Only "XHLCN01." are taken.
    std::memset(VectorBuffer, 0, TestVectorBufferBytes);
    for (QChar ch : QString("zgvK1h")) form->EditKeyPress(ch);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(VectorBuffer), 2), "1H");
    // The settings live beyond the form.
    form->UpDownVcc->setValue(45);
    form->ComboBoxXvalue->setCurrentIndex(0);
    EXPECT_EQ(VectorVcc, 45);
    EXPECT_EQ(VectorXLevel, 0);
}

// The vector test form shows every control and grid column whole for the
// packages' pin counts at any font size, its settings in the form's order;
// with 20-pin vectors held, the 24-pin form's note under the grid too.
TEST_F(VectorTestFixture, FormAndGridShowWhole) {
    std::memset(VectorBuffer, 0, TestVectorBufferBytes);
    std::memcpy(VectorBuffer, kCombinationalVectors[0].data(), 20);
    TestVectorPinCount = 20;
    FontSizes([] {
        for (uint32_t package : {4u, 6u}) {
            PackageIndex = package;
            TEditvector w;
            w.show();
            QApplication::processEvents();
            ExpectNothingClipped(&w, {w.LabelSize0, w.LabelSize1});
            EXPECT_EQ(w.LabelVectorPins->isVisible(), package == 6);
            if (package == 6) {
                ExpectAbove(w.Panel1, w.LabelVectorPins);
                ExpectAbove(w.LabelAddrPos, w.LabelVectorPins);
                ExpectAbove(w.GroupBoxInfo, w.LabelVectorPins);
            }
            const QString line(w.pins, 'H');
            for (QLineEdit* e : w.EditData) EXPECT_LE(QFontMetricsF(e->font()).horizontalAdvance(line), e->width() - 4);
            for (QLabel* l : w.LabelAddr) EXPECT_GE(l->height(), l->sizeHint().height());
            ExpectAbove(w.ButtonTest, w.ButtonClose);
            ExpectAbove(w.ButtonClose, w.GroupBoxInfo);
            ExpectAbove(w.ComboBoxXvalue, w.MaskEditVcc);
            ExpectAbove(w.MaskEditVcc, w.MaskEditDelay);
            ExpectLeftOf(w.ScrollBar1, w.ButtonTest);
            w.hide();
        }
    });
}

TEST_F(VectorTestFixture, NoProgrammerAndEmptyBuffer) {
    std::memset(VectorBuffer, 0, TestVectorBufferBytes);
    form->ButtonTestClick();
    EXPECT_EQ(ui.BoxTexts().back(), "Buffer is empty.");
    simp.StopAnswering(true);
    form->ButtonTestClick();
    EXPECT_EQ(ui.BoxTexts().back(), "Can not be executed with Communication Error!");
}

// A quit between two lines of the vector test: a user break in the log, no
// box, the socket powered down and released.
TEST_F(VectorTestFixture, AQuitStopsTheTestBetweenLines) {
    TestIdleHook = [] { UserBreak = 1; };
    EXPECT_EQ(Test(Registered(), kRegisteredVectors), "");
    TestIdleHook = nullptr;
    EXPECT_EQ(ui.Log.back(), "User Break!");
    EXPECT_EQ(form->failIndex, 0);
    EXPECT_TRUE(electrical->SuppliedPins().empty() && electrical->GroundedPins().empty());
    EXPECT_FALSE(TestBusy.load());
}

// Vectors loaded for a GAL16V8 and a 24-pin GAL20V8B selected: cut into
// 24-symbol rows each pin would take another pin's symbol, VCC included.
// Test is refused without touching the programmer; the vectors stay for a
// device of their pin count. A symbol typed for the 24-pin part clears them.
TEST_F(VectorTestFixture, VectorsOfAnotherPinCountAreRefusedAndClearedOnlyByTyping) {
    LoadJedec(Combinational(), kCombinationalVectors);
    SeatProgrammedGal();
    const std::string list = kCombinationalVectors[0] + kCombinationalVectors[1] + kCombinationalVectors[2];
    ASSERT_TRUE(SelectPld("LATTICE", "GAL20V8B"));
    ExpectTwentyPinVectorsRefused();
    simp.EnableTrace(false);

    // Back on a 20-pin part the same list runs.
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    form->FormActivate();
    form->ButtonTestClick();
    EXPECT_EQ(ui.BoxTexts().back(), "Vector Test Pass.");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(VectorBuffer)), list);

    // A symbol typed on the 24-pin part starts its own list: the 20-pin
    // vectors are gone, as the line says, and the 20-pin part refuses it.
    ASSERT_TRUE(SelectPld("LATTICE", "GAL20V8B"));
    form->FormActivate();
    form->EditKeyPress('1');
    EXPECT_EQ(ui.Log.back(), " The vectors for 20 pins are cleared: a new list for 24 pins starts.");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(VectorBuffer)), "1");
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    form->FormActivate();
    form->ButtonTestClick();
    EXPECT_EQ(ui.BoxTexts().back(), "The vectors are for 24 pins; the device has 20: Test refused.");
    EXPECT_EQ(Violations(), "");
}

// A GAL16V8 file (QP20, 20-symbol vectors) loaded with the 24-pin GAL22V10B
// selected: the vectors keep their 20 pins, the load says so, and Test is
// refused before anything is switched on. The grid shows none of them (cut
// by 24 each row would take pins of the next), its note says whose they are;
// a symbol typed clears them as before and the note goes.
TEST_F(VectorTestFixture, AFileForAnotherPinCountIsNotShownAndRefusedBeforeAnythingIsSwitchedOn) {
    ASSERT_TRUE(SelectPld("LATTICE", "GAL22V10B"));
    LoadJedec(Combinational(), kCombinationalVectors);
    const std::vector<std::string> lines(ui.Log.end() - 2, ui.Log.end());
    EXPECT_EQ(lines, (std::vector<std::string>{" The file has 2194 fuses (QF); the device has 5892.",
                                               " The file's vectors are for 20 pins (QP); the device has 24."}));
    EXPECT_EQ(TestVectorPinCount, 20u);
    ExpectTwentyPinVectorsRefused();
    EXPECT_TRUE(electrical->SuppliedPins().empty() && electrical->GroundedPins().empty());

    auto rows = [this] {
        QStringList texts;
        for (QLineEdit* e : form->EditData) texts << e->text();
        return texts;
    };
    const QStringList empty(TVectorGrid::kRows, QString(24, '.'));
    EXPECT_EQ(rows(), empty);
    EXPECT_EQ(form->LabelVectorPins->text(), "The vectors are for 20 pins; the device has 24: none shown. Typing a "
                                             "symbol clears them and starts a list for 24 pins.");
    EXPECT_FALSE(form->LabelVectorPins->isHidden());
    form->EditKeyDown(Qt::Key_PageDown, Qt::NoModifier);
    EXPECT_EQ(rows(), empty);
    form->EditKeyDown(Qt::Key_Home, Qt::ControlModifier);
    const std::string list = kCombinationalVectors[0] + kCombinationalVectors[1] + kCombinationalVectors[2];
    EXPECT_EQ(std::string(reinterpret_cast<char*>(VectorBuffer)), list); // only hidden

    form->EditKeyPress('1');
    EXPECT_EQ(ui.Log.back(), " The vectors for 20 pins are cleared: a new list for 24 pins starts.");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(VectorBuffer)), "1");
    EXPECT_EQ(rows().first(), "1" + QString(23, '.'));
    EXPECT_TRUE(form->LabelVectorPins->text().isEmpty());
    EXPECT_TRUE(form->LabelVectorPins->isHidden());

    // Back on the GAL16V8 its own file's vectors show, with no note.
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    LoadJedec(Combinational(), kCombinationalVectors);
    form->FormActivate();
    EXPECT_EQ(rows().mid(0, 4), QStringList({QString::fromStdString(kCombinationalVectors[0]),
                                             QString::fromStdString(kCombinationalVectors[1]),
                                             QString::fromStdString(kCombinationalVectors[2]), QString(20, '.')}));
    EXPECT_TRUE(form->LabelVectorPins->isHidden());
}
