#pragma once
// TFrmDirSelect, the folder dialog: a tree of the file system's folders. Confirming (the button or a
// double-click) hands back the selected folder, cancelling hands back nothing, and closing by the title
// bar keeps what the previous use handed back. UI thread only.

#include <QDialog>
#include <QFileSystemModel>
#include <QTreeView>

#include "platform/skin.h"

namespace zelq {

class TFrmDirSelect : public QDialog {
    Q_OBJECT
public:
    explicit TFrmDirSelect(QWidget* owner);

    // Expands the tree down to the folder and selects it.
    void openAt(const QString& folder);

    QString SelectedPath;

    QTreeView* ShellTreeView1 = nullptr;
    SkinButton* BtnConfirm = nullptr;
    SkinButton* BtnCancel = nullptr;

    void BtnConfirmClick();
    void BtnCancelClick();

private:
    QFileSystemModel* model_ = nullptr;
};

}  // namespace zelq
