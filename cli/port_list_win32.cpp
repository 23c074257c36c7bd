// The serial ports of a Windows machine: the COM names that drivers enter in the registry's
// SERIALCOMM map, each under its device object's name. Windows keeps no record of who holds a
// port either, so a port is busy when our own exclusive open of it is refused.
#include "port_list.h"

#include <windows.h>

#include "port_name.h"

namespace orvanta {

namespace {

class RegistryKey {
public:
    RegistryKey(HKEY parent, const char* path)
    {
        if (RegOpenKeyExA(parent, path, 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegistryKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool held_elsewhere(const std::string& name)
{
    HANDLE h = CreateFileA(win32_device_path(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(h);
    return false;
}

}  // namespace

std::vector<PortInfo> list_ports(bool find_busy)
{
    std::vector<PortInfo> ports;
    RegistryKey map(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!map.get())
        return ports;  // no driver has entered a port: the machine has none
    for (DWORD index = 0;; ++index) {
        char device[256];
        char com_name[256];
        DWORD device_size = sizeof device;
        DWORD com_size = sizeof com_name - 1;
        DWORD type = 0;
        LONG status = RegEnumValueA(map.get(), index, device, &device_size, nullptr, &type,
                                    reinterpret_cast<BYTE*>(com_name), &com_size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        com_name[com_size] = '\0';
        PortInfo port;
        port.name = com_name;  // to the first NUL: the stored size may or may not count one
        port.driver = device;
        port.busy = find_busy && held_elsewhere(port.name);
        ports.push_back(port);
    }
    sort_by_name(ports);
    return ports;
}

}  // namespace orvanta
