// "adbook.dt" as the book window loads it before every showing.
//
// Properties: a book that loaded is saved and loads again unchanged; a book
// that did not load told the user exactly once (the load notice, or the
// refused password) and left the file as it was.
#include "BookFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    const QByteArray plain(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = fuzz::WriteSealed("adbook", "adbook.dt", plain);
    fuzz::BookPrompts prompts;
    prompts.Answer = fuzz::PasswordAnswer(plain);
    TBookState state;
    TAddressBook book(path, state, prompts, QStringLiteral("fuzz@example.org"));
    if (!book.Load()) {
        if (prompts.Errors.size() + prompts.Warnings != 1)
            fuzz::Fail("a refused book was not reported exactly once");
        for (const QString& e : prompts.Errors)
            if (!e.startsWith(QStringLiteral("Error 7704."))) fuzz::Fail("a load error without its number");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != dtSeal(plain)) fuzz::Fail("a refused load changed the file");
        return 0;
    }
    const QList<BookGroup> groups = book.Groups();
    const QString password = book.AddressBookPassword();
    if (!book.Save()) fuzz::Fail("a loaded book cannot be saved");
    TAddressBook again(path, state, prompts, QStringLiteral("fuzz@example.org"));
    prompts.Answer = password;
    if (!again.Load()) fuzz::Fail("a saved book does not load");
    if (again.Groups() != groups || again.AddressBookPassword() != password)
        fuzz::Fail("a book changes when saved and loaded again");
    return 0;
}
