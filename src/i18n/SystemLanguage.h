#pragma once
// The interface language a first run starts in, from the system's language.
// The decision is made on the primary language identifier (the low 8 bits of
// a Windows language identifier), so that variants fold into their language:
// Brazilian Portuguese gives "pt", Norwegian (no table column) gives "en".

#include <cstdint>

#include <QLocale>
#include <QString>

namespace corvala {

// Code of the table column for a language identifier; "en" for any primary
// language without a column.
QString defaultLanguageCode(std::uint16_t languageId);

// Windows primary language identifier of a locale (German 7, Greek 8, English
// 9, Spanish 10, French 12, Italian 16, Dutch 19, Norwegian 20, Portuguese 22,
// Russian 25, Swedish 29, Turkish 31); 0 for languages not listed here.
std::uint16_t primaryLanguageId(const QLocale& locale);

// defaultLanguageCode of the system's interface language.
QString systemLanguageCode();

}  // namespace corvala
