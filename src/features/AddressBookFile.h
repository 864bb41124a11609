#pragma once
// The contacts book as "adbook.dt" and the ".crc" export files hold it: the
// plaintext record under the ".dt" scrambling. Version 2 is written; a lower
// version is read as the older layout, which has no book password and no
// contact passwords.
//
// A book file is a file the user picked or a file another program may have
// replaced, so the reader trusts nothing in it: every count is checked
// against the bytes that are left before anything is reserved for it.

#include "settings/DtRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace corvala {

// One node of the book: a group uses only Name, a contact all seven fields.
struct TAddressBookItem {
    QString Name;
    QString ID;
    QString Password;
    QString Email;
    QString TelNum;  // shown as "Phone:"
    QString Messenger;
    QString Info;
    friend bool operator==(const TAddressBookItem&, const TAddressBookItem&) = default;
};

struct BookGroup {
    TAddressBookItem Item;
    QList<TAddressBookItem> Contacts;
    friend bool operator==(const BookGroup&, const BookGroup&) = default;
};

struct BookContents {
    QString Password;  // empty: the book is not protected
    QList<BookGroup> Groups;
    friend bool operator==(const BookContents&, const BookContents&) = default;
};

inline constexpr std::int32_t BookFormatVersion = 2;
// Larger files are refused unread: a book of thousands of contacts stays far
// below this.
inline constexpr qint64 MaxBookFileBytes = 16 * 1024 * 1024;

// The plaintext record, version 2.
QByteArray WriteBookRecord(const BookContents& book);
// The reverse; throws DtReadError when the record ends early or holds an
// impossible count.
BookContents ReadBookRecord(const QByteArray& plain);

// The file's bytes (scrambled) and back; the reader throws DtReadError.
QByteArray SealBook(const BookContents& book);
BookContents UnsealBook(const QByteArray& fileBytes);

}  // namespace corvala
