#pragma once
// Reading the file the user names: the file to send, or the file a received payload is compared
// with. Only a regular file is read. A folder, device, pipe or socket is refused before anything is
// read from it (a pipe with no writer would hold the open for ever, a device may never end), and on
// Windows so is a name that Windows takes as a device (NUL, CON, COM1, ...) wherever it stands.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "system_error.h"

namespace orvanta {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum class FileStatus {
    Ready,
    NoFile,      // the empty path: no file was chosen
    NotAFile,    // a folder, device, pipe or socket
    OpenFailed,  // with the system's reason
    ReadFailed,  // with the system's reason
    TooLarge,    // with the file's size
};

struct InputFile {
    FileStatus status = FileStatus::NoFile;
    File file;          // with Ready: open for reading, in binary mode
    SystemError error;  // with OpenFailed
};

// Opens path for reading after the checks above. input_file_posix.cpp and input_file_win32.cpp
// implement it with their platform's calls.
InputFile open_input_file(const std::string& path);

// The size of an open regular file, or fallback when the system cannot tell.
unsigned long long file_size(std::FILE* f, unsigned long long fallback);

// The frame of a file read into a transfer buffer (the dialog's send): one fread of up to
// MAX_READ bytes behind the two count bytes, then the count. A file longer than MAX_PAYLOAD is
// TooLarge and gives no frame.
struct FrameRead {
    FileStatus status = FileStatus::NoFile;
    std::size_t payload = 0;           // N: the bytes read behind the count
    unsigned long long file_size = 0;  // with TooLarge: the whole file's size
    SystemError error;                 // with OpenFailed and ReadFailed
    File file;                         // with Ready: kept open until the frame is written
};
FrameRead read_frame(const std::string& path, std::uint8_t* buffer);

// A whole file of at most limit bytes, read with that bound (a file that grows while it is read
// is cut off at limit + 1 bytes and refused as TooLarge).
struct FileContents {
    FileStatus status = FileStatus::NoFile;
    std::vector<std::uint8_t> bytes;   // with Ready
    unsigned long long file_size = 0;  // with TooLarge
    SystemError error;                 // with OpenFailed and ReadFailed
};
FileContents read_file(const std::string& path, std::size_t limit);

}  // namespace orvanta
