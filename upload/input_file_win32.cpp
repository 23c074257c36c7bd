#include "input_file.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <io.h>
#include <sys/stat.h>

#include "port_name.h"

namespace orvanta {

namespace {

// Windows opens a device for these names in any folder and with any extension ("C:\x\nul.txt" is
// NUL), and for anything in the device namespace (\\.\COM2, \\.\pipe\x).
bool is_device_name(const std::string& path)
{
    if (in_device_namespace(path))
        return true;
    std::string name = path.substr(path.find_last_of("\\/:") + 1);  // npos + 1 == 0
    name = ascii_upper(name.substr(0, name.find('.')));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    static const char* const devices[] = {"CON",    "PRN",     "AUX",   "NUL",
                                          "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : devices)
        if (name == device)
            return true;
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
           std::isdigit(static_cast<unsigned char>(name[3]));
}

}  // namespace

InputFile open_input_file(const std::string& path)
{
    InputFile result;
    if (path.empty())
        return result;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (is_device_name(path) ||
        (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        result.status = FileStatus::NotAFile;
        return result;
    }
    errno = 0;
    result.file.reset(std::fopen(path.c_str(), "rb"));
    if (!result.file) {
        result.status = FileStatus::OpenFailed;
        result.error = errno_error(errno ? errno : ENOENT);
        return result;
    }
    // Whatever the name, what opened must be a file on a disk.
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(result.file.get())));
    if (GetFileType(h) != FILE_TYPE_DISK) {
        result.file.reset();
        result.status = FileStatus::NotAFile;
        return result;
    }
    result.status = FileStatus::Ready;
    return result;
}

unsigned long long file_size(std::FILE* f, unsigned long long fallback)
{
    struct _stati64 info;
    if (_fstati64(_fileno(f), &info) == 0)
        return static_cast<unsigned long long>(info.st_size);
    return fallback;
}

}  // namespace orvanta
