#include "platform/linux/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

namespace corvala::platform::linuxos {

std::optional<QString> QtClipboard::Text() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return std::nullopt;
    return data->text();
}

void QtClipboard::SetText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    if (clipboard->supportsSelection()) clipboard->setText(text, QClipboard::Selection);
}

void QtClipboard::SetImage(const DesktopPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0) return;
    // The pixels are 0x00RRGGBB words: RGB32 ignores the top byte.
    const QImage image(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width, picture.height,
                       picture.width * 4, QImage::Format_RGB32);
    QGuiApplication::clipboard()->setImage(image.copy(), QClipboard::Clipboard);
}

void QtClipboard::Watch(std::function<void()> changed) {
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this,
            [changed = std::move(changed)](QClipboard::Mode mode) {
                if (mode == QClipboard::Clipboard) changed();
            });
}

}  // namespace corvala::platform::linuxos
