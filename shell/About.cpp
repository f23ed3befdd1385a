#include "shell/About.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <cstring>

#include "engine/Config.h"
#include "engine/Library.h"
#include "engine/Services.h"
#include "shell/InfoPanel.h"
#include "shell/Startup.h"

namespace {
const char* const kNotice1 = "Copyright (C) Harrowend. All rights reserved.";
const char* const kNotice2 = "This program is licensed for use with the programmer only.";

bool IsDefaultProduct() {
    const char* name = ProductModelTable[kProductModelCount - 1].ProductName;
    return ProductName != nullptr && std::strcmp(ProductName, name) == 0;
}
} // namespace

TAboutKr::TAboutKr(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About");
    Image1 = new QLabel(this);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    LabelTitle = new QLabel(this);
    QFont title = LabelTitle->font();
    title.setBold(true);
    title.setPointSize(title.pointSize() + 4);
    LabelTitle->setFont(title);
    LabelRev = new QLabel(this);
    LabelNotice1 = new QLabel(kNotice1, this);
    LabelNotice2 = new QLabel(kNotice2, this);
    OKButton = new QPushButton("OK", this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Image1, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(LabelTitle, 0, 1);
    grid->addWidget(LabelRev, 1, 1);
    grid->addWidget(LabelNotice1, 2, 0, 1, 2);
    grid->addWidget(LabelNotice2, 3, 0, 1, 2);
    grid->addWidget(OKButton, 4, 0, 1, 2, Qt::AlignHCenter);
}

void TAboutKr::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TAboutKr::FormShow() {
    LabelTitle->setText(FormatToStaticBuffer("%s For Windows", ProductName ? ProductName : ""));
    LabelRev->setText(FormatToStaticBuffer("Rev %s", ProgramRevision));
    if (!IsDefaultProduct()) {
        LabelNotice1->setText("");
        LabelNotice2->setText("");
    }
}

int ShowAbout(QWidget* parent) {
    TAboutKr dialog(parent);
    dialog.move(GetMainFormLeft() + 130, GetMainFormTop() + 130);
    return dialog.exec();
}
