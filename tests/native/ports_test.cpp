// The port list: the Linux rules on a fake sysfs, /dev and /proc (tests/fixtures/linux-ports),
// a busy port found through the real /proc, and the order ports are listed in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <filesystem>

#include "port_list_linux.h"
#include "serial_port.h"
#include "test_files.h"

namespace orvanta {
namespace {

const std::string FIXTURE = ORVANTA_FIXTURES "/linux-ports";

std::vector<std::string> lines_of(const std::vector<PortInfo>& ports, const std::string& root)
{
    std::vector<std::string> lines;
    for (const PortInfo& port : ports) {
        std::string line = port_line(port);
        for (std::size_t at; (at = line.find(root)) != std::string::npos;)
            line.erase(at, root.size());
        lines.push_back(line);
    }
    return lines;
}

// Left out: ttyUSB1 (no /dev node), ttyS1 (an 8250 placeholder, type 0), tty1 (a console).
// ttyACM1 is open in process 4242; ttyS0 only in "self", which is no process number.
TEST(PortList, LinuxRulesOnAFakeTree)
{
    LinuxRoots roots{FIXTURE + "/sys", FIXTURE + "/dev", FIXTURE + "/proc"};
    const std::vector<std::string> expected = {
        "/dev/ttyACM0  Arduino (www.arduino.cc), USB 2341:0043, serial number "
        "85736323838351F0D1C1, driver cdc_acm, "
        "/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_85736323838351F0D1C1-if00",
        "/dev/ttyACM1 (busy)  USB 1a86:55d4, driver cdc_acm",
        "/dev/ttyAMA0  driver uart-pl011",
        "/dev/ttyS0  driver serial",
        "/dev/ttyUSB0  FTDI FT232R USB UART, USB 0403:6001, serial number A50285BI, driver "
        "ftdi_sio, /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
        // Its maker, product and serial number hold escape sequences, shown escaped.
        "/dev/ttyUSB2  Evil\\x1B]0;owned\\x07 Corp Serial\\x1B[2J\\rAdapter, USB 1a86:7523, "
        "serial number SN\\x1B1, driver ftdi_sio",
    };
    EXPECT_EQ(lines_of(list_linux_ports(roots), FIXTURE), expected);
}

TEST(PortList, MissingRootsListNothing)
{
    test::ScratchDir empty;
    LinuxRoots roots{empty.path("sys"), empty.path("dev"), empty.path("proc")};
    EXPECT_TRUE(list_linux_ports(roots).empty());
}

// The fixture's ttyUSB0, with its /dev node pointing at a real pty: busy exactly while a
// SerialPort of this process holds it.
TEST(PortList, APortHeldOpenIsBusy)
{
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    close(slave);
    test::ScratchDir dev;
    std::filesystem::create_symlink(name, dev.path("ttyUSB0"));
    LinuxRoots roots{FIXTURE + "/sys", dev.path(""), "/proc"};

    auto busy = [&roots]() {
        std::vector<PortInfo> ports = list_linux_ports(roots);
        return ports.size() == 1 && ports[0].busy;
    };
    EXPECT_FALSE(busy());
    {
        SerialPort holder;
        ASSERT_EQ(holder.open(dev.path("ttyUSB0")).status, OpenResult::Status::Opened);
        EXPECT_TRUE(busy());
    }
    EXPECT_FALSE(busy());
    close(master);
}

// Real ports are character devices, which the fixture's plain files are not: the by-id link of
// a node that is a terminal device is found, and a link to another device is not taken for it.
TEST(PortList, ByIdLinkOfACharacterDevice)
{
    int masters[2], slaves[2];
    char names[2][128];
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(openpty(&masters[i], &slaves[i], names[i], nullptr, nullptr), 0);
    test::ScratchDir dev;
    namespace fs = std::filesystem;
    fs::create_symlink(names[0], dev.path("ttyUSB0"));
    fs::create_directories(dev.path("serial/by-id"));
    fs::create_symlink(names[1], dev.path("serial/by-id/usb-Other_Adapter_X1-if00-port0"));
    fs::create_symlink("../../ttyUSB0",
                       dev.path("serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    LinuxRoots roots{FIXTURE + "/sys", dev.path(""), FIXTURE + "/proc"};

    std::vector<PortInfo> ports = list_linux_ports(roots);
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].stable_name,
              dev.path("serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    for (int i = 0; i < 2; ++i) {
        close(masters[i]);
        close(slaves[i]);
    }
}

TEST(PortList, NaturalOrder)
{
    const std::vector<std::string> names = {"COM10",      "COM2",         "/dev/ttyS10",  "COM1",
                                            "/dev/ttyS9", "/dev/ttyS010", "/dev/ttyACM0", "COM02"};
    std::vector<PortInfo> ports;
    for (const std::string& name : names)
        ports.push_back(PortInfo{name, {}, {}, {}, {}, {}, false});
    sort_by_name(ports);
    std::vector<std::string> sorted;
    for (const PortInfo& port : ports)
        sorted.push_back(port.name);
    const std::vector<std::string> expected = {"/dev/ttyACM0", "/dev/ttyS9", "/dev/ttyS010",
                                               "/dev/ttyS10",  "COM1",       "COM02",
                                               "COM2",         "COM10"};
    EXPECT_EQ(sorted, expected);
}

}  // namespace
}  // namespace orvanta
