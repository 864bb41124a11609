// The web site's version answer and "What's new" text.
//
// Properties: a parsed answer carries two numbers within a version's range
// and the offered text is the current number with its point; the change list
// stays within its bounds and holds no empty line and no line end.
#include "FuzzSupport.h"
#include "update/VersionAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala::update;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<VersionAnswer> answer = ParseVersionAnswer(bytes)) {
        if (answer->Current < 0 || answer->Minimum < 0 || answer->Current > 999999 || answer->Minimum > 999999)
            corvala::fuzz::Fail("a version number out of range");
        if (QString(answer->OfferedVersionText).remove(u'.') != QString::number(answer->Current).rightJustified(2, u'0'))
            corvala::fuzz::Fail("the offered text is not the current number");
    }
    const QStringList lines = ParseWhatsNew(bytes);
    if (lines.size() > MaxWhatsNewLines) corvala::fuzz::Fail("too many lines");
    for (const QString& line : lines) {
        if (line.isEmpty()) corvala::fuzz::Fail("an empty line");
        if (line.size() > MaxWhatsNewLineLength) corvala::fuzz::Fail("a line beyond its bound");
        if (line.contains(u'\n')) corvala::fuzz::Fail("a line holds a line end");
    }
    return 0;
}
