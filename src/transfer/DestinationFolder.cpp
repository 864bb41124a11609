#include "transfer/DestinationFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace corvala::transfer {

namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

void Say(std::string* error, const std::string& what, int code) {
    if (error) *error = what + ": " + std::strerror(code);
}

}  // namespace

void UniqueFd::Reset() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
}

bool CreatedFile::Remove() const { return Folder && !Name.empty() && ::unlinkat(Folder.Get(), Name.c_str(), 0) == 0; }

UniqueFd DestinationFolder::OpenFolder(const QStringList& names, std::string* error) const {
    std::error_code ignored;
    std::filesystem::create_directories(FRoot, ignored);
    // The root itself is the user's choice and may be reached through a link.
    UniqueFd folder(::open(FRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        Say(error, "cannot open the destination " + FRoot, errno);
        return {};
    }
    for (const QString& name : names) {
        const std::string part = name.toStdString();
        if (::mkdirat(folder.Get(), part.c_str(), 0777) != 0 && errno != EEXIST) {
            Say(error, "cannot make the folder " + part, errno);
            return {};
        }
        UniqueFd next(::openat(folder.Get(), part.c_str(), FolderFlags));
        if (!next) {
            // ELOOP or ENOTDIR: a link or a file stands where a folder should.
            Say(error, "cannot enter the folder " + part, errno);
            return {};
        }
        folder = std::move(next);
    }
    return folder;
}

bool DestinationFolder::CreateFolders(const QStringList& names, std::string* error) const {
    return bool(OpenFolder(names, error));
}

CreatedFile DestinationFolder::CreateFile(const QStringList& names, std::string* error) const {
    CreatedFile created;
    if (names.isEmpty()) {
        if (error) *error = "no file name";
        return created;
    }
    created.Folder = OpenFolder(names.mid(0, names.size() - 1), error);
    if (!created.Folder) return created;
    created.Name = names.last().toStdString();
    // Whatever has the name now goes: writing through a link or through a
    // second name of another file would change something outside.
    if (::unlinkat(created.Folder.Get(), created.Name.c_str(), 0) != 0 && errno != ENOENT) {
        Say(error, "cannot replace " + created.Name, errno);
        created.Name.clear();
        return created;
    }
    created.File = UniqueFd(::openat(created.Folder.Get(), created.Name.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!created.File) {
        Say(error, "cannot create " + created.Name, errno);
        created.Name.clear();  // nothing of ours to remove
    }
    return created;
}

}  // namespace corvala::transfer
