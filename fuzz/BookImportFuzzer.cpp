// A ".crc" file the user picked, imported into a book that holds one group.
//
// Properties: an import that succeeded appended the file's groups after the
// book's own, unchanged, and kept the book's password; one that failed
// left the book as it was and told the user once.
#include "BookFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    const QByteArray plain(reinterpret_cast<const char*>(data), qsizetype(size));
    BookContents own;
    own.Groups = {{{QStringLiteral("Own"), {}, {}, {}, {}, {}, {}}, {{QStringLiteral("A"), QStringLiteral("1"), {}, {}, {}, {}, {}}}}};
    const QString bookPath = fuzz::WriteSealed("crc", "adbook.dt", WriteBookRecord(own));
    const QString importPath = fuzz::WriteSealed("crc", "picked.crc", plain);
    fuzz::BookPrompts prompts;
    prompts.Answer = fuzz::PasswordAnswer(plain);
    TBookState state;
    TAddressBook book(bookPath, state, prompts, QStringLiteral("fuzz@example.org"));
    if (!book.Load()) fuzz::Fail("the own book does not load");
    if (!book.Import(importPath)) {
        if (book.Groups() != own.Groups) fuzz::Fail("a failed import changed the book");
        if (prompts.Errors.size() > 1 || prompts.Warnings > 1) fuzz::Fail("a failed import was reported more than once");
        for (const QString& e : prompts.Errors)
            if (!e.startsWith(QStringLiteral("Error 7794."))) fuzz::Fail("an import error without its number");
        return 0;
    }
    const BookContents imported = ReadBookRecord(plain);
    if (book.Groups() != own.Groups + imported.Groups) fuzz::Fail("the imported groups are not the file's, appended");
    if (!book.AddressBookPassword().isEmpty()) fuzz::Fail("the imported book's password was taken over");
    return 0;
}
