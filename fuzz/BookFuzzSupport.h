#pragma once
// What the contacts-book targets share: prompts that give the password the
// file holds (so that the fuzzer gets past the lock) and count what was
// shown, and the book file written into the scratch folder.

#include "FuzzSupport.h"
#include "features/AddressBook.h"
#include "settings/DtScramble.h"

#include <QFile>

namespace corvala::fuzz {

class BookPrompts final : public IBookPrompts {
public:
    std::optional<QString> AskNewBookPassword(const QString&) override { return QStringLiteral("fuzz book pw"); }
    std::optional<QString> AskBookPassword() override { return Answer; }
    void ShowWarning(const QString&) override { ++Warnings; }
    void ShowError(const QString& text) override { Errors.append(text); }
    bool Confirm(const QString&) override { return true; }

    std::optional<QString> Answer;
    int Warnings = 0;
    QStringList Errors;
};

// The input is the plaintext record (the fuzzer would hardly get past the
// scrambling otherwise), written sealed as the file is.
inline QString WriteSealed(const char* folder, const char* name, const QByteArray& plain) {
    static const std::filesystem::path scratch = ScratchFolder(folder);
    const QString path = QString::fromStdString((scratch / name).string());
    QFile file(path);
    const QByteArray sealed = dtSeal(plain);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(sealed) != sealed.size())
        Fail("cannot write the scratch file");
    return path;
}

// The password the record holds, when it gets that far.
inline std::optional<QString> StoredPassword(const QByteArray& plain) {
    try {
        return ReadBookRecord(plain).Password;
    } catch (const DtReadError&) {
        return std::nullopt;
    }
}

// Every other input is asked with the password the record holds, the rest
// with a wrong one, so that both ways through the lock are taken.
inline QString PasswordAnswer(const QByteArray& plain) {
    const std::optional<QString> stored = StoredPassword(plain);
    return stored && plain.size() % 2 == 0 ? *stored : QStringLiteral("\u0001wrong");
}

}  // namespace corvala::fuzz
