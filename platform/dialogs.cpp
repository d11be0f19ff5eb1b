#include "dialogs.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace zelq {

namespace {

// Runs fn on the UI thread and returns its result; runs it in place when already there.
template <typename Fn>
auto onUiThread(Fn&& fn) -> decltype(fn()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        return fn();
    }
    decltype(fn()) result{};
    QMetaObject::invokeMethod(app, [&] { result = fn(); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace

QString Dialogs::applicationTitle() { return QStringLiteral("ZELQ屏幕录像助手"); }

MsgAnswer Dialogs::messageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons,
                              QWidget* owner) {
    const QString shownCaption = caption.isEmpty() ? applicationTitle() : caption;
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        return messageBoxFromOtherThread(text, shownCaption, icon, buttons, owner);
    }
    return doMessageBox(text, shownCaption, icon, buttons, owner);
}

MsgAnswer Dialogs::messageBoxFromOtherThread(const QString& text, const QString& caption, MsgIcon icon,
                                             MsgButtons buttons, QWidget* owner) {
    return onUiThread([&] { return doMessageBox(text, caption, icon, buttons, owner); });
}

QString Dialogs::openFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter) {
    return onUiThread([&] { return doOpenFile(owner, caption, folder, filter); });
}

QStringList Dialogs::openFiles(QWidget* owner, const QString& caption, const QString& folder,
                               const QString& filter) {
    return onUiThread([&] { return doOpenFiles(owner, caption, folder, filter); });
}

QStringList Dialogs::doOpenFiles(QWidget* owner, const QString& caption, const QString& folder,
                                 const QString& filter) {
    const QString one = doOpenFile(owner, caption, folder, filter);
    return one.isEmpty() ? QStringList() : QStringList{one};
}

QString Dialogs::saveFile(QWidget* owner, const QString& caption, const QString& folder, const QString& filter,
                          const QString& defaultSuffix) {
    return onUiThread([&] { return doSaveFile(owner, caption, folder, filter, defaultSuffix); });
}

QString Dialogs::chooseFolder(QWidget* owner, const QString& caption, const QString& folder) {
    return onUiThread([&] { return doChooseFolder(owner, caption, folder); });
}

}  // namespace zelq
