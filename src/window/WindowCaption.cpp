#include "window/WindowCaption.h"

#include "i18n/Translator.h"

namespace corvala {

WindowCaption ComposeWindowCaption(int peerCount, bool allowOnlyViewing, const QString& product,
                                   const QString& version) {
    const QString prefix = allowOnlyViewing ? translate(QStringLiteral("DEMONSTRATION")) + QStringLiteral(" - ") : QString();
    WindowCaption caption;
    if (peerCount <= 0) {
        caption.Text = prefix + product;
        if (!allowOnlyViewing) caption.Text += QStringLiteral(" ") + version;
        return caption;
    }
    QString text = translate(QStringLiteral("Connections: %s"));
    const int at = text.indexOf(QStringLiteral("%s"));
    if (at >= 0) text.replace(at, 2, QString::number(peerCount));
    caption.Text = prefix + text;
    caption.ShowInfoButtons = true;
    return caption;
}

int ActivitySequence::Step(bool firstShapeVisible) {
    if (!firstShapeVisible) return FLit;
    FLit = FLit == 3 ? None : FLit + 1;
    return FLit;
}

}  // namespace corvala
