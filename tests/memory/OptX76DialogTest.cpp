// The password dialogs of rows 45 and 47, offscreen, against the simulated
// chips: every change button, a wrong old password, the two reset commands,
// a refused reset, Cancel and incomplete entries.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstring>

#include "memory/OptX76F100.h"
#include "memory/OptX76f640.h"
#include "memory/OptX76f640sub.h"
#include "memory/SecureSerial.h"
#include "sim/SerialParts.h"
#include "OffscreenApp.h"
#include "MemoryFixture.h"

namespace {

const uint8_t kNew[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
constexpr std::pair<int, int> kHighBeep{1193, 100}, kLowBeep{119, 100};

sim::SecurePassword BusOrder(const uint8_t* slot) {
    sim::SecurePassword p{};
    for (int i = 0; i < 8; ++i) p[static_cast<size_t>(i)] = slot[7 - i];
    return p;
}

class X76Dialog : public MemoryRun {
protected:
    sim::SecureMemoryChip* chip = nullptr;
    void SetUp() override {
        App();
        MemoryRun::SetUp();
        ResetX76PasswordState();
        InstallOptX76Dialogs();
    }
    void Seat(const char* name) {
        ASSERT_TRUE(Select("XICOR", name));
        chip = static_cast<sim::SecureMemoryChip*>(
            sim::SeatSerialPart(*socket, *elec, *sim::FindSerialPart("XICOR", name)));
        DeviceEnd = DeviceStart + 15;
        ASSERT_EQ(Run(OpBlankCheck), 1) << LogText(); // also loads the image
        runStart_ = ui.Log.size();
        tones.clear();
    }
    // Answers the next sub-dialog: the entry typed and OK, or Cancel.
    static void AnswerSubDialog(const QString& entry, bool ok) {
        QTimer::singleShot(0, [entry, ok] {
            auto* sub = qobject_cast<TOptX76F640Sub_*>(QApplication::activeModalWidget());
            ASSERT_NE(sub, nullptr);
            EXPECT_EQ(sub->windowTitle(), "Change Password");
            sub->MaskEditChange->setText(entry);
            (ok ? sub->BitBtn1 : sub->BitBtn2)->click();
        });
    }
};

struct ChangeButton {
    const char* part;
    const char* caption;
    int slot;
    int chipPassword; // the chip's password it changes (and that authorises it)
    int authorisedBy;
};
const ChangeButton kButtons[] = {
    {"X76F100", "&Change Read Password", kX76Slot45Read, 0, 1},
    {"X76F100", "C&hange Write Password", kX76Slot45Write, 1, 1},
    {"X76F640", "Change Read Password 0", kX76Slot47Read0, 0, 0},
    {"X76F640", "Change Read Password 1", kX76Slot47Read1, 2, 2},
    {"X76F640", "Change Write Password 0", kX76Slot47Write0, 1, 1},
    {"X76F640", "Change Write Password 1", kX76Slot47Write1, 3, 3},
    {"X76F640", "Change Reset Password", kX76Slot47Reset, 4, 4},
};

QPushButton* Button(QDialog& d, const char* caption) {
    for (auto* b : d.findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

std::unique_ptr<QDialog> MakeDialog(const char* part) {
    if (std::strcmp(part, "X76F100") == 0) return std::make_unique<TOptX76F100_>();
    return std::make_unique<TOptX76F640_>();
}

class X76Change : public X76Dialog, public ::testing::WithParamInterface<ChangeButton> {};

// A change: the chip takes the new password, the slot follows, high beep; a
// wrong old password: the chip and the slot keep theirs, low beep; Cancel in
// the sub-dialog sends nothing.
TEST_P(X76Change, ChangesWrongPasswordAndCancel) {
    const ChangeButton& c = GetParam();
    Seat(c.part);
    auto d = MakeDialog(c.part);
    QPushButton* button = Button(*d, c.caption);
    ASSERT_NE(button, nullptr);
    uint8_t before[8];
    std::memcpy(before, X76PasswordSlots[c.slot], 8);

    // Cancel: no traffic, nothing changes.
    const size_t commands = chip->Commands().size();
    AnswerSubDialog("1122334455667788", false);
    button->click();
    EXPECT_EQ(chip->Commands().size(), commands);
    EXPECT_EQ(std::memcmp(X76PasswordSlots[c.slot], before, 8), 0);
    EXPECT_TRUE(Log().empty());

    // Wrong old password.
    const sim::SecurePassword right = chip->Password(c.authorisedBy);
    chip->SetPassword(c.authorisedBy, {9, 9, 9, 9, 9, 9, 9, 9});
    AnswerSubDialog("1122334455667788", true);
    button->click();
    ExpectLinesInOrder({"-Wrong Password!", "-Can not change password!"});
    ASSERT_FALSE(tones.empty());
    EXPECT_EQ(tones.back(), kLowBeep);
    EXPECT_EQ(std::memcmp(X76PasswordSlots[c.slot], before, 8), 0);
    chip->SetPassword(c.authorisedBy, right);

    // The change.
    runStart_ = ui.Log.size();
    AnswerSubDialog("1122334455667788", true);
    button->click();
    EXPECT_TRUE(HasLine("-Password changed!")) << LogText();
    EXPECT_EQ(tones.back(), kHighBeep);
    EXPECT_EQ(std::memcmp(X76PasswordSlots[c.slot], kNew, 8), 0);
    EXPECT_EQ(chip->Password(c.chipPassword), BusOrder(kNew));
    EXPECT_TRUE(elec->SuppliedPins().empty()); // powered down
}

INSTANTIATE_TEST_SUITE_P(Buttons, X76Change, ::testing::ValuesIn(kButtons),
                         [](const auto& info) { return "Button" + std::to_string(info.index); });

// Reset password returns the chip and all five slots to the default; reset
// device keeps them; a chip refusing the command gives the failure line, the
// low beep and a powered-down socket.
TEST_F(X76Dialog, ResetCommands) {
    Seat("X76F640");
    TOptX76F640_ d;
    for (int slot : {kX76Slot47Read0, kX76Slot47Read1, kX76Slot47Write0, kX76Slot47Write1})
        std::memcpy(X76PasswordSlots[slot], kNew, 8);
    for (int p : {0, 1, 2, 3}) chip->SetPassword(p, BusOrder(kNew));
    d.FormActivate();

    d.ButtonResetDevice->click();
    EXPECT_TRUE(HasLine("-Reset Device Command completed!")) << LogText();
    EXPECT_EQ(tones.back(), kHighBeep);
    EXPECT_EQ(std::memcmp(X76PasswordSlots[kX76Slot47Read0], kNew, 8), 0);
    EXPECT_EQ(chip->Password(0), BusOrder(kNew));

    d.ButtonResetPassword->click();
    EXPECT_TRUE(HasLine("-Reset Passwrod Command completed!")) << LogText();
    for (int slot : {kX76Slot47Read0, kX76Slot47Read1, kX76Slot47Write0, kX76Slot47Write1, kX76Slot47Reset})
        EXPECT_EQ(std::memcmp(X76PasswordSlots[slot], kX76DefaultPassword, 8), 0) << slot;
    for (int p = 0; p < 5; ++p) EXPECT_EQ(chip->Password(p), BusOrder(kX76DefaultPassword)) << p;
    EXPECT_EQ(d.MaskEditRead0->text(), "5A 3C 91 E7 06 4D B2 8F");

    // A chip that refuses the command byte.
    for (auto [button, line] : {std::pair{d.ButtonResetPassword, "-Can not Reset Password!"},
                                std::pair{d.ButtonResetDevice, "-Can not Reset Devie!"}}) {
        chip->NeverReady();
        runStart_ = ui.Log.size();
        button->click();
        EXPECT_TRUE(HasLine(line)) << LogText();
        EXPECT_EQ(tones.back(), kLowBeep);
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    for (int slot : {kX76Slot47Read0, kX76Slot47Reset})
        EXPECT_EQ(std::memcmp(X76PasswordSlots[slot], kX76DefaultPassword, 8), 0) << slot;
}

// Password edits take hex digits only; a slot changes only from a complete
// entry, in the dialogs and in the sub-dialog.
TEST_F(X76Dialog, OnlyCompleteHexEntriesChangeASlot) {
    Seat("X76F100");
    TOptX76F100_ d;
    EXPECT_EQ(d.windowTitle(), "Password Option");
    EXPECT_EQ(d.MaskEditReadPassword->text(), "5A 3C 91 E7 06 4D B2 8F");
    struct Entry {
        const char* text;
        bool taken;
    };
    for (const Entry& e : {Entry{"5A3C91E7064DB2ZZ", false}, Entry{"5A3C91", false}, Entry{"GG3C91E7064DB28F", false},
                           Entry{"a1b2c3d4e5f60718", true}}) {
        SCOPED_TRACE(e.text);
        ResetX76PasswordState();
        d.MaskEditReadPassword->setText(e.text);
        d.MaskEditPasswordExit();
        const uint8_t taken[8] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18};
        EXPECT_EQ(std::memcmp(X76PasswordSlots[kX76Slot45Read], e.taken ? taken : kX76DefaultPassword, 8), 0);
        EXPECT_EQ(std::memcmp(X76PasswordSlots[kX76Slot45Write], kX76DefaultPassword, 8), 0);
    }
    ResetX76PasswordState();
    // An incomplete new password in the sub-dialog sends nothing.
    const size_t commands = chip->Commands().size();
    AnswerSubDialog("11223344", true);
    d.ButtonChangeRead->click();
    EXPECT_EQ(chip->Commands().size(), commands);
    EXPECT_EQ(std::memcmp(X76NewPassword, kX76DefaultPassword, 8), 0);
}

// The Options entries show their dialog at the main form's Left + 320, Top + 100.
TEST_F(X76Dialog, OptionsShowTheDialogs) {
    for (auto [row, part] : {std::pair{45u, "X76F100"}, std::pair{47u, "X76F640"}}) {
        QPoint at;
        QString title;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TOptX76Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            at = d->pos();
            title = d->windowTitle();
            d->reject();
        });
        AlgorithmRow(row)->Options();
        EXPECT_EQ(title, "Password Option") << part;
        EXPECT_EQ(at, QPoint(GetMainFormLeft() + 320, GetMainFormTop() + 100)) << part;
    }
}

} // namespace
