#include "shell/FindStr.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/DialogKit.h"
#include "shell/EditText.h"

uint32_t SearchDirection = 0;
std::string SearchText;
std::string SearchHex;

void ResetFindState() {
    SearchDirection = 0;
    SearchText.clear();
    SearchHex.clear();
}

TFind1::TFind1(QWidget* parent) : QDialog(parent) {
    setObjectName("Find1");
    setWindowTitle("Find Data");
    RadioGroup1 = new QGroupBox("Direction", this);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioDown = new QRadioButton("Down", RadioGroup1);
    RadioUp = new QRadioButton("Up", RadioGroup1);
    auto* radios = new QVBoxLayout(RadioGroup1);
    radios->addWidget(RadioDown);
    radios->addWidget(RadioUp);
    (SearchDirection == 1 ? RadioUp : RadioDown)->setChecked(true);

    EditAsc = new QLineEdit(this);
    EditAsc->setObjectName("EditAsc");
    EditAsc->setMaxLength(16);
    EditAsc->setText(QString::fromLatin1(SearchText.data(), static_cast<qsizetype>(SearchText.size())));
    EditHex = FilteredEdit(this, "EditHex", 32, new HexKeyFilter(this, true, true));
    EditHex->setText(QString::fromLatin1(SearchHex.data(), static_cast<qsizetype>(SearchHex.size())));
    auto* form = new QFormLayout;
    form->addRow("Asc", EditAsc);
    form->addRow("Hex", EditHex);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(RadioGroup1);
    outer->addLayout(form);
    outer->addLayout(OkCancelRow(this, ButtonOk, ButtonCancel));

    // Each field mirrors the other while the user edits it.
    connect(EditAsc, &QLineEdit::textEdited, this, &TFind1::EditAscChange);
    connect(EditHex, &QLineEdit::textEdited, this, &TFind1::EditHexChange);
    connect(ButtonOk, &QPushButton::clicked, this, &TFind1::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFind1::ButtonCancelClick);
}

int TFind1::DirectionIndex() const { return RadioUp->isChecked() ? 1 : 0; }

void TFind1::EditAscChange() {
    QString hex;
    for (char b : EntryBytesOfText(EditAsc->text())) hex += QString::asprintf("%02X", static_cast<unsigned char>(b));
    EditHex->setText(hex);
}

void TFind1::EditHexChange() {
    const QString hex = EditHex->text();
    QString asc;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2) {
        bool ok = false;
        const uint32_t b = hex.mid(i, 2).toUInt(&ok, 16);
        asc += ok && b >= 0x20 && b < 0x7F ? QChar(b) : QChar('.');
    }
    EditAsc->setText(asc);
}

void TFind1::ButtonOkClick() {
    SearchDirection = static_cast<uint32_t>(DirectionIndex());
    SearchText = EntryBytesOfText(EditAsc->text().left(16));
    // Only hexadecimal digits are searched for.
    SearchHex.clear();
    for (QChar c : EditHex->text().left(32).toUpper())
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) SearchHex.push_back(static_cast<char>(c.unicode()));
    done(ModalOk);
}

void TFind1::ButtonCancelClick() { done(ModalCancel); }
