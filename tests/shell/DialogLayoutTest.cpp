// The program's dialogs and the microcontroller rows' option dialogs at any
// font: every control inside its dialog, clear of the others, its text
// whole; the parameter items keep their order.
#include <QApplication>
#include <algorithm>
#include <functional>
#include <memory>

#include "FormChecks.h"
#include "ShellTestSupport.h"
#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "mcu/Encrypt.h"
#include "mcu/Opt87C76x.h"
#include "mcu/Opt89C51Rx.h"
#include "mcu/Opt89csst.h"
#include "mcu/OptAt89C5x.h"
#include "mcu/OptAt90Sxx.h"
#include "mcu/OptGms87c1202.h"
#include "mcu/OptT89C51RD2.h"
#include "mcu/OptW78E5x.h"
#include "mcu/OptZilog.h"
#include "shell/About.h"
#include "shell/AutoRepeatProgram.h"
#include "shell/CfgOpt.h"
#include "shell/ChangeAlgorithm.h"
#include "shell/Copy.h"
#include "shell/Fillbuff.h"
#include "shell/FindStr.h"
#include "shell/Project.h"
#include "shell/Select.h"

namespace {

struct Shown {
    const char* name;
    std::function<std::unique_ptr<QDialog>()> make;
    uint32_t row = 0, subVariant = 0;
};

class DialogLayout : public ShellTest {};

TEST_F(DialogLayout, DialogsShowWhole) {
    QWidget* owner = form.get();
    const std::vector<Shown> dialogs = {
        {"encryption, option panel", [] { return std::make_unique<TEncryption1>(); }, 100, 0xC5},
        {"encryption, config bytes", [] { return std::make_unique<TEncryption1>(); }, 107, 0x05},
        {"encryption, levels", [] { return std::make_unique<TEncryption1>(); }, 129, 0},
        {"zilog", [] { return std::make_unique<TOptZilog1>(); }},
        {"87c76x", [] { return std::make_unique<TOpt87c76x_>(); }},
        {"89c51rx", [] { return std::make_unique<TOpt89C51Rx1>(); }},
        {"89csst", [] { return std::make_unique<TOpt89CSST1>(); }},
        {"at89c5x", [] { return std::make_unique<TOptAT89C5x1>(); }},
        {"at90sxx", [] { return std::make_unique<TOptAt90Sxx1>(); }},
        {"gms87c1202", [] { return std::make_unique<TOptGms87C1202_>(); }},
        {"t89c51rd2", [] { return std::make_unique<TOptT89C51RD21>(); }},
        {"w78e5x", [] { return std::make_unique<TOptW78E5x1>(); }},
        {"about", [owner] { return std::make_unique<TAboutKr>(owner); }},
        {"auto repeat", [owner] { return std::make_unique<TAutoRepeatProgram1>(owner); }},
        {"configuration", [owner] { return std::make_unique<TCfgOpt>(owner); }},
        {"copy", [owner] { return std::make_unique<TCopy1>(owner); }},
        {"fill", [owner] { return std::make_unique<TFill1>(owner); }},
        {"find", [owner] { return std::make_unique<TFind1>(owner); }},
        {"project", [owner] { return std::make_unique<TProject>(owner); }},
        {"select", [owner] { return std::make_unique<TSelDev>(owner); }},
    };
    FontSizes([&] {
        for (const Shown& s : dialogs) {
            SCOPED_TRACE(s.name);
            CurrentAlgorithm = s.row;
            DeviceSubVariant = s.subVariant;
            std::unique_ptr<QDialog> d = s.make();
            d->show();
            QApplication::processEvents();
            ExpectNothingClipped(d.get());
            d->hide();
        }
    });
}

// The parameter items of a row stand one under the other, each caption
// before its field and the field before its unit, at any font.
TEST_F(DialogLayout, ChangeAlgorithmItemsShowWhole) {
    AlgorithmTable[CurrentAlgorithm].ParameterGroup = 9;
    QWidget* owner = form.get();
    FontSizes([owner] {
        TChangeAlgorithm1 d(owner);
        d.show();
        QApplication::processEvents();
        ExpectNothingClipped(&d);
        const QWidget* above = nullptr;
        int shown = 0;
        std::vector<const ChangeAlgorithmItem*> items;
        for (const ChangeAlgorithmItem& item : d.Items)
            if (!item.Edit->isHidden()) items.push_back(&item);
        std::sort(items.begin(), items.end(), [](auto* a, auto* b) { return a->Edit->y() < b->Edit->y(); });
        for (const ChangeAlgorithmItem* item : items) {
            ExpectLeftOf(item->Caption, item->Edit);
            if (item->Unit) ExpectLeftOf(item->Edit, item->Unit);
            if (above) ExpectAbove(above, item->Edit);
            above = item->Edit;
            ++shown;
        }
        EXPECT_GT(shown, 1);
    });
}

} // namespace
