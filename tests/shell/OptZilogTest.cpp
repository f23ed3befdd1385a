// The Zilog option-bit dialog offscreen, for each row's Options entry: the
// names and status texts, a click toggling the row's state, row 163's size
// cycle, and the choices outliving the dialog.
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "FormChecks.h"
#include "ShellTestSupport.h"
#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "mcu/InstallMcuRows.h"
#include "mcu/OptZilog.h"
#include "mcu/Zilog.h"

namespace {

struct EntryCase {
    uint8_t variant;
    uint32_t row;
    std::vector<std::string> names;
    std::string status; // the texts after a device selection: every option OFF
};

std::vector<std::string> Column(const TOptZilog1& d, int column) {
    std::vector<std::string> out;
    for (int i = 0; i < d.ListView->topLevelItemCount(); ++i)
        out.push_back(d.ListView->topLevelItem(i)->text(column).toStdString());
    return out;
}

// A click on a list row; the view gives a disabled row no click.
void Click(TOptZilog1& d, int row) {
    QTreeWidgetItem* item = d.ListView->topLevelItem(row);
    if (!(item->flags() & Qt::ItemIsEnabled)) return;
    d.ListView->setCurrentItem(item);
    d.ListViewClick();
}

TOptZilog1* g_open = nullptr;
void (*g_withDialog)(TOptZilog1&) = nullptr;

class OptZilogDialog : public ::testing::TestWithParam<EntryCase> {
protected:
    void SetUp() override {
        EnsureApp();
        InstallMcuAlgorithms(); // the Options entries, reached through the table
        ResetZilogOptions();
        InstallZilogDialogLauncher(+[] {
            TOptZilog1 d;
            g_open = &d;
            if (g_withDialog != nullptr) g_withDialog(d);
            g_open = nullptr;
            return 1;
        });
    }
    void TearDown() override {
        InstallZilogDialogLauncher(nullptr);
        g_withDialog = nullptr;
        DeviceVariant = 0;
        ResetZilogOptions();
    }
};

TEST_P(OptZilogDialog, ListsTogglesAndKeeps) {
    const EntryCase c = GetParam();
    DeviceVariant = c.variant;
    static EntryCase current;
    current = c;
    g_withDialog = [](TOptZilog1& d) {
        EXPECT_EQ(Column(d, 0), current.names);
        std::vector<std::string> fresh(current.names.size(), current.status);
        if (current.row == 163) fresh[1] = "32K";
        EXPECT_EQ(Column(d, 1), fresh);
        // Every row clicked once: the options switch ON (row 163's size
        // moves to "16K"); one the row does not offer stays as it was.
        for (int i = 0; i < d.ListView->topLevelItemCount(); ++i) Click(d, i);
        for (int i = 0; i < d.ListView->topLevelItemCount(); ++i) {
            const std::string want = ZilogOptionRefusal(static_cast<uint32_t>(i)) ? current.status
                                     : current.row == 163 && i == 1          ? "16K"
                                                                             : "ON ";
            EXPECT_EQ(d.ListView->topLevelItem(i)->text(1).toStdString(), want) << i;
        }
        d.BitBtn1->click();
    };
    EXPECT_EQ(AlgorithmTable[c.row].Options(), 1);
    // The choices outlive the dialog: a new one shows them again.
    const uint32_t* states = ZilogOptionStates(c.row);
    const bool byteRow = c.row == 162 || c.row == 166;
    for (size_t i = 0; i < c.names.size(); ++i) {
        const uint32_t want = ZilogOptionRefusal(static_cast<uint32_t>(i)) ? 0
                              : c.row == 163 && i == 1                      ? 1
                              : byteRow                                     ? 0
                                                                            : 1;
        EXPECT_EQ(states[i], want) << i;
    }
    g_withDialog = [](TOptZilog1& d) {
        for (int i = 0; i < d.ListView->topLevelItemCount(); ++i)
            EXPECT_EQ(d.ListView->topLevelItem(i)->text(1).toStdString(),
                      ZilogOptionRefusal(static_cast<uint32_t>(i)) ? current.status
                      : current.row == 163 && i == 1               ? "16K"
                                                                   : "ON ")
                << i;
    };
    EXPECT_EQ(AlgorithmTable[c.row].Options(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OptZilogDialog,
    ::testing::Values(
        EntryCase{0, 160, {"RC Oscillator", "Autolatch Disable", "WDT Enable"}, "OFF"},
        EntryCase{0, 161, {"Low Noise", "Autolatch Disable", "WDT Enable"}, "OFF"},
        EntryCase{1, 161, {"Low Noise"}, "OFF"},
        EntryCase{2, 161, {"Low Noise", "Autolatch Disable", "WDT Enable", "RC osc Select"}, "OFF"},
        EntryCase{3, 161, {}, "OFF"},
        EntryCase{0, 162,
                  {"RAM Protect", "RC Oscillator", "Autolatches Disable", "WDT Permanently Enable",
                   "No Osc Feedback Resistor"},
                  "OFF"},
        EntryCase{0, 163, {"RAM Protect", "EPROM Size"}, "OFF"},
        EntryCase{0, 164, {"RAM Protect", "RC Oscillator"}, "OFF"},
        EntryCase{0, 165, {"RAM Protect", "4K/8K EPROM Size"}, "OFF"},
        EntryCase{0, 166,
                  {"RAM Protect", "XTAL OSC Option", "Autolatches Disable", "WDT Permanently Enable",
                   "Low Frequency OSC", "HVD Kill Bit"},
                  "OFF"}));

// Row 160 burns "Autolatch Disable" only: its other two options are listed
// disabled with the reason, a click leaves them OFF, and no other row
// refuses any.
TEST_F(OptZilogDialog, Row160ShowsItsUnconfirmedOptionsDisabled) {
    g_withDialog = [](TOptZilog1& d) {
        ASSERT_EQ(d.ListView->topLevelItemCount(), 3);
        for (int i : {0, 2}) {
            const QTreeWidgetItem* item = d.ListView->topLevelItem(i);
            EXPECT_FALSE(item->flags() & Qt::ItemIsEnabled) << i;
            EXPECT_EQ(item->toolTip(0).toStdString(), "Not offered: pin conditions not confirmed") << i;
        }
        EXPECT_TRUE(d.ListView->topLevelItem(1)->flags() & Qt::ItemIsEnabled);
        EXPECT_FALSE(d.LabelRefused->isHidden());
        EXPECT_EQ(d.LabelRefused->text().toStdString(),
                  "Not offered: RC Oscillator, WDT Enable (pin conditions not confirmed)");
        for (int i = 0; i < 3; ++i) Click(d, i);
        EXPECT_EQ(Column(d, 1), (std::vector<std::string>{"OFF", "ON ", "OFF"}));
    };
    EXPECT_EQ(AlgorithmTable[160].Options(), 1);
    EXPECT_EQ(std::vector<uint32_t>(ZilogOptionStates(160), ZilogOptionStates(160) + 3),
              (std::vector<uint32_t>{0, 1, 0}));
    ZilogToggleOption(0); // the module keeps a refused option off whoever asks
    EXPECT_EQ(ZilogOptionStates(160)[0], 0u);
    g_withDialog = [](TOptZilog1& d) { EXPECT_TRUE(d.LabelRefused->isHidden()); };
    for (uint32_t row = 161; row <= 166; ++row) {
        EXPECT_EQ(AlgorithmTable[row].Options(), 1);
        for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(ZilogOptionRefusal(i), nullptr) << row << " " << i;
    }
}

TEST_F(OptZilogDialog, SizeCyclesAndVariantOneKeepsTheOthers) {
    // Row 163: the size's first status is "32K"; four clicks come back to it.
    g_withDialog = [](TOptZilog1& d) {
        EXPECT_EQ(d.ListView->topLevelItem(1)->text(1), "32K");
        const char* seen[4] = {"16K", "8K ", "4K ", "32K"};
        for (const char* s : seen) {
            Click(d, 1);
            EXPECT_EQ(d.ListView->topLevelItem(1)->text(1), s);
        }
    };
    EXPECT_EQ(AlgorithmTable[163].Options(), 1);
    EXPECT_EQ(ZilogOptionStates(163)[1], 0u);
    // Row 161 variant 1: one row; the three other states stay as they were.
    uint32_t* s161 = ZilogOptionStates(161);
    s161[1] = 1;
    s161[3] = 1;
    DeviceVariant = 1;
    g_withDialog = [](TOptZilog1& d) { Click(d, 0); };
    EXPECT_EQ(AlgorithmTable[161].Options(), 1);
    EXPECT_EQ(std::vector<uint32_t>(s161, s161 + 4), (std::vector<uint32_t>{1, 1, 0, 1}));
}

// At any font the list's columns hold the longest option names and the
// note under the list shows all its lines: row 160's note of two refused
// options, and row 166's six options.
TEST_F(OptZilogDialog, NoteAndColumnsShowWhole) {
    g_withDialog = [](TOptZilog1& d) {
        d.show();
        QApplication::processEvents();
        ExpectNothingClipped(&d);
        d.hide();
    };
    FontSizes([] {
        SCOPED_TRACE("row 160");
        EXPECT_EQ(AlgorithmTable[160].Options(), 1);
    });
    FontSizes([] {
        SCOPED_TRACE("row 166");
        EXPECT_EQ(AlgorithmTable[166].Options(), 1);
    });
}

} // namespace
