#include "TranslatedLiterals.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

namespace corvala::testing_support {

namespace {

const QString Literal = QStringLiteral(R"re("(?:[^"\\\n]|\\.)*")re");
const QString Literals = "((?:" + Literal + R"re(\s*)+))re";
// translate() or TranslationKey(), not a method of another object such as
// QPainter::translate.
const QString Call = QStringLiteral(R"re((?<![\w.>])(?:translate|TranslationKey)\s*\(\s*)re");
const QString Wrapper = QStringLiteral(
    R"re((?:(?:QStringLiteral|QString::fromLatin1|QString::fromUtf8|QLatin1String|QLatin1StringView)\s*\(\s*)?)re");
const QString Constant = R"re(\bconstexpr\b[^=;{}()]*?\b(\w+)\s*(?:\[\s*\])?\s*=\s*)re" + Literals + R"re(\s*;)re";

QChar Unescaped(QChar c) {
    switch (c.unicode()) {
        case 'n': return u'\n';
        case 't': return u'\t';
        case 'r': return u'\r';
        case '0': return QChar(0);
        default: return c;  // \" \' \\ \?
    }
}

}  // namespace

QString WithoutComments(const QString& code) {
    QString out;
    out.reserve(code.size());
    const qsizetype n = code.size();
    qsizetype i = 0;
    const auto copyQuoted = [&](QChar quote) {
        out += code[i++];
        while (i < n && code[i] != quote && code[i] != u'\n') {
            if (code[i] == u'\\' && i + 1 < n) out += code[i++];
            out += code[i++];
        }
        if (i < n) out += code[i++];
    };
    while (i < n) {
        if (code.mid(i, 2) == u"//") {
            while (i < n && code[i] != u'\n') ++i;
        } else if (code.mid(i, 2) == u"/*") {
            const qsizetype end = code.indexOf(u"*/", i + 2);
            i = end < 0 ? n : end + 2;
            out += u' ';
        } else if (code[i] == u'"' || code[i] == u'\'') {
            copyQuoted(code[i]);
        } else {
            out += code[i++];
        }
    }
    return out;
}

QString LiteralText(const QString& literals) {
    static const QRegularExpression one(Literal);
    QString text;
    for (const QRegularExpressionMatch& m : one.globalMatch(literals)) {
        const QString quoted = m.captured();
        for (qsizetype i = 1; i + 1 < quoted.size(); ++i) {
            if (quoted[i] == u'\\' && i + 2 < quoted.size())
                text += Unescaped(quoted[++i]);
            else
                text += quoted[i];
        }
    }
    return text;
}

void TranslatedLiterals::AddSource(const QString& code) {
    static const QRegularExpression literalCall(Call + Wrapper + Literals);
    static const QRegularExpression namedCall(Call + Wrapper + R"re((?:\w+::)*(\w+)\s*\))re");
    static const QRegularExpression constant(Constant);
    static const QRegularExpression textsNamespace(R"re(\bnamespace\s+(?:\w+::)*\w+_texts\s*\{([^{}]*)\})re");
    ++FFiles;
    const QString source = WithoutComments(code);
    for (const QRegularExpressionMatch& m : literalCall.globalMatch(source)) FKeys.insert(LiteralText(m.captured(1)));
    for (const QRegularExpressionMatch& m : namedCall.globalMatch(source)) FNamesUsed.insert(m.captured(1));
    for (const QRegularExpressionMatch& m : constant.globalMatch(source))
        FConstants[m.captured(1)] << LiteralText(m.captured(2));
    for (const QRegularExpressionMatch& block : textsNamespace.globalMatch(source))
        for (const QRegularExpressionMatch& m : constant.globalMatch(block.captured(1)))
            FKeys.insert(LiteralText(m.captured(2)));
}

void TranslatedLiterals::AddFolder(const QString& folder) {
    QDirIterator files(folder, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly)) AddSource(QString::fromUtf8(file.readAll()));
    }
}

QSet<QString> TranslatedLiterals::Keys() const {
    QSet<QString> keys = FKeys;
    for (const QString& name : FNamesUsed)
        for (const QString& text : FConstants.value(name)) keys.insert(text);
    return keys;
}

}  // namespace corvala::testing_support
