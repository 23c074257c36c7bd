#pragma once
#include <string>

namespace orvanta {

// The name Win32's CreateFileA must be given for a port name as the user typed it.
// COM10 and above exist only in the device namespace, so "COMn" with n >= 10 (any letter
// case, no prefix) becomes "\\.\COMn"; every other name is passed unchanged.
std::string win32_device_path(const std::string& name);

}  // namespace orvanta
