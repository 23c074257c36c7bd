#include "frame.h"

#include <cerrno>
#include <new>
#include <sys/stat.h>

namespace orvanta {

namespace {

unsigned long long file_size(std::FILE* f, unsigned long long fallback)
{
#ifdef _WIN32
    struct _stati64 info;
    if (_fstati64(_fileno(f), &info) == 0)
        return static_cast<unsigned long long>(info.st_size);
#else
    struct stat info;
    if (fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode))
        return static_cast<unsigned long long>(info.st_size);
#endif
    return fallback;
}

}  // namespace

TransferBuffer allocate_transfer_buffer()
{
    return TransferBuffer(new (std::nothrow) std::uint8_t[MAX_UPLOAD_BUFFER]);
}

void put_count(std::uint8_t* frame, std::size_t n)
{
    frame[0] = static_cast<std::uint8_t>((n >> 8) & 0xFF);
    frame[1] = static_cast<std::uint8_t>(n & 0xFF);
}

FrameRead read_frame(const std::string& path, std::uint8_t* buffer)
{
    FrameRead result;
    if (path.empty())
        return result;
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        result.status = FrameRead::Status::NotAFile;
        return result;
    }
    errno = 0;
    result.file.reset(std::fopen(path.c_str(), "rb"));
    if (!result.file) {
        result.status = FrameRead::Status::OpenFailed;
        result.error = errno_error(errno ? errno : ENOENT);
        return result;
    }
    errno = 0;
    result.payload = std::fread(buffer + 2, 1, MAX_READ, result.file.get());
    if (std::ferror(result.file.get())) {
        result.status = FrameRead::Status::ReadFailed;
        result.error = errno_error(errno ? errno : EIO);
    } else if (result.payload > MAX_PAYLOAD) {
        result.status = FrameRead::Status::TooLarge;
        result.file_size = file_size(result.file.get(), result.payload);
    } else {
        result.status = FrameRead::Status::Ready;
        put_count(buffer, result.payload);
        return result;
    }
    result.file.reset();
    return result;
}

}  // namespace orvanta
