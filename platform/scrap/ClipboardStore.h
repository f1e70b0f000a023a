// The system clipboard of the running Qt GUI application.
#ifndef VELLORA_SCRAP_CLIPBOARDSTORE_H
#define VELLORA_SCRAP_CLIPBOARDSTORE_H

#include <QClipboard>
#include <QPointer>

#include "platform/scrap/ScrapStore.h"

namespace vellora::scrap {

class ClipboardStore final : public Store {
  public:
    // Fails off the application's thread; on first use of each application's clipboard it
    // starts watching it for changes made by others.
    OSStatus attach() override;
    const QMimeData* contents() override;
    OSStatus replace(std::unique_ptr<QMimeData> contents) override;
    OSStatus clear() override;

  private:
    // Nulls itself when the application, and with it its clipboard, goes away.
    QPointer<QClipboard> watched_;
};

}  // namespace vellora::scrap

#endif
