#include "platform/scrap/ClipboardStore.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QThread>

namespace vellora::scrap {

OSStatus ClipboardStore::attach() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) return scrapUnavailableErr;
    // QClipboard is not thread-safe, and on X11 it needs the GUI thread's event loop.
    if (QThread::currentThread() != app->thread()) return scrapWrongThreadErr;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return scrapUnavailableErr;
    if (watched_ != clipboard) {
        // The clipboard is the connection's context, so the connection ends with it.
        QObject::connect(clipboard, &QClipboard::dataChanged, clipboard,
                         [] { noteContentsChanged(); });
        watched_ = clipboard;
        noteContentsChanged();
    }
    return scrapNoErr;
}

const QMimeData* ClipboardStore::contents() {
    if (!watched_) return nullptr;
    const QMimeData* data = watched_->mimeData(QClipboard::Clipboard);
    return data && !data->formats().isEmpty() ? data : nullptr;
}

OSStatus ClipboardStore::replace(std::unique_ptr<QMimeData> contents) {
    if (!watched_) return scrapUnavailableErr;
    watched_->setMimeData(contents.release(), QClipboard::Clipboard);  // the clipboard owns it
    return scrapNoErr;
}

OSStatus ClipboardStore::clear() {
    if (!watched_) return scrapUnavailableErr;
    watched_->clear(QClipboard::Clipboard);
    return scrapNoErr;
}

}  // namespace vellora::scrap
