// "set.dt" and the ".dt" scrambling. The input is the plaintext record (the
// fuzzer would hardly get past the scrambling otherwise): sealed, written as
// the file and read by the real settings reader; the raw input also goes
// through the unsealing as a file on disk would.
//
// Properties: unsealing undoes sealing; a record that was accepted is written
// back so that it reads the same again (that is what every start does); a
// comma list read from text is written back as the same list.
#include "FuzzSupport.h"
#include "settings/DtRecord.h"
#include "settings/DtScramble.h"
#include "settings/Settings.h"

#include <QFile>

namespace corvala {
namespace {

const QString Fingerprint = QStringLiteral("5A1C0F3B9E2D");

SettingsEnvironment Environment() {
    static const QString file = QString::fromStdString((fuzz::ScratchFolder("settings") / "set.dt").string());
    return {file, Fingerprint, QSize(1920, 1080), QStringLiteral("en"), QStringLiteral("host")};
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void SettingsRoundTrip(const QByteArray& plain) {
    Settings first(Environment());
    if (!WriteFile(first.environment().FilePath, dtSeal(plain))) fuzz::Fail("cannot write the scratch file");
    if (!first.read()) return;
    const QByteArray record = first.record();
    Settings second(Environment());
    if (!WriteFile(second.environment().FilePath, dtSeal(record))) fuzz::Fail("cannot write the scratch file");
    if (!second.read()) fuzz::Fail("a record written from an accepted one is refused");
    if (second.record() != record) fuzz::Fail("an accepted record changes when written and read again");
}

}  // namespace
}  // namespace corvala

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (dtUnseal(dtSeal(bytes)) != bytes) fuzz::Fail("unsealing does not undo sealing");
    dtUnseal(bytes);

    SettingsRoundTrip(bytes);

    const QStringList items = splitCommaText(QString::fromUtf8(bytes));
    if (splitCommaText(joinCommaText(items)) != items) fuzz::Fail("a comma list reads back as another list");
    return 0;
}
