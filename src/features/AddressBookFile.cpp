#include "features/AddressBookFile.h"

#include "settings/DtScramble.h"

namespace corvala {

namespace {

// The smallest a group (name and contact count) and a contact (its strings)
// can be on disk: a count that needs more bytes than are left is a garbled
// count, refused before anything is reserved for it.
constexpr qsizetype MinGroupBytes = 2 * 4;
qsizetype MinContactBytes(std::int32_t version) { return (version >= 2 ? 7 : 6) * 4; }

std::int32_t ReadCount(DtReader& in, qsizetype minBytesEach, const char* what) {
    const std::int32_t count = in.readInt32();
    if (count < 0 || qsizetype(count) > in.remaining() / minBytesEach)
        throw DtReadError(std::string("impossible ") + what + " count " + std::to_string(count));
    return count;
}

}  // namespace

QByteArray WriteBookRecord(const BookContents& book) {
    DtWriter out;
    out.writeInt32(BookFormatVersion);
    out.writeString(book.Password);
    out.writeInt32(std::int32_t(book.Groups.size()));
    for (const BookGroup& group : book.Groups) {
        out.writeString(group.Item.Name);
        out.writeInt32(std::int32_t(group.Contacts.size()));
        for (const TAddressBookItem& c : group.Contacts) {
            for (const QString* field : {&c.Name, &c.ID, &c.Password, &c.Email, &c.TelNum, &c.Messenger, &c.Info})
                out.writeString(*field);
        }
    }
    return out.data();
}

BookContents ReadBookRecord(const QByteArray& plain) {
    DtReader in(plain);
    BookContents book;
    const std::int32_t version = in.readInt32();
    if (version >= 2) book.Password = in.readString();
    const std::int32_t groups = ReadCount(in, MinGroupBytes, "group");
    book.Groups.reserve(groups);
    for (std::int32_t g = 0; g < groups; ++g) {
        BookGroup group;
        group.Item.Name = in.readString();
        const std::int32_t contacts = ReadCount(in, MinContactBytes(version), "contact");
        group.Contacts.reserve(contacts);
        for (std::int32_t i = 0; i < contacts; ++i) {
            TAddressBookItem c;
            c.Name = in.readString();
            c.ID = in.readString();
            if (version >= 2) c.Password = in.readString();
            c.Email = in.readString();
            c.TelNum = in.readString();
            c.Messenger = in.readString();
            c.Info = in.readString();
            group.Contacts.append(std::move(c));
        }
        book.Groups.append(std::move(group));
    }
    return book;
}

QByteArray SealBook(const BookContents& book) { return dtSeal(WriteBookRecord(book)); }

BookContents UnsealBook(const QByteArray& fileBytes) { return ReadBookRecord(dtUnseal(fileBytes)); }

}  // namespace corvala
