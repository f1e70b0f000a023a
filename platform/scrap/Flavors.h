// The mapping between four-character flavour codes and the MIME formats of clipboard contents.
#ifndef VELLORA_SCRAP_FLAVORS_H
#define VELLORA_SCRAP_FLAVORS_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <vector>

#include "platform/scrap/Scrap.h"

class QMimeData;

namespace vellora::scrap {

// "application/x-vellora-scrap-" and the code as eight lowercase hex digits.
QString customMimeType(ScrapFlavorType type);

// The flavours `contents` holds (null: none), in listing order.
std::vector<ScrapFlavorType> listFlavors(const QMimeData* contents);

bool hasFlavor(const QMimeData* contents, ScrapFlavorType type);

// The flavour's bytes into *bytes; scrapNoTypeErr when it is not there.
OSStatus flavorBytes(const QMimeData* contents, ScrapFlavorType type, QByteArray* bytes);

// A copy of `contents` (null: empty) with the flavour added or replaced, into *result.
OSStatus withFlavor(const QMimeData* contents, ScrapFlavorType type, QByteArrayView bytes,
                    std::unique_ptr<QMimeData>* result);

}  // namespace vellora::scrap

#endif
