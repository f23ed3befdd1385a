// The protect and status registers of the serial rows through their Option
// dialogs (rows 13, 14, 16 and 57), on every device of those rows: every
// value each control of the dialog offers (block protect, the pin enable,
// the watchdog), in every combination, is programmed with the dialog's
// program button as a user does, over a register that holds another value.
// Each write must end "Program ok!" and read back (a pin enable left "Hi" by
// another device does not count on a part without one): the controls are
// moved off the value, the read button must log "Read ok!" and bring the
// value back. Then the part's register is frozen (it runs the write and
// keeps nothing): a write of another value must end "Program error!" with
// both values logged, and so must a write that changes the watchdog alone.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <cstdio>
#include <vector>

#include "dialogs/RadioGroup.h"
#include "engine/Power.h"
#include "memory/Opt24Dialog.h"
#include "memory/Opt24fxx.h"
#include "memory/Opt25xx.h"
#include "memory/SerialSpiEeprom.h"
#include "sim/SerialChips.h"
#include "tests/sweep/OptionDialog.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr const char* kRegisterValues = "register values through the Options dialog";

// Values written and read back, and writes to a frozen register, over the
// whole run.
CountPair& g_values = ShardCounts("[sweep] serial register values: %d written and read back, %d writes to a frozen "
                                  "register ended \"Program error!\"\n");

// The controls of either dialog family.
struct Controls {
    TRadioGroup* protect = nullptr;
    QComboBox* pin = nullptr; // nullptr when the part has no pin enable
    TRadioGroup* watchdog = nullptr;
    QPushButton* program = nullptr;
    QPushButton* read = nullptr;
    const int* result = nullptr;
};

Controls Of(TOpt24Dialog& d) {
    return {d.RadioGroup1, d.PinCombo, nullptr, d.ProgramButton, d.ReadButton, &d.ProgramResult};
}
Controls Of(TOpt25Dialog& d) {
    Controls c{nullptr, d.ComboBoxWpen->isEnabled() ? d.ComboBoxWpen : nullptr, d.Watchdog, d.Button2, d.Button1,
               &d.ProgramResult};
    for (TRadioGroup* g : d.Groups)
        if (!g->isHidden()) c.protect = g;
    return c;
}

struct Value {
    int protect = 0, pin = 0, watchdog = 0;
};

void Set(const Controls& c, const Value& v) {
    c.protect->Item(v.protect)->click();
    if (c.pin != nullptr) c.pin->setCurrentIndex(v.pin);
    if (c.watchdog != nullptr) c.watchdog->Item(v.watchdog)->click();
}

Value Shown(const Controls& c) {
    return {c.protect->ItemIndex(), c.pin != nullptr ? c.pin->currentIndex() : 0,
            c.watchdog != nullptr ? c.watchdog->ItemIndex() : 0};
}

// Every combination the controls offer.
std::vector<Value> Offered(const Controls& c) {
    std::vector<Value> all;
    const int pins = c.pin != nullptr ? c.pin->count() : 1;
    const int dogs = c.watchdog != nullptr ? c.watchdog->Count() : 1;
    for (int b = 0; b < c.protect->Count(); ++b)
        for (int p = 0; p < pins; ++p)
            for (int w = 0; w < dogs; ++w) all.push_back({b, p, w});
    return all;
}

// A value unlike `v` in every control that has a choice.
Value Unlike(const Controls& c, const Value& v) {
    const auto other = [](int i, int n) { return n > 1 ? (i + 1) % n : i; };
    return {other(v.protect, c.protect->Count()), c.pin != nullptr ? other(v.pin, c.pin->count()) : 0,
            c.watchdog != nullptr ? other(v.watchdog, c.watchdog->Count()) : 0};
}

// Freezes or thaws the seated part's register; false for a model without
// that fault.
bool FreezeRegister(bool on) {
    sim::CatalogChip* chip = SeatedSimChip();
    if (auto* m = sim::SeatedModel<sim::SpiEepromChip>(chip)) return m->FreezeStatus(on), true;
    if (auto* m = sim::SeatedModel<sim::TwoWireChip>(chip)) return m->FreezeRegister(on), true;
    return false;
}

