// The language table reader: the count line, the rows of one line per
// language, and the lookups the windows make once it is built.
//
// Property: with any language chosen, a text translates to that language's
// cell of the first row holding the text, or stays English where the cell
// is empty.
#include "FuzzSupport.h"
#include "i18n/Translator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    Translator table;
    table.buildFromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (table.isEmpty()) return 0;
    QHash<QString, int> firstRow;
    for (int row = table.rowCount() - 1; row >= 0; --row) firstRow.insert(table.cell(0, row), row);
    for (int language = 0; language < table.languageCount(); ++language) {
        table.setLanguageCode(table.languageCode(language));
        table.setLanguageIndex(language);
        for (int row = 0; row < table.rowCount(); ++row) {
            const QString english = table.cell(0, row);
            const QString cell = table.cell(language, firstRow.value(english));
            if (table.translate(english) != (cell.isEmpty() ? english : cell))
                fuzz::Fail("a text translates to another cell than its first row's");
        }
    }
    return 0;
}
