#pragma once
#include <string>

namespace orvanta {

// Windows names ignore letter case: the name with a to z made A to Z, for comparing.
std::string ascii_upper(std::string text);

// "\\.\COM3" or "//./COM3": a name in Win32's device namespace, which names a device and never
// a file.
bool in_device_namespace(const std::string& name);

// The name Win32's CreateFileA must be given for a port name as the user typed it.
// COM10 and above exist only in the device namespace, so "COMn" with n >= 10 (any letter
// case, no prefix) becomes "\\.\COMn"; every other name is passed unchanged.
std::string win32_device_path(const std::string& name);

}  // namespace orvanta
