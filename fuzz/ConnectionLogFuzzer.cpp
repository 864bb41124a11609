// The connection history "log.txt".
//
// Properties: what is read are lines within the bounds, and writing them
// back and reading the result gives the same lines.
#include "FuzzSupport.h"
#include "features/ConnectionLog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = ConnectionLog::ParseLines(bytes, QStringLiteral("fuzz"));
    if (lines.size() > ConnectionLog::MaxLines) fuzz::Fail("more lines than the bound");
    for (const QString& line : lines) {
        if (line.size() > ConnectionLog::MaxLineLength) fuzz::Fail("a line longer than the bound");
        if (line.contains(u'\n')) fuzz::Fail("a line holds a line feed");
    }
    if (ConnectionLog::ParseLines(ConnectionLog::FileBytes(lines), QStringLiteral("fuzz")) != lines)
        fuzz::Fail("the lines written back read differently");
    return 0;
}
