#include "i18n/SystemLanguage.h"

#include <QStringList>

namespace corvala {

QString defaultLanguageCode(std::uint16_t languageId) {
    switch (languageId & 0xFF) {
    case 7: return QStringLiteral("de");
    case 8: return QStringLiteral("el");
    case 10: return QStringLiteral("es");
    case 12: return QStringLiteral("fr");
    case 16: return QStringLiteral("it");
    case 19: return QStringLiteral("nl");
    case 22: return QStringLiteral("pt");
    case 25: return QStringLiteral("ru");
    case 29: return QStringLiteral("se");
    case 31: return QStringLiteral("tr");
    default: return QStringLiteral("en");
    }
}

std::uint16_t primaryLanguageId(const QLocale& locale) {
    switch (locale.language()) {
    case QLocale::German: return 7;
    case QLocale::Greek: return 8;
    case QLocale::English: return 9;
    case QLocale::Spanish: return 10;
    case QLocale::French: return 12;
    case QLocale::Italian: return 16;
    case QLocale::Dutch: return 19;
    case QLocale::NorwegianBokmal:
    case QLocale::NorwegianNynorsk: return 20;
    case QLocale::Portuguese: return 22;
    case QLocale::Russian: return 25;
    case QLocale::Swedish: return 29;
    case QLocale::Turkish: return 31;
    default: return 0;
    }
}

QString systemLanguageCode() {
    // The interface language the desktop asks for comes first; the locale's
    // own language (LANG) only when the desktop names none.
    const QLocale system = QLocale::system();
    const QStringList ui = system.uiLanguages();
    const QLocale locale = ui.isEmpty() ? system : QLocale(ui.front());
    return defaultLanguageCode(primaryLanguageId(locale));
}

}  // namespace corvala
