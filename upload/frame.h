#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "system_error.h"

namespace orvanta {

// The transfer buffer: the two count bytes and the payload read behind them.
constexpr std::size_t MAX_UPLOAD_BUFFER = 0x100000;
// What one read of the file may take: the buffer less the two count bytes.
constexpr std::size_t MAX_READ = MAX_UPLOAD_BUFFER - 2;
// What the 16-bit count can describe; a longer file is refused.
constexpr std::size_t MAX_PAYLOAD = 0xFFFF;

using TransferBuffer = std::unique_ptr<std::uint8_t[]>;

// Allocates a transfer buffer, left uncleared; null when memory is short.
TransferBuffer allocate_transfer_buffer();

// Stores the payload size n big-endian in the first two bytes of a frame.
void put_count(std::uint8_t* frame, std::size_t n);

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct FrameRead {
    enum class Status { Ready, NoFile, NotAFile, OpenFailed, ReadFailed, TooLarge } status = Status::NoFile;
    std::size_t payload = 0;            // N: the bytes read behind the count
    unsigned long long file_size = 0;   // with TooLarge: the whole file's size
    SystemError error;                  // with OpenFailed and ReadFailed
    File file;                          // with Ready: kept open until the frame is written
};

// Opens path ("rb") and reads it with one fread into buffer + 2, then stores the count.
// The empty path (no file chosen) gives NoFile; a file longer than MAX_PAYLOAD, TooLarge; a folder,
// device, pipe or socket, NotAFile (opening a pipe with no writer would wait for ever).
FrameRead read_frame(const std::string& path, std::uint8_t* buffer);

}  // namespace orvanta
