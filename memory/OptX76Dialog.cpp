#include "memory/OptX76Dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstring>

#include "engine/Services.h"
#include "memory/OptX76f640sub.h"
#include "memory/SecureSerial.h"

void SetupPasswordEdit(QLineEdit* edit) {
    edit->setInputMask(">HH HH HH HH HH HH HH HH;_");
    edit->setMaxLength(23);
}

void ShowPassword(QLineEdit* edit, const uint8_t* bytes) {
    char text[32] = {};
    edit->setText(QString::fromLatin1(FormatHexBytes8(text, bytes)).trimmed());
}

bool TakePassword(const QLineEdit* edit, uint8_t* bytes) {
    if (!edit->hasAcceptableInput()) return false;
    char text[32] = {};
    const QByteArray digits = edit->text().toLatin1();
    std::memcpy(text, digits.constData(), std::min<size_t>(static_cast<size_t>(digits.size()), 23));
    text[23] = ' ';
    ParseHexBytes8(text, bytes);
    return true;
}

int ShowOptX76Dialog(QDialog& dialog) {
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    return dialog.exec();
}

TOptX76Dialog::TOptX76Dialog(QWidget* owner) : QDialog(owner) { setWindowTitle("Password Option"); }

QLineEdit* TOptX76Dialog::AddPasswordEdit(const QString& label, int slot, int x, int y, int labelWidth,
                                           QWidget* box) {
    QWidget* parent = box != nullptr ? box : this;
    auto* caption = new QLabel(label, parent);
    caption->setGeometry(x, y + 3, labelWidth, 18);
    auto* edit = new QLineEdit(parent);
    SetupPasswordEdit(edit);
    edit->setGeometry(x + labelWidth, y, 170, 22);
    caption->setBuddy(edit);
    connect(edit, &QLineEdit::editingFinished, this, [this] { MaskEditPasswordExit(); });
    edits_.push_back({edit, slot});
    return edit;
}

QPushButton* TOptX76Dialog::AddChangeButton(const QString& caption, std::function<int()> change, int slot,
                                            QRect at) {
    auto* button = new QPushButton(caption, this);
    button->setGeometry(at);
    connect(button, &QPushButton::clicked, this, [this] { ButtonChangePasswordClick(); });
    changes_.push_back({button, std::move(change), slot});
    return button;
}

void TOptX76Dialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TOptX76Dialog::FormActivate() {
    for (const Binding& b : edits_) ShowPassword(b.edit, X76PasswordSlots[b.slot]);
}

void TOptX76Dialog::MaskEditPasswordExit() {
    for (const Binding& b : edits_) TakePassword(b.edit, X76PasswordSlots[b.slot]);
}

void TOptX76Dialog::ButtonChangePasswordClick() {
    const auto* button = qobject_cast<const QPushButton*>(sender());
    for (const Change& c : changes_) {
        if (c.button != button) continue;
        TOptX76F640Sub_ sub(this);
        sub.move(x() + 50, y() + 50);
        if (sub.exec() != QDialog::Accepted) return;
        if (c.call() == 1) {
            std::memcpy(X76PasswordSlots[c.slot], X76NewPassword, 8);
            FormActivate();
        }
        return;
    }
}
