// The memory rows' option dialogs at any font: every control inside its
// dialog, clear of the others, its text whole, in the dialog's order.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>

#include "FormChecks.h"
#include "OffscreenApp.h"
#include "dialogs/RadioGroup.h"
#include "engine/Device.h"
#include "memory/Opt24fxx.h"
#include "memory/Opt24xxx.h"
#include "memory/Opt25xx.h"
#include "memory/Opt28xxx.h"
#include "memory/Opt49f010.h"
#include "memory/OptNand.h"
#include "memory/OptSecProt.h"
#include "memory/OptX68c64.h"
#include "memory/OptX76F100.h"
#include "memory/OptX76f640.h"
#include "memory/OptX76f640sub.h"
#include "memory/OptXC18V00.h"
#include "memory/OptXc17xx.h"

namespace {

// The polarity dialog with the toggling row's text, its OK doing nothing.
struct TogglePolarity : TPolarityDialog {
    TogglePolarity()
        : TPolarityDialog(nullptr, "Toggle Polarity",
                          "The polarity of the Reset/OE \npin may be toggle.\n\nPress Ok to make RESET to \ntoggle "
                          "polarity.") {}
    void BitBtnOkClick() override {}
};

// A dialog as one row, sub-variant and maker show it.
struct Shown {
    const char* name;
    std::function<std::unique_ptr<QDialog>()> make;
    uint32_t subVariant = 0;
    uint32_t row = 0;
    const char* maker = "";
};

TEST(MemoryOptionDialogs, EveryDialogShowWhole) {
    App();
    const uint32_t subVariant = DeviceSubVariant, row = CurrentAlgorithm;
    const std::string maker = CurrentMakerName;
    const std::vector<Shown> dialogs = {
        {"24Fxx", [] { return std::make_unique<TOpt24Fxx_>(); }},
        {"24xxx", [] { return std::make_unique<TOpt24xxx_>(); }},
        {"25xxx", [] { return std::make_unique<TOpt25xxx>(); }},
        {"25xxx three bits", [] { return std::make_unique<TOpt25xxx>(); }, 3},
        {"25xxx1 watchdog", [] { return std::make_unique<TOpt25xxx1_>(); }, 3},
        {"protect", [] { return std::make_unique<TOptProtect>(); }},
        {"protect, lockout", [] { return std::make_unique<TOptProtect>(); }, 1},
        {"49fxx", [] { return std::make_unique<TOpt49fxx>(nullptr); }},
        {"49fxx, override", [] { return std::make_unique<TOpt49fxx>(nullptr); }, 1},
        {"49fxx, SST", [] { return std::make_unique<TOpt49fxx>(nullptr); }, 0, 40, "SST"},
        {"49fxx, PMC", [] { return std::make_unique<TOpt49fxx>(nullptr); }, 0, 41, "PMC"},
        {"toggle polarity", [] { return std::make_unique<TogglePolarity>(); }},
        {"Xc17xxx", [] { return std::make_unique<TOptXc17xxx>(); }},
        {"Nand", [] { return std::make_unique<TOptNand_>(); }},
        {"Nand, block size", [] { return std::make_unique<TOptNand_>(); }, 0, 83},
        {"SecProt", [] { return std::make_unique<TOptSecProt1>(nullptr); }},
        {"Xx8C64", [] { return std::make_unique<TOptXx8C64>(); }},
        {"X76F100", [] { return std::make_unique<TOptX76F100_>(); }},
        {"X76F640", [] { return std::make_unique<TOptX76F640_>(); }},
        {"X76F640 change", [] { return std::make_unique<TOptX76F640Sub_>(); }},
        {"XC18V00", [] { return std::make_unique<TOptXC18V00_>(); }},
    };
    FontSizes([&] {
        for (const Shown& s : dialogs) {
            SCOPED_TRACE(s.name);
            DeviceSubVariant = s.subVariant;
            CurrentAlgorithm = s.row;
            CurrentMakerName = s.maker;
            std::unique_ptr<QDialog> d = s.make();
            d->show();
            QApplication::processEvents();
            ExpectNothingClipped(d.get());
            d->hide();
        }
    });
    DeviceSubVariant = subVariant;
    CurrentAlgorithm = row;
    CurrentMakerName = maker;
}

// The block-protect dialog keeps its order at any font: the groups left,
// the pin's label before its list, the buttons one under the other.
TEST(MemoryOptionDialogs, BlockProtectOrderShowWhole) {
    App();
    FontSizes([] {
        TOpt25xxx d;
        d.show();
        QApplication::processEvents();
        ExpectLeftOf(d.RadioGroup1, d.LabelWpen);
        ExpectLeftOf(d.LabelWpen, d.ComboBoxWpen);
        ExpectAbove(d.ComboBoxWpen, d.Button1);
        ExpectAbove(d.Button1, d.Button2);
        ExpectAbove(d.Button2, d.BitBtn1);
    });
}

} // namespace
