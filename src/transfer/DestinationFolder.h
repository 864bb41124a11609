#pragma once
// Places received files and folders below the destination root without ever
// leaving it: every folder on the way is opened relative to the one before
// and a symbolic link is refused wherever it stands, so that neither a name
// from the peer nor a link inside the destination can lead elsewhere. The
// file itself is made new: an existing file of that name (or a link, or a
// second name of another file) is removed first, never written through.
//
// Names must already be checked (transfer::ParseRelativePath). Blocking file
// system calls: the transfer runs these on its worker thread.

#include <QStringList>

#include <string>
#include <utility>

namespace corvala::transfer {

// A descriptor that closes itself.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : FFd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            FFd = std::exchange(other.FFd, -1);
        }
        return *this;
    }
    int Get() const { return FFd; }
    explicit operator bool() const { return FFd >= 0; }
    void Reset();
    // Hands the descriptor over; the object no longer closes it.
    int Release() { return std::exchange(FFd, -1); }

private:
    int FFd = -1;
};

// A file made for writing below the root, with the folder that holds it, so
// that a partial file can be removed by its own folder and name.
struct CreatedFile {
    UniqueFd File;
    UniqueFd Folder;
    std::string Name;
    // Removes the file from its folder; true when it is gone.
    bool Remove() const;
};

class DestinationFolder {
public:
    // `root`: the chosen destination, made with its parents when missing.
    explicit DestinationFolder(std::string root) : FRoot(std::move(root)) {}

    // The folders of `names` below the root, made where missing.
    bool CreateFolders(const QStringList& names, std::string* error) const;
    // The file named by the last of `names`, its folders made where missing;
    // empty (File not set) on failure.
    CreatedFile CreateFile(const QStringList& names, std::string* error) const;

private:
    // The folder named by `names` (the root for none), opened without
    // following links and made where missing.
    UniqueFd OpenFolder(const QStringList& names, std::string* error) const;

    std::string FRoot;
};

}  // namespace corvala::transfer
