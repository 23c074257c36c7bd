#pragma once
// The file a receive writes its payload to, made whole or not at all: the bytes go to a new
// temporary file beside it, which takes the name only once all of them are written. Until then,
// and on every way out that does not get that far, the file of that name stays as it was.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orvanta {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Checks that path can take the payload and makes the temporary file; "" when it can, else
    // what is wrong. path must not be a folder, device or pipe, nor the same file as any of
    // keep (the reference file, the port), nor the virtual line's link, nor a file with other
    // hard links (the new file would take this name only, parting it from them). The new file
    // gets the mode and owner of the one it replaces.
    std::string prepare(const std::string& path, const std::vector<std::string>& keep,
                        const std::string& link);

    // Writes bytes and puts the file in place; "" when done, else what went wrong.
    std::string commit(const std::vector<std::uint8_t>& bytes);

private:
    std::string target_;     // the file that gets the payload (a link's target, not the link)
    std::string temporary_;  // where the bytes go first; "" once renamed or removed
    std::FILE* file_ = nullptr;
};

// Creates path as a new, empty file for writing; never opens or follows anything already there.
// When like names a file, the new one is to replace it and takes its mode and, where the user
// may give it, its owner and group (on Windows the folder's permissions, as like had them).
// Null when it cannot, with the reason in errno. new_file_posix.cpp and new_file_win32.cpp.
std::FILE* create_new_file(const std::string& path, const std::string& like = {});

}  // namespace orvanta
