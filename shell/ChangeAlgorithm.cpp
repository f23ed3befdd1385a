#include "shell/ChangeAlgorithm.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "dialogs/FontFit.h"
#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Services.h"
#include "shell/InfoPanel.h"

namespace {

// How an item is shown and typed.
enum class ItemKind { Hundredths, Tenths, Integer };

struct ItemSpec {
    const char* Caption;
    const char* Unit; // nullptr: none
    int MaxLength;
    ItemKind Kind;
    uint32_t Min;
    uint32_t Max;
};

constexpr ItemSpec kItems[kChangeAlgorithmItemCount] = {
    {"Vccp", "v", 5, ItemKind::Hundredths, 200, 700},
    {"Vpp", "v", 5, ItemKind::Hundredths, 200, 2500},
    {"Read Vcc", "v", 5, ItemKind::Tenths, 20, 70},
    {"Read Vcc Low", "v", 5, ItemKind::Tenths, 20, 70},
    {"Read Vcc High", "v", 5, ItemKind::Tenths, 20, 70},
    {"Pulse Width", "us", 5, ItemKind::Integer, 1, 65535},
    {"Over Pulse Width", "us", 5, ItemKind::Integer, 0, 65535},
    {"Pulse Mul", nullptr, 2, ItemKind::Integer, 0, 1},
    {"Retry", nullptr, 3, ItemKind::Integer, 1, 100},
    {"Page", nullptr, 5, ItemKind::Integer, 1, 65535},
};

// Decimal value of the leading digits (0 for none), saturated well inside
// 32 bits so that a scaled value cannot wrap.
uint32_t LeadingDecimal(const QString& text) {
    uint64_t value = 0;
    for (QChar c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<uint64_t>(c.unicode() - '0');
        if (value > 10000000) value = 10000000;
    }
    return static_cast<uint32_t>(value);
}

} // namespace

QString FormatHundredths(uint32_t value) {
    if (value == 0) return "None";
    return QString("%1.%2").arg(value / 100).arg(value % 100, 2, 10, QChar('0'));
}

uint32_t ParseHundredths(const QString& text) {
    const qsizetype dot = text.indexOf('.');
    if (dot < 0) return LeadingDecimal(text) * 100;
    const uint32_t whole = LeadingDecimal(text.left(dot));
    const QString fraction = text.mid(dot + 1);
    uint32_t part = 0;
    if (fraction.size() == 1) {
        part = LeadingDecimal(fraction) * 10;
    } else if (fraction.size() >= 2) {
        part = LeadingDecimal(fraction.left(2));
    }
    return whole * 100 + part;
}

TChangeAlgorithm1::TChangeAlgorithm1(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Change Algorithm");
    GroupBoxItems = new QGroupBox("Items", this);
    // Item characters: digits and the point for voltages, digits elsewhere.
    // Validators filter typed and pasted text alike.
    const QRegularExpression volts("[0-9.]*");
    const QRegularExpression digits("[0-9]*");
    QLineEdit** edits[kChangeAlgorithmItemCount] = {
        &EditVccp,           &EditVpp,      &EditReadVcc, &EditReadVccLow, &EditReadVccHigh, &EditPulseWidth,
        &EditOverPulseWidth, &EditPulseMul, &EditRetry,   &EditPage};
    for (int c = 0; c < kChangeAlgorithmItemCount; ++c) {
        const ItemSpec& spec = kItems[c];
        ChangeAlgorithmItem& item = Items[c];
        item.Caption = new QLabel(spec.Caption, GroupBoxItems);
        item.Edit = new QLineEdit(GroupBoxItems);
        item.Edit->setMaxLength(spec.MaxLength);
        item.Edit->setValidator(
            new QRegularExpressionValidator(spec.Kind == ItemKind::Integer ? digits : volts, item.Edit));
        item.Edit->installEventFilter(this);
        item.Caption->setBuddy(item.Edit);
        if (spec.Unit) item.Unit = new QLabel(spec.Unit, GroupBoxItems);
        *edits[c] = item.Edit;
    }
    BitBtn1 = new QPushButton("&Close", this);
    connect(BitBtn1, &QPushButton::clicked, this, &TChangeAlgorithm1::BitBtn1Click);

    const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm);
    const int group = row ? row->ParameterGroup : NoParameterGroup;
    ParameterGroup = group >= 0 && group < 12 ? group : -1;
    LayoutItems();
    TransferAlgorithmItems(0);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBoxItems, 1);
    layout->addWidget(BitBtn1, 0, Qt::AlignRight);
}

