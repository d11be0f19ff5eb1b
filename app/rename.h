#pragma once
// TFrmReName, the rename dialog: one name box. Confirming (the button or Enter) hands back the name as
// typed; closing keeps the name it was opened with, so nothing changes on disk. UI thread only.

#include <QDialog>
#include <QLineEdit>

#include "platform/skin.h"

namespace zelq {

class TFrmReName : public QDialog {
    Q_OBJECT
public:
    explicit TFrmReName(QWidget* owner);

    void SetName(const QString& name);

    QString NewName;

    QLineEdit* EdtName = nullptr;
    SkinButton* BtnConfirm = nullptr;
    SkinButton* BtnClose = nullptr;

    void BtnConfirmClick();
    void BtnCloseClick();
};

}  // namespace zelq
