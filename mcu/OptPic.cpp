#include "mcu/OptPic.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "engine/Buffer.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "mcu/Pic.h"

namespace {

const char* const kFieldNames[12] = {"Oscillator", "WdtTimer", "PwrUpTimer", "MemProtect", "DataProtect", "BrownOut",
                                     "Mclr",       "MemParity", "Lvp",       "Wrt",        "Bkbug",       "Borv"};

} // namespace

TOptPic1::TOptPic1(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Option");
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(8, 8, 400, 320);
    LabelCustmerID = new QLabel("Custmer &ID", Panel1);
    LabelCustmerID->setObjectName("LabelCustmerID");
    LabelCustmerID->setGeometry(8, 8, 120, 20);
    EditCustmerID = new QLineEdit(Panel1);
    EditCustmerID->setObjectName("EditCustmerID");
    EditCustmerID->setMaxLength(2);
    EditCustmerID->setGeometry(130, 5, 40, 22);
    LabelCustmerID->setBuddy(EditCustmerID);
    connect(EditCustmerID, &QLineEdit::editingFinished, this, &TOptPic1::Change);
    for (int n = 0; n < 12; ++n) {
        FieldLabels[n] = new QLabel(PicFieldLabels[n], Panel1);
        FieldLabels[n]->setObjectName(QString("Label") + kFieldNames[n]);
        FieldCombos[n] = new QComboBox(Panel1);
        FieldCombos[n]->setObjectName(QString("ComboBox") + kFieldNames[n]);
        FieldLabels[n]->setGeometry(8, 32 + 23 * n, 120, 20);
        FieldCombos[n]->setGeometry(130, 29 + 23 * n, 260, 22);
        connect(FieldCombos[n], QOverload<int>::of(&QComboBox::activated), this, [this](int) { Change(); });
    }
    ButtonRead = new QPushButton("&Read Current Configuration Fuses", this);
    ButtonRead->setObjectName("ButtonRead");
    ButtonRead->setGeometry(8, 332, 230, 25);
    ButtonProgram = new QPushButton("&Program Configuration Fuses", this);
    ButtonProgram->setObjectName("ButtonProgram");
    ButtonProgram->setGeometry(8, 362, 230, 25);
    BitBtn1 = new QPushButton("&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(300, 362, 100, 25);
    connect(ButtonRead, &QPushButton::clicked, this, &TOptPic1::ButtonReadClick);
    connect(ButtonProgram, &QPushButton::clicked, this, &TOptPic1::ButtonProgramClick);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(1); });
    setFixedSize(416, 395);

    const PicPositions at = PicBufferPositions();
    if (at.Id != 0) {
        // Whole words: the ID text edits the low nibbles, the bits above
        // stay as the buffer holds them.
        for (uint32_t i = 0; i < 4; ++i) PicIdWords[i] = BufferWords[(at.Id + i) & 0x7FFF];
    }
    PicConfigWord = BufferWords[at.Config & 0x7FFF];
    UnpackPicConfigFields();
    if (const PicConfigRecord* r = CurrentPicConfigRecord()) {
        for (int n = 0; n < 12; ++n) lists_[n] = r->Lists[n];
    }
    RefreshPicConfigControls();
    scale_ = FitToFont(this);
}

TOptPic1::~TOptPic1() { EditCustmerID->disconnect(this); }

void TOptPic1::RefreshPicConfigControls() {
    const bool ids = PicBufferPositions().Id != 0;
    LabelCustmerID->setEnabled(ids);
    EditCustmerID->setEnabled(ids);
    if (ids) {
        shownIdText_ = QString::fromLatin1(PicIdText, static_cast<int>(qstrnlen(PicIdText, 2)));
        EditCustmerID->setText(shownIdText_);
    }
    int y = 32;
    for (int n = 0; n < 12; ++n) {
        QLabel* label = FieldLabels[n];
        QComboBox* combo = FieldCombos[n];
        const bool has = lists_[n] != nullptr;
        label->setEnabled(has);
        combo->setEnabled(has);
        label->setVisible(has);
        combo->setVisible(has);
        if (!has) continue;
        label->move(label->x(), scale_.ScaleY(y));
        combo->move(combo->x(), scale_.ScaleY(y - 3));
        y += 23;
        combo->clear();
        for (uint32_t i = 0; i < PicListSize(lists_[n]); ++i) combo->addItem(lists_[n][i]);
        combo->setCurrentIndex(PicConfigFields[n] < PicListSize(lists_[n]) ? static_cast<int>(PicConfigFields[n]) : -1);
    }
}

void TOptPic1::Change() {
    // The ID text as shown leaves the ID words alone: a NUL first character
    // hides the second one, which the words still hold.
    if (EditCustmerID->isEnabled() && EditCustmerID->text() != shownIdText_) {
        const QByteArray text = EditCustmerID->text().toLatin1();
        PicIdText[0] = text.size() > 0 ? text[0] : '\0';
        PicIdText[1] = text.size() > 1 ? text[1] : '\0';
        PicIdText[2] = '\0';
    }
    for (int n = 0; n < 12; ++n) {
        if (FieldCombos[n]->isEnabled() && FieldCombos[n]->currentIndex() >= 0)
            PicConfigFields[n] = static_cast<uint32_t>(FieldCombos[n]->currentIndex());
    }
    PackPicConfigFields();
}

void TOptPic1::ButtonReadClick() {
    if (const PicConfigRecord* r = CurrentPicConfigRecord(); r != nullptr && r->Read != nullptr) r->Read();
    UnpackPicConfigFields();
    RefreshPicConfigControls();
    ShowMessageLine("Configuration Fuse Read ok!");
    Beep(1);
}

void TOptPic1::ButtonProgramClick() {
    PackPicConfigFields();
    const PicConfigRecord* r = CurrentPicConfigRecord();
    const int result = r != nullptr && r->Program != nullptr ? r->Program() : -1;
    PicConfigResult = result;
    if (result == 1) {
        ShowMessageLine("Configuration Fuse Program ok!");
        Beep(1);
    } else {
        ShowMessageLine("Configuration Fuse Program error!");
        Beep(-1);
    }
}

int RunPicDialog() {
    TOptPic1 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