void TChangeAlgorithm1::LayoutItems() {
    for (ChangeAlgorithmItem& item : Items) {
        item.Caption->hide();
        item.Edit->hide();
        if (item.Unit) item.Unit->hide();
    }
    int p = 0;
    if (ParameterGroup >= 0) {
        for (; p < 10; ++p) {
            const int code = ChangeAlgorithmItemTable[ParameterGroup][p];
            if (code == ChangeAlgorithmItemEnd) break;
            if (code < 0 || code >= kChangeAlgorithmItemCount) continue;
            ChangeAlgorithmItem& item = Items[code];
            item.Caption->setGeometry(16, 25 * p + 20, 110, 17);
            item.Edit->setGeometry(130, 25 * p + 16, 64, 21);
            item.Caption->show();
            item.Edit->show();
            if (item.Unit) {
                item.Unit->setGeometry(200, 25 * p + 20, 24, 17);
                item.Unit->show();
            }
        }
    }
    GroupBoxItems->setMinimumSize(240, 25 * p + 30);
    FitToFont(GroupBoxItems);
}

void TChangeAlgorithm1::TransferAlgorithmItems(int direction) {
    for (int c = 0; c < kChangeAlgorithmItemCount; ++c) {
        uint32_t* setting = ProgrammingParameterByItem(c);
        if (!setting) continue;
        const ItemSpec& spec = kItems[c];
        QLineEdit* edit = Items[c].Edit;
        if (direction == 0) {
            switch (spec.Kind) {
            case ItemKind::Hundredths:
                edit->setText(FormatHundredths(*setting));
                break;
            case ItemKind::Tenths:
                edit->setText(FormatHundredths(*setting * 10));
                break;
            case ItemKind::Integer:
                edit->setText(QString::number(*setting));
                break;
            }
            continue;
        }
        uint32_t value = 0;
        switch (spec.Kind) {
        case ItemKind::Hundredths:
            value = ParseHundredths(edit->text());
            break;
        case ItemKind::Tenths:
            value = ParseHundredths(edit->text()) / 10;
            break;
        case ItemKind::Integer:
            value = LeadingDecimal(edit->text());
            break;
        }
        if (value >= spec.Min && value <= spec.Max) *setting = value;
    }
}

void TChangeAlgorithm1::EditExit() {
    TransferAlgorithmItems(1);
    TransferAlgorithmItems(0);
}

void TChangeAlgorithm1::BitBtn1Click() {
    accept();
}

void TChangeAlgorithm1::done(int result) {
    for (const ChangeAlgorithmItem& item : Items) {
        if (item.Edit->hasFocus()) {
            EditExit();
            break;
        }
    }
    QDialog::done(result);
}

bool TChangeAlgorithm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        for (const ChangeAlgorithmItem& item : Items) {
            if (watched == item.Edit) {
                EditExit();
                break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

int ShowChangeAlgorithm(QWidget* parent) {
    if (OperationBusy.load()) return -1;
    const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm);
    if (!row || row->ParameterGroup < 0 || row->ParameterGroup >= 12) return -1;
    TChangeAlgorithm1 dialog(parent);
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    const int result = dialog.exec();
    UpdateInfoPanel(); // the panel shows Vccp, Vpp and the pulse width
    return result;
}
