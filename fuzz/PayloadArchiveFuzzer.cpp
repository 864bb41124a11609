// The payload ZIP reader: an archive of any shape extracted into a folder.
//
// Property: nothing lands outside the folder, whatever the entries are
// called.
#include "FuzzSupport.h"
#include "app/PayloadArchive.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct Scratch {
    Scratch() : Root(corvala::fuzz::ScratchFolder("archive")) { fs::create_directories(Into()); }
    fs::path Root;
    // The archive sits beside the folder it is extracted into, inside a
    // folder that must stay as it was.
    fs::path Archive() const { return Root / "payload.zip"; }
    fs::path Around() const { return Root / "around"; }
    fs::path Into() const { return Around() / "into"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    {
        std::ofstream out(scratch.Archive(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    corvala::ExtractArchive(scratch.Archive(), scratch.Into());
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.Around()))
        if (entry.path() != scratch.Into()) corvala::fuzz::Fail("an entry was extracted outside the folder");
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.Root))
        if (entry.path() != scratch.Around() && entry.path() != scratch.Archive())
            corvala::fuzz::Fail("an entry was extracted outside the folder");
    std::error_code ec;
    fs::remove_all(scratch.Into(), ec);
    fs::create_directories(scratch.Into(), ec);
    return 0;
}
