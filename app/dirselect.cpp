#include "app/dirselect.h"

#include <QHeaderView>
#include <QVBoxLayout>

namespace zelq {

TFrmDirSelect::TFrmDirSelect(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FrmDirSelect"));
    setWindowTitle(QStringLiteral("文件夹选择"));
    installSkinFrame(this);
    resize(420, 480);

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives | QDir::Hidden);
    model_->setRootPath(QStringLiteral("/"));
    // Folders only, and no watching: the tree shows the folders as they were when it was filled.
    model_->setOption(QFileSystemModel::DontWatchForChanges);

    ShellTreeView1 = new QTreeView(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setModel(model_);
    ShellTreeView1->setHeaderHidden(true);
    for (int column = 1; column < model_->columnCount(); ++column) ShellTreeView1->hideColumn(column);
    ShellTreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    // A right-click selects the folder under the pointer, as the left button does.
    connect(ShellTreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = ShellTreeView1->indexAt(at);
        if (index.isValid()) ShellTreeView1->setCurrentIndex(index);
    });
    connect(ShellTreeView1, &QTreeView::doubleClicked, this, [this] { BtnConfirmClick(); });

    BtnConfirm = namedSkinButton(this, "BtnConfirm", QStringLiteral("确定"));
    BtnCancel = namedSkinButton(this, "BtnCancel", QStringLiteral("取消"));
    connect(BtnConfirm, &QAbstractButton::clicked, this, [this] { BtnConfirmClick(); });
    connect(BtnCancel, &QAbstractButton::clicked, this, [this] { BtnCancelClick(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSkinMargins);
    layout->addWidget(ShellTreeView1, 1);
    layout->addLayout(dialogButtonRow({BtnConfirm, BtnCancel}));
}

void TFrmDirSelect::openAt(const QString& folder) {
    const QModelIndex index = model_->index(folder);
    if (!index.isValid()) return;
    ShellTreeView1->setCurrentIndex(index);
    ShellTreeView1->expand(index);
    ShellTreeView1->scrollTo(index);
}

void TFrmDirSelect::BtnConfirmClick() {
    const QModelIndex index = ShellTreeView1->currentIndex();
    SelectedPath = index.isValid() ? model_->filePath(index) : QString();
    accept();
}

void TFrmDirSelect::BtnCancelClick() {
    SelectedPath.clear();
    reject();
}

}  // namespace zelq
