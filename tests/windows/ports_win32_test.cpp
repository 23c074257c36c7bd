// The port list on Windows: the COM names drivers enter in the registry's SERIALCOMM map.
#include <gtest/gtest.h>

#include <windows.h>

#include "port_list.h"

namespace orvanta {
namespace {

const char* const SERIALCOMM = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// One entry of the map, as a driver makes it; removed again with the object.
class SerialCommEntry {
public:
    SerialCommEntry(const char* device, const char* com_name) : device_(device)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        ok_ = RegSetValueExA(key, device, 0, REG_SZ, reinterpret_cast<const BYTE*>(com_name),
                             static_cast<DWORD>(strlen(com_name) + 1)) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~SerialCommEntry()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, device_);
            RegCloseKey(key);
        }
    }
    SerialCommEntry(const SerialCommEntry&) = delete;
    SerialCommEntry& operator=(const SerialCommEntry&) = delete;
    bool ok() const { return ok_; }

private:
    const char* device_;
    bool ok_ = false;
};

TEST(PortsWin32, TheSerialCommMapInNaturalOrder)
{
    SerialCommEntry ten("\\Device\\OrvantaTest10", "COM10");
    SerialCommEntry three("\\Device\\OrvantaTest3", "COM3");
    ASSERT_TRUE(ten.ok() && three.ok());

    std::vector<std::string> lines;
    for (const PortInfo& port : list_ports())
        if (port.driver.find("OrvantaTest") != std::string::npos)
            lines.push_back(port_line(port));
    const std::vector<std::string> expected = {"COM3  driver \\Device\\OrvantaTest3",
                                               "COM10  driver \\Device\\OrvantaTest10"};
    EXPECT_EQ(lines, expected);

    // The name as a user may type it finds the port.
    for (const char* typed : {"COM3", "com3", "\\\\.\\COM3"}) {
        std::optional<PortInfo> found = find_port(typed);
        ASSERT_TRUE(found.has_value()) << typed;
        EXPECT_EQ(found->name, "COM3");
    }
    EXPECT_FALSE(find_port("COM33").has_value());
}

}  // namespace
}  // namespace orvanta
