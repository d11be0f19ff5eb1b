#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include "dialogs.h"

namespace zelq {

namespace {

QMessageBox::Icon toQt(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Warning: return QMessageBox::Warning;
        case MsgIcon::Error: return QMessageBox::Critical;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// The pickers take filters written the Windows way ("AVI File (*.avi)|*.avi"); Qt wants "AVI File (*.avi)".
QString qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts[i];
        if (!label.contains(QLatin1Char('('))) label += QStringLiteral(" (%1)").arg(parts[i + 1]);
        out << label;
    }
    return out.isEmpty() ? filter : out.join(QStringLiteral(";;"));
}

// Window managers draw the title in a bold face between the window's icon and its three buttons; a box
// only as wide as a short text has its title cut ("ZE… 手"). The room those take, with the frame's padding.
constexpr int kTitleBarExtras = 150;

void makeRoomForTitle(QMessageBox& box, const QString& title) {
    QFont bold = box.font();
    bold.setBold(true);
    const int width = QFontMetrics(bold).horizontalAdvance(title) + kTitleBarExtras;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
    }
}

}  // namespace

MsgAnswer QtDialogs::doMessageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                                  QWidget* owner) {
    // A box without a caption of its own is titled with the program's name, as every message box is.
    const QString title = caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption;
    QMessageBox box(toQt(icon), title, text, QMessageBox::NoButton, owner);
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
        box.button(QMessageBox::No)->setText(QStringLiteral("否"));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    }
    makeRoomForTitle(box, title);
    const int answer = box.exec();
    if (buttons == MsgButtons::YesNo)
        return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    return MsgAnswer::Ok;
}

QString QtDialogs::doOpenFile(QWidget* owner, const QString& caption, const QString& folder,
                              const QString& filter) {
    return QFileDialog::getOpenFileName(owner, caption, folder, qtFilter(filter));
}

QStringList QtDialogs::doOpenFiles(QWidget* owner, const QString& caption, const QString& folder,
                                   const QString& filter) {
    return QFileDialog::getOpenFileNames(owner, caption, folder, qtFilter(filter));
}

QString QtDialogs::doSaveFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter,
                              const QString& defaultSuffix) {
    QFileDialog dialog(owner, caption, folder, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                   : QString();
}

QString QtDialogs::doChooseFolder(QWidget* owner, const QString& caption, const QString& folder) {
    return QFileDialog::getExistingDirectory(owner, caption, folder);
}

}  // namespace zelq
