#include "mcu/OptZilog.h"

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include "dialogs/FontFit.h"
#include "engine/Services.h"
#include "mcu/Zilog.h"

TOptZilog1::TOptZilog1(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Option Bits");
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ListView = new QTreeWidget(this);
    ListView->setObjectName("ListView");
    ListView->setGeometry(8, 8, 209, 129);
    ListView->setRootIsDecorated(false);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setStyleSheet("QTreeView::item { border: 1px solid #d0d0d0; }");
    ListView->setHeaderLabels({"Function", "Status"});
    SetColumnWidths(ListView, {150});
    connect(ListView, &QTreeWidget::itemClicked, this, [this] { ListViewClick(); });
    BitBtn1 = new QPushButton("&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(140, 152, 75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    LabelRefused = new QLabel(this);
    LabelRefused->setObjectName("LabelRefused");
    LabelRefused->setGeometry(8, 140, 128, 40);
    LabelRefused->setWordWrap(true);
    LabelRefused->hide();
    setFixedSize(227, 184);
    FormCreate();
    FitColumns(ListView);
    FitToFont(this);
}

void TOptZilog1::FormCreate() {
    ListView->clear();
    LabelRefused->hide();
    const ZilogOptionExchangeData& x = ZilogOptionExchange;
    if (x.Names == nullptr || x.States == nullptr) return;
    // Options the row does not offer: disabled, the reason in their tip and
    // under the list ("Not offered: A, B (reason)").
    QStringList names, refused;
    QString reason;
    bool oneReason = true;
    for (uint32_t i = 0; x.Names[i] != nullptr; ++i) {
        auto* item = new QTreeWidgetItem(ListView);
        item->setText(0, x.Names[i]);
        item->setText(1, ZilogStatusText(x.Entry, i, x.States[i]));
        const char* why = ZilogOptionRefusal(i);
        if (why == nullptr) continue;
        item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        item->setToolTip(0, QString("Not offered: %1").arg(why));
        item->setToolTip(1, item->toolTip(0));
        oneReason = oneReason && (reason.isEmpty() || reason == why);
        reason = why;
        refused << QString("%1 (%2)").arg(x.Names[i], why);
        names << x.Names[i];
    }
    LabelRefused->setVisible(!refused.isEmpty());
    if (refused.isEmpty()) return;
    LabelRefused->setText("Not offered: " +
                          (oneReason ? QString("%1 (%2)").arg(names.join(", "), reason) : refused.join(", ")));
}

void TOptZilog1::ListViewClick() {
    QTreeWidgetItem* item = ListView->currentItem();
    if (item == nullptr || ZilogOptionExchange.States == nullptr) return;
    const int index = ListView->indexOfTopLevelItem(item);
    if (index < 0) return;
    const auto i = static_cast<uint32_t>(index);
    ZilogToggleOption(i);
    item->setText(1, ZilogStatusText(ZilogOptionExchange.Entry, i, ZilogOptionExchange.States[i]));
}

int ShowZilogOptionDialog() {
    TOptZilog1 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
