// The clipboard of a process without a GUI application: contents held here.
#ifndef VELLORA_SCRAP_MEMORYSTORE_H
#define VELLORA_SCRAP_MEMORYSTORE_H

#include <QMimeData>

#include "platform/scrap/ScrapStore.h"

namespace vellora::scrap {

class MemoryStore final : public Store {
  public:
    OSStatus attach() override { return scrapNoErr; }
    const QMimeData* contents() override { return contents_.get(); }
    OSStatus replace(std::unique_ptr<QMimeData> contents) override;
    OSStatus clear() override;

  private:
    std::unique_ptr<QMimeData> contents_;
};

}  // namespace vellora::scrap

#endif
