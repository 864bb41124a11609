#include "i18n/Translator.h"

#include "base/EmbeddedResource.h"
#include "base/ProcessState.h"

CORVALA_DECLARE_RESOURCE(corvala_language_table)

namespace corvala {

void Translator::build(const QStringList& lines) {
    FColumns.clear();
    FFirstRow.clear();
    FRowCount = 0;
    FLanguageIndex = 0;
    if (lines.isEmpty())
        return;
    QString countLine = lines.front();
    if (countLine.startsWith(QChar(0xFEFF)))
        countLine.remove(0, 1);
    bool ok = false;
    const int n = countLine.trimmed().toInt(&ok);
    // A count beyond the lines that follow cannot make a single row, and
    // would otherwise size the columns by a number the file merely claims.
    if (!ok || n <= 0 || n > lines.size() - 1)
        return;
    FRowCount = int((lines.size() - 1) / n);
    FColumns.resize(n);
    for (int k = 0; k < n; ++k) {
        FColumns[k].reserve(FRowCount);
        for (int r = 0; r < FRowCount; ++r)
            FColumns[k] << lines[1 + r * n + k];
    }
    for (int r = FRowCount - 1; r >= 0; --r)
        FFirstRow.insert(FColumns[0][r], r);
}

QStringList splitTableLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    QStringList lines = QString::fromUtf8(text.data(), qsizetype(text.size())).split(u'\n');
    for (QString& line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    return lines;
}

void Translator::buildFromUtf8(std::string_view text) { build(splitTableLines(text)); }

QString Translator::cell(int language, int row) const {
    if (language < 0 || language >= FColumns.size() || row < 0 || row >= FRowCount)
        return {};
    return FColumns[language][row];
}

int Translator::languageIndexOf(const QString& code) const {
    if (FRowCount < 2)
        return -1;
    for (int k = 0; k < FColumns.size(); ++k)
        if (FColumns[k][1] == code)
            return k;
    return -1;
}

void Translator::setLanguageCode(const QString& code) {
    FLanguageIndex = qMax(0, languageIndexOf(code));
}

void Translator::setLanguageIndex(int index) {
    FLanguageIndex = (index >= 0 && index < FColumns.size()) ? index : 0;
}

QString Translator::translate(const QString& english) const {
    if (processState().EventsSuspended || isEmpty())
        return english;
    const auto found = FFirstRow.constFind(english);
    if (found == FFirstRow.constEnd())
        return english;
    const QString& text = FColumns[FLanguageIndex][found.value()];
    return text.isEmpty() ? english : text;
}

Translator& translator() {
    static Translator instance;
    return instance;
}

QString translate(const QString& english) { return translator().translate(english); }

QString FormatText(const QString& text, std::initializer_list<QString> values) {
    QString out = text;
    qsizetype from = 0;
    for (const QString& value : values) {
        const qsizetype at = out.indexOf(QLatin1StringView("%s"), from);
        if (at < 0) break;
        out.replace(at, 2, value);
        from = at + value.size();
    }
    return out;
}

std::string_view embeddedLanguageTable() {
    const std::string_view bytes = CORVALA_RESOURCE(corvala_language_table);
    return bytes;
}

}  // namespace corvala
