#include "i18n/WindowTexts.h"

#include <QVariant>

#include "i18n/Translator.h"

namespace corvala {

int translateTexts(QObject* window, std::span<const TextTarget> targets) {
    int missing = 0;
    for (const TextTarget& t : targets) {
        QObject* target = (t.ObjectName && *t.ObjectName)
                              ? window->findChild<QObject*>(QLatin1String(t.ObjectName))
                              : window;
        if (!target) {
            ++missing;
            continue;
        }
        const QString text = translate(QString::fromUtf8(t.Key)) + QString::fromUtf8(t.Suffix ? t.Suffix : "");
        target->setProperty(t.Property, text);
    }
    return missing;
}

}  // namespace corvala
