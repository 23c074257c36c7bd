#include "system_error.h"

#include <windows.h>

#include <cstring>

namespace orvanta {

namespace {

std::string trimmed(std::string text)
{
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

}  // namespace

SystemError errno_error(int code) { return {code, std::strerror(code)}; }

SystemError last_system_error()
{
    DWORD code = GetLastError();
    char buffer[512] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
    std::string text =
        length ? trimmed(std::string(buffer, length)) : "system error " + std::to_string(code);
    return {static_cast<long>(code), text};
}

bool means_absent(const SystemError& error)
{
    return error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND ||
           error.code == ERROR_DEV_NOT_EXIST;
}

bool means_not_permitted(const SystemError&) { return false; }

}  // namespace orvanta
