#include "app/rename.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace zelq {

TFrmReName::TFrmReName(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FrmReName"));
    setWindowTitle(QStringLiteral("重命名"));
    installSkinFrame(this);

    EdtName = new QLineEdit(this);
    EdtName->setObjectName(QStringLiteral("EdtName"));
    EdtName->setMinimumWidth(260);
    // Enter in the box confirms; returnPressed fires for both Enter keys.
    connect(EdtName, &QLineEdit::returnPressed, this, [this] { BtnConfirmClick(); });
    BtnConfirm = namedSkinButton(this, "BtnConfirm", QStringLiteral("确定"));
    BtnClose = namedSkinButton(this, "BtnClose", QStringLiteral("关闭"));
    connect(BtnConfirm, &QAbstractButton::clicked, this, [this] { BtnConfirmClick(); });
    connect(BtnClose, &QAbstractButton::clicked, this, [this] { BtnCloseClick(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSkinMargins + QMargins(8, 4, 8, 4));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("名称"), this));
    row->addWidget(EdtName, 1);
    layout->addLayout(row);
    layout->addLayout(dialogButtonRow({BtnConfirm, BtnClose}));
}

void TFrmReName::SetName(const QString& name) {
    NewName = name;
    EdtName->setText(name);
}

void TFrmReName::BtnConfirmClick() {
    NewName = EdtName->text();
    accept();
}

void TFrmReName::BtnCloseClick() { reject(); }

}  // namespace zelq
