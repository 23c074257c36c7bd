#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>

#include "output_file.h"

namespace orvanta {

// The new file takes the folder's inherited permissions, as the file it replaces had them.
std::FILE* create_new_file(const std::string& path, const std::string&)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        DeleteFileA(path.c_str());
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) {
        _close(fd);
        DeleteFileA(path.c_str());
    }
    return f;
}

}  // namespace orvanta