// The value `held` in the register, which is then frozen: a write of
// another value must end "Program error!" with both values, and so must one
// that changes the watchdog alone where the dialog has it. The number of
// writes refused, or 0 with the failure in `why`.
int RefusedWhenFrozen(const Controls& c, RecordingUi& ui, const Value& held, std::string& why) {
    if (!FreezeRegister(true)) {
        why = "the part's model cannot freeze its register";
        return 0;
    }
    std::vector<Value> writes{Unlike(c, held)};
    if (c.watchdog != nullptr && c.watchdog->Count() > 1)
        writes.push_back({held.protect, held.pin, (held.watchdog + 1) % c.watchdog->Count()});
    for (const Value& v : writes) {
        Set(c, v);
        const size_t from = ui.Log.size();
        c.program->click();
        if (*c.result == -1 && Logged(ui, from, "Program error!") && Logged(ui, from, " written, ")) continue;
        char m[160];
        std::snprintf(m, sizeof m, "value %d/%d/%d over a frozen register: the program button gave %d%s", v.protect,
                      v.pin, v.watchdog, *c.result, Logged(ui, from, " written, ") ? "" : " without both values");
        why = m;
        break;
    }
    FreezeRegister(false);
    return why.empty() ? static_cast<int>(writes.size()) : 0;
}

// Writes every value through the controls, each over a register that holds
// another value, then one over the frozen register; the first failure, or "".
std::string WriteEach(const Controls& c, RecordingUi& ui, std::string& line) {
    if (c.protect == nullptr) return "the dialog shows no block-protect group";
    int back = 0;
    char m[200];
    Value last;
    for (const Value& v : Offered(c)) {
        Set(c, Unlike(c, v));
        c.program->click();
        Set(c, v);
        const size_t from = ui.Log.size();
        c.program->click();
        if (*c.result != 1 || !Logged(ui, from, "Program ok!")) {
            std::snprintf(m, sizeof m, "value %d/%d/%d: the program button gave %d %s", v.protect, v.pin, v.watchdog,
                          *c.result, ui.Log.size() > from + 1 ? ui.Log[ui.Log.size() - 2].c_str() : "");
            return m;
        }
        // Off the value, then the part's own register back into the controls.
        Set(c, Unlike(c, v));
        const size_t at = ui.Log.size();
        c.read->click();
        const Value got = Shown(c);
        if (!Logged(ui, at, "Read ok!") || got.protect != v.protect || got.pin != v.pin || got.watchdog != v.watchdog) {
            std::snprintf(m, sizeof m, "value %d/%d/%d written, %d/%d/%d read back", v.protect, v.pin, v.watchdog,
                          got.protect, got.pin, got.watchdog);
            return m;
        }
        ++back;
        last = v;
    }
    std::string why;
    const int refused = RefusedWhenFrozen(c, ui, last, why);
    if (!why.empty()) return why;
    g_values.first += back;
    g_values.second += refused;
    std::snprintf(m, sizeof m, " %d values read back, %d writes to the frozen register refused", back, refused);
    line += m;
    return "";
}

TEST_P(EveryDevice, SerialRegisterValuesThroughTheDialog) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld || (d.row != 13 && d.row != 14 && d.row != 16 && d.row != 57))
        GTEST_SKIP() << "no register dialog";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kRegisterValues, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!(SupportedOperationMask & OpMaskOption)) GTEST_SKIP() << p.line << " no Option offered";
    OffscreenApplication();
    InstallOpt24Dialogs();
    InstallOpt25Dialogs();
    const size_t from = ui.Log.size();
    std::string why = "Option showed no dialog";
    // The pin enable "Hi", as a part that has one may leave it: a part
    // without one is not held to the bit.
    Opt25xxWpen = Opt25xxx1Wpen = 1;
    if (d.row == 13 || d.row == 57) {
        RunOptionDialog<TOpt25Dialog>([&](TOpt25Dialog& dialog) { why = WriteEach(Of(dialog), ui, p.line); });
    } else {
        RunOptionDialog<TOpt24Dialog>([&](TOpt24Dialog& dialog) { why = WriteEach(Of(dialog), ui, p.line); });
    }
    p.Fail(why);
    Report(p, kRegisterValues, GetParam(), p.failed, ui, from);
}

} // namespace
