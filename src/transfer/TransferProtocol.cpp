#include "transfer/TransferProtocol.h"

#include <QRegularExpression>

namespace corvala::transfer {

namespace {

void Say(QString* why, const QString& text) {
    if (why) *why = text;
}

bool IsUpperHexDigest(const QString& text) {
    if (text.size() != 32) return false;
    for (const QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) return false;
    return true;
}

// A plain decimal number: digits only, no sign, no separators, 64 bits.
std::optional<std::int64_t> ParseSize(const QString& text) {
    if (text.isEmpty() || text.size() > 19) return std::nullopt;
    for (const QChar c : text)
        if (c < u'0' || c > u'9') return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < 0) return std::nullopt;
    return value;
}

}  // namespace

QString MakeFileHeader(std::int64_t size, const QString& digest, const QStringList& path) {
    return QLatin1StringView(words::File) + QString::number(size) + u':' + digest + u';' + ToWirePath(path);
}

std::optional<FileHeader> ParseFileHeader(const QString& text, QString* why) {
    const QLatin1StringView keyword(words::File);
    if (!text.startsWith(keyword)) {
        Say(why, "not a FILE header");
        return std::nullopt;
    }
    const qsizetype colon = text.indexOf(u':', keyword.size());
    const qsizetype semicolon = colon < 0 ? -1 : text.indexOf(u';', colon + 1);
    if (colon < 0 || semicolon < 0) {
        Say(why, "the header lacks \":\" or \";\"");
        return std::nullopt;
    }
    FileHeader header;
    const auto size = ParseSize(text.mid(keyword.size(), colon - keyword.size()));
    if (!size) {
        Say(why, "the size is not a decimal number of at most 64 bits");
        return std::nullopt;
    }
    header.Size = *size;
    header.Digest = text.mid(colon + 1, semicolon - colon - 1);
    if (!IsUpperHexDigest(header.Digest)) {
        Say(why, "the digest is not 32 upper-case hexadecimal digits");
        return std::nullopt;
    }
    auto path = ParseRelativePath(text.mid(semicolon + 1), why);
    if (!path) return std::nullopt;
    header.Path = std::move(*path);
    return header;
}

bool IsPortableName(const QString& name, QString* why) {
    if (name.isEmpty() || name == u"." || name == u"..") {
        Say(why, "an empty, \".\" or \"..\" name");
        return false;
    }
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == u':' || c == u'\\' || c == u'/') {
            Say(why, "a name with a control character, \":\" or a separator");
            return false;
        }
    }
    if (name.toUtf8().size() > MaxNameBytes) {
        Say(why, "a name longer than 255 bytes");
        return false;
    }
    return true;
}

std::optional<QStringList> ParseRelativePath(const QString& wirePath, QString* why) {
    if (wirePath.toUtf8().size() > MaxPathBytes) {
        Say(why, "a path longer than 4095 bytes");
        return std::nullopt;
    }
    // An absolute path, a UNC name or a doubled separator each leave an
    // empty name; a drive letter leaves a name with ":".
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    const QStringList names = wirePath.split(separators);
    for (const QString& name : names)
        if (!IsPortableName(name, why)) return std::nullopt;
    return names;
}

QString ToWirePath(const QStringList& names) { return names.join(u'\\'); }

std::optional<QStringList> RelativeNames(const QString& fullPath, const QString& baseFolder) {
    if (!baseFolder.endsWith(u'/') || !fullPath.startsWith(baseFolder) || fullPath.size() == baseFolder.size())
        return std::nullopt;
    const QStringList names = fullPath.mid(baseFolder.size()).split(u'/');
    for (const QString& name : names)
        if (!IsPortableName(name)) return std::nullopt;
    return names;
}

}  // namespace corvala::transfer
