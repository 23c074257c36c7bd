#include "input_file.h"

#include <cerrno>

#include "frame.h"

namespace orvanta {

FrameRead read_frame(const std::string& path, std::uint8_t* buffer)
{
    FrameRead result;
    InputFile input = open_input_file(path);
    result.status = input.status;
    result.error = input.error;
    if (input.status != FileStatus::Ready)
        return result;
    errno = 0;
    result.payload = std::fread(buffer + 2, 1, MAX_READ, input.file.get());
    if (std::ferror(input.file.get())) {
        result.status = FileStatus::ReadFailed;
        result.error = errno_error(errno ? errno : EIO);
    } else if (result.payload > MAX_PAYLOAD) {
        result.status = FileStatus::TooLarge;
        result.file_size = file_size(input.file.get(), result.payload);
    } else {
        put_count(buffer, result.payload);
        result.file = std::move(input.file);
    }
    return result;
}

FileContents read_file(const std::string& path, std::size_t limit)
{
    FileContents result;
    InputFile input = open_input_file(path);
    result.status = input.status;
    result.error = input.error;
    if (input.status != FileStatus::Ready)
        return result;
    result.bytes.resize(limit + 1);
    errno = 0;
    const std::size_t got = std::fread(result.bytes.data(), 1, limit + 1, input.file.get());
    result.bytes.resize(got);
    if (std::ferror(input.file.get())) {
        result.status = FileStatus::ReadFailed;
        result.error = errno_error(errno ? errno : EIO);
        result.bytes.clear();
    } else if (got > limit) {
        result.status = FileStatus::TooLarge;
        result.file_size = file_size(input.file.get(), got);
        result.bytes.clear();
    }
    return result;
}

}  // namespace orvanta
