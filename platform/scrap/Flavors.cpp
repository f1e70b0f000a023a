#include "platform/scrap/Flavors.h"

#include <QBuffer>
#include <QImage>
#include <QMimeData>
#include <optional>

namespace vellora::scrap {
namespace {

const QString kCustomPrefix = QStringLiteral("application/x-vellora-scrap-");
const QString kPlainText = QStringLiteral("text/plain");
const QString kQtImage = QStringLiteral("application/x-qt-image");
const QString kQtColor = QStringLiteral("application/x-color");

bool isTextType(ScrapFlavorType type) {
    return type == kScrapFlavorTypeText || type == kScrapFlavorTypeUnicode;
}

bool isMappedType(ScrapFlavorType type) {
    return isTextType(type) || type == kScrapFlavorTypePicture;
}

// The code a MIME type of ours carries; only the exact spelling customMimeType() writes.
std::optional<ScrapFlavorType> customFlavor(const QString& mimeType) {
    if (!mimeType.startsWith(kCustomPrefix) || mimeType.size() != kCustomPrefix.size() + 8)
        return std::nullopt;
    ScrapFlavorType type = 0;
    for (qsizetype i = kCustomPrefix.size(); i < mimeType.size(); ++i) {
        const char16_t c = mimeType[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else
            return std::nullopt;
        type = (type << 4) | static_cast<ScrapFlavorType>(digit);
    }
    // Someone else's spelling of a mapped code would list that flavour twice.
    if (isMappedType(type)) return std::nullopt;
    return type;
}

QString fromUtf16Le(QByteArrayView bytes) {
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < units; ++i) {
        const auto low = static_cast<uint8_t>(bytes[2 * i]);
        const auto high = static_cast<uint8_t>(bytes[2 * i + 1]);
        out[i] = QChar(static_cast<char16_t>(low | (high << 8)));
    }
    return text;
}

QByteArray toUtf16Le(const QString& text) {
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        bytes[2 * i] = static_cast<char>(unit & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(unit >> 8);
    }
    return bytes;
}

void copyFormats(const QMimeData& from, QMimeData& to) {
    for (const QString& format : from.formats()) {
        // Images and colours are held as typed values, for which data() gives no bytes.
        if (format == kQtImage)
            to.setImageData(from.imageData());
        else if (format == kQtColor)
            to.setColorData(from.colorData());
        else
            to.setData(format, from.data(format));
    }
}

// Drops every older rendering of what is about to be replaced, so no other program is offered
// the previous text or image under a format we did not rewrite.
void removeFormatsStartingWith(QMimeData& data, const QString& prefix) {
    for (const QString& format : data.formats())
        if (format.startsWith(prefix)) data.removeFormat(format);
}

}  // namespace

QString customMimeType(ScrapFlavorType type) {
    return kCustomPrefix + QStringLiteral("%1").arg(type, 8, 16, QLatin1Char('0'));
}

std::vector<ScrapFlavorType> listFlavors(const QMimeData* contents) {
    std::vector<ScrapFlavorType> types;
    if (!contents) return types;
    if (contents->hasText()) {
        types.push_back(kScrapFlavorTypeText);
        types.push_back(kScrapFlavorTypeUnicode);
    }
    if (contents->hasImage()) types.push_back(kScrapFlavorTypePicture);
    for (const QString& format : contents->formats())
        if (auto type = customFlavor(format)) types.push_back(*type);
    return types;
}

bool hasFlavor(const QMimeData* contents, ScrapFlavorType type) {
    if (!contents) return false;
    if (isTextType(type)) return contents->hasText();
    if (type == kScrapFlavorTypePicture) return contents->hasImage();
    return contents->hasFormat(customMimeType(type));
}

OSStatus flavorBytes(const QMimeData* contents, ScrapFlavorType type, QByteArray* bytes) {
    if (!hasFlavor(contents, type)) return scrapNoTypeErr;
    if (type == kScrapFlavorTypeText) {
        *bytes = contents->text().toUtf8();
    } else if (type == kScrapFlavorTypeUnicode) {
        *bytes = toUtf16Le(contents->text());
    } else if (type == kScrapFlavorTypePicture) {
        const QImage image = qvariant_cast<QImage>(contents->imageData());
        if (image.isNull()) return scrapBadFlavorDataErr;
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
            return scrapBadFlavorDataErr;
        *bytes = std::move(png);
    } else {
        *bytes = contents->data(customMimeType(type));
    }
    return scrapNoErr;
}

OSStatus withFlavor(const QMimeData* contents, ScrapFlavorType type, QByteArrayView bytes,
                    std::unique_ptr<QMimeData>* result) {
    auto data = std::make_unique<QMimeData>();
    if (contents) copyFormats(*contents, *data);
    if (isTextType(type)) {
        removeFormatsStartingWith(*data, kPlainText);
        data->setText(type == kScrapFlavorTypeText ? QString::fromUtf8(bytes) : fromUtf16Le(bytes));
    } else if (type == kScrapFlavorTypePicture) {
        QImage image;
        if (!image.loadFromData(bytes)) return scrapBadFlavorDataErr;
        removeFormatsStartingWith(*data, QStringLiteral("image/"));
        data->setImageData(image);
    } else {
        data->setData(customMimeType(type), bytes.toByteArray());
    }
    *result = std::move(data);
    return scrapNoErr;
}

}  // namespace vellora::scrap
