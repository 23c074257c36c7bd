#include "input_file.h"

#include <cerrno>

#include "frame.h"

namespace orvanta {

namespace {

// What one fread of up to capacity bytes gave, held against the limit a frame has.
struct BoundedRead {
    FileStatus status = FileStatus::Ready;
    std::size_t count = 0;
    unsigned long long file_size = 0;  // with TooLarge
    SystemError error;                 // with ReadFailed
};

BoundedRead read_bounded(std::FILE* f, std::uint8_t* into, std::size_t capacity, std::size_t limit)
{
    BoundedRead result;
    errno = 0;
    result.count = std::fread(into, 1, capacity, f);
    if (std::ferror(f)) {
        result.status = FileStatus::ReadFailed;
        result.error = errno_error(errno ? errno : EIO);
    } else if (result.count > limit) {
        result.status = FileStatus::TooLarge;
        result.file_size = file_size(f, result.count);
    }
    return result;
}

}  // namespace

FrameRead read_frame(const std::string& path, std::uint8_t* buffer)
{
    FrameRead result;
    InputFile input = open_input_file(path);
    if (input.status != FileStatus::Ready) {
        result.status = input.status;
        result.error = input.error;
        return result;
    }
    BoundedRead read = read_bounded(input.file.get(), buffer + 2, MAX_READ, MAX_PAYLOAD);
    result.status = read.status;
    result.payload = read.count;
    result.file_size = read.file_size;
    result.error = read.error;
    if (read.status == FileStatus::Ready) {
        put_count(buffer, read.count);
        result.file = std::move(input.file);
    }
    return result;
}

FileContents read_file(const std::string& path, std::size_t limit)
{
    FileContents result;
    InputFile input = open_input_file(path);
    if (input.status != FileStatus::Ready) {
        result.status = input.status;
        result.error = input.error;
        return result;
    }
    result.bytes.resize(limit + 1);
    BoundedRead read = read_bounded(input.file.get(), result.bytes.data(), limit + 1, limit);
    result.status = read.status;
    result.file_size = read.file_size;
    result.error = read.error;
    result.bytes.resize(read.status == FileStatus::Ready ? read.count : 0);
    return result;
}

}  // namespace orvanta
