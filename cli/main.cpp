// orvanta-cli: sends a file to a target over a serial line as one upload frame, lists the
// machine's serial ports, and receives frames as a stand-in target or cable checker.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "line_settings.h"
#include "network_address.h"
#include "port_names.h"
#include "stop_signals.h"
#include "text.h"

namespace {

// Each command's --help ends with its own examples and notes; the program's own ends with one
// example of each command and what is common to all.
const char* const PROGRAM_FOOTER = R"(
Examples:
  orvanta-cli ports
  orvanta-cli send -p /dev/ttyUSB0 program.bin
  orvanta-cli receive --virtual /tmp/orvanta-line -o got.bin --expect program.bin

orvanta-cli COMMAND --help tells more of each command.
Exit status: 0 done, 1 the send or receive failed, 2 usage error, 128 + the signal's number when
stopped by one (130 for Ctrl-C).)";

const char* const PORTS_FOOTER = R"(
Example:
  orvanta-cli ports

Each port on a line of its own, with what identifies it; "no serial ports found" on stderr when
there are none (exit 0).)";

const char* const SEND_FOOTER = R"(
Examples:
  orvanta-cli send -p /dev/ttyUSB0 program.bin
  orvanta-cli send -p COM3 --baud 57600 program.bin
  orvanta-cli send -p rfc2217://192.168.1.20:2217 program.bin
  orvanta-cli send -p socket://[fe80::1%eth0]:3001 program.bin
  orvanta-cli send --watch -p /dev/ttyUSB0 build/program.bin
  orvanta-cli send --wait-port=30 -p /dev/ttyACM0 program.bin
  orvanta-cli send -p /dev/ttyUSB0 -p /dev/ttyUSB1 -p /dev/ttyUSB2 program.bin
  ORVANTA_PORT=/dev/ttyUSB0,/dev/ttyUSB1 orvanta-cli send program.bin

The frame on the line: the file's size as two bytes, high byte first, then the file's bytes.
The line: 115,200 baud unless --baud says otherwise, 8 data bits, no parity, 1 stop bit, no flow
control, DTR and RTS off. Files of more than 65,535 bytes are refused. Progress shows on stderr
when it is a terminal, one line per port; Ctrl-C stops a send and says how much went out.
--watch sends FILE again each time it changes and has settled (0.25 s), until Ctrl-C; a port
that takes nothing is given up as stalled and the watch goes on.
A port may be a serial server on the network: rfc2217://HOST:PORT sets the server's line
through RFC 2217 (Telnet COM-PORT option); socket://HOST:PORT sends raw bytes over TCP to a
server whose line is set up already. HOST is a name, an IPv4 address or [an IPv6 address]
(a link-local one with its interface: [fe80::1%eth0], or %25 as in URLs).
Exit status: 0 every port got the frame, 1 a send failed, 2 usage error, 128 + the signal's
number when stopped by one (130 for Ctrl-C).)";

const char* const RECEIVE_FOOTER = R"(
Examples:
  orvanta-cli receive --virtual /tmp/orvanta-line -o got.bin --expect program.bin
  orvanta-cli receive -p /dev/ttyUSB1 --expect program.bin
  orvanta-cli receive -p rfc2217://lab-server:2218 --expect program.bin

Waits for one frame and prints its size, and whether it equals --expect (or where it first
differs). A frame that stops short (no byte for --timeout seconds) or bytes that follow it fail.
Exit status: 0 a whole frame (equal to --expect, if given), 1 not, 2 usage error, 128 + the
signal's number when stopped by one (130 for Ctrl-C).)";

// The ports when -p is not given: those of ORVANTA_PORT, else (on Windows) COM2.
std::string default_ports()
{
    if (const char* env = std::getenv("ORVANTA_PORT"))
        return env;
#ifdef _WIN32
    return "COM2";
#else
    return {};
#endif
}

std::string rate_list()
{
    std::string list;
    for (std::uint32_t rate : orvanta::STANDARD_RATES)
        list += (list.empty() ? "" : " ") + std::to_string(rate);
    return list;
}

// Adds --baud to a command: one of the standard rates, written in decimal, checked before
// anything is opened, so a wrong one sends nothing.
void add_baud_option(CLI::App* command, std::uint32_t& baud)
{
    command
        ->add_option_function<std::string>(
            "--baud",
            [&baud](const std::string& text) {
                std::optional<std::uint32_t> rate = orvanta::parse_rate(text);
                if (!rate)
                    throw CLI::ValidationError("--baud",
                                               "unsupported baud rate " + orvanta::printable(text));
                baud = *rate;
            },
            "Line speed (default " + std::to_string(orvanta::DEFAULT_BAUD) +
                "), one of: " + rate_list())
        ->type_name("RATE");
}

// Adds a number of seconds: decimal, finite, from min (as min_text says it) to max.
void add_seconds_option(CLI::App* command, const std::string& name, double& seconds, double min,
                        const std::string& min_text, const std::string& description,
                        double max = orvanta::MAX_SECONDS)
{
    command
        ->add_option_function<std::string>(
            name,
            [&seconds, name, min, min_text, max](const std::string& text) {
                std::optional<double> value = orvanta::parse_seconds(text, min, max);
                if (!value)
                    throw CLI::ValidationError(
                        name, "takes seconds from " + min_text + " to " +
                                  orvanta::grouped(static_cast<unsigned long long>(max)) +
                                  ", not " + orvanta::printable(text));
                seconds = *value;
            },
            description)
        ->type_name("SECONDS");
}

// Adds --connect-timeout: how long a network port's connection, and each answer of its server,
// may take.
void add_connect_timeout_option(CLI::App* command, double& seconds)
{
    add_seconds_option(command, "--connect-timeout", seconds, 0.001, "0.001",
                       "Seconds a network port (socket://, rfc2217://) may take to connect, and "
                       "its server to answer each request (default 3)",
                       orvanta::MAX_CONNECT_SECONDS);
}

// A network port name must be well formed before anything is opened: a malformed one is a usage
// error, as a wrong option is.
void check_port_name(const std::string& name)
{
    if (!orvanta::is_network_name(name))
        return;
    orvanta::ParsedAddress parsed = orvanta::parse_network_address(name);
    if (!parsed.address)
        throw CLI::ValidationError("--port", orvanta::printable(name) + ": " + parsed.problem);
}

// Output that could not be written is a failure, as the standard tools treat it: a result on a
// full disk or a closed pipe must not pass for success. Output that a stop signal cut short (a
// write waiting on a full pipe or a suspended terminal) ends as the stop does.
int checked_output(int status)
{
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) ||
                        std::fflush(stderr) != 0 || std::ferror(stderr);
    if (failed && orvanta::stop_status_seen() != 0)
        return orvanta::stop_status_seen();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "orvanta-cli: cannot write the output: %s\n", std::strerror(errno));
        return status == orvanta::EXIT_DONE ? orvanta::EXIT_FAILED : status;
    }
    if (std::fflush(stderr) != 0 || std::ferror(stderr))
        return status == orvanta::EXIT_DONE ? orvanta::EXIT_FAILED : status;
    return status;
}

// The ports of a send (from ORVANTA_PORT when -p is not given), each named once, and the time
// of --wait-port.
void check_send_ports(orvanta::SendArgs& send, const std::string& wait_port)
{
    if (send.ports.empty()) {
        const std::string list = default_ports();
        if (list.empty())
            throw CLI::ValidationError("no port: give -p PORT or set ORVANTA_PORT");
        std::optional<std::vector<std::string>> names = orvanta::split_port_list(list);
        if (!names)
            throw CLI::ValidationError("ORVANTA_PORT has an empty name: " +
                                       orvanta::printable(list));
        send.ports = *names;
    }
    for (const std::string& port : send.ports)
        if (port.empty())
            throw CLI::ValidationError("--port", "a port name is empty");
    if (std::optional<std::string> again = orvanta::repeated_port(send.ports))
        throw CLI::ValidationError("--port", orvanta::printable(*again) +
                                                 " names a port already given; each port once");
    if (wait_port == "true") {  // --wait-port without a time, as CLI11 gives it
        send.wait_port = orvanta::WAIT_FOREVER;
    } else if (!wait_port.empty()) {
        std::optional<double> seconds = orvanta::parse_seconds(wait_port, 0, orvanta::MAX_SECONDS);
        if (!seconds)
            throw CLI::ValidationError("--wait-port", "takes seconds from 0 to 1000000, not " +
                                                          orvanta::printable(wait_port));
        send.wait_port = *seconds;
    }
}

int run(int argc, char** argv)
{
    CLI::App app{"Sends a file to a target system over a serial line as one upload frame."};
    app.footer(PROGRAM_FOOTER);
    app.set_version_flag("--version", "orvanta-cli " ORVANTA_VERSION);
    app.require_subcommand(1);
    app.fallthrough();  // -q and -v may come after the subcommand too

    bool quiet = false;
    bool verbose = false;
    auto* quiet_opt = app.add_flag("-q,--quiet", quiet, "Say nothing but errors");
    app.add_flag("-v,--verbose", verbose,
                 "Also show the port's identity and the line settings applied")
        ->excludes(quiet_opt);

    app.add_subcommand("ports", "List this machine's serial ports; (busy) marks a held one")
        ->footer(PORTS_FOOTER);

    orvanta::SendArgs send;
    CLI::App* send_cmd = app.add_subcommand("send", "Send FILE as one upload frame");
    send_cmd->footer(SEND_FOOTER);
    send_cmd
        ->add_option("-p,--port", send.ports,
                     "Serial port, or socket://HOST:PORT or rfc2217://HOST:PORT for a serial "
                     "server on the network; give it again for several ports, sent to at once "
                     "(default: $ORVANTA_PORT, names between commas"
#ifdef _WIN32
                     ", then COM2"
#endif
                     ")")
        ->allow_extra_args(false);
    send_cmd->add_option("FILE", send.file, "File to send (at most 65,535 bytes)")->required();
    add_baud_option(send_cmd, send.baud);
    send_cmd->add_flag("--watch", send.watch, "Send FILE again each time it changes, until Ctrl-C");
    std::string wait_port;  // the text after --wait-port=, "true" for none, empty if not given
    send_cmd
        ->add_flag("--wait-port", wait_port,
                   "Wait for a port that is not there (or not open to this user) yet, up to "
                   "SECONDS (--wait-port=SECONDS) or until Ctrl-C")
        ->type_name("[=SECONDS]");
    add_connect_timeout_option(send_cmd, send.connect_timeout);

    orvanta::ReceiveArgs receive;
    CLI::App* receive_cmd =
        app.add_subcommand("receive", "Receive one frame, as a target would, and check it");
    receive_cmd->footer(RECEIVE_FOOTER);
    auto* port_opt = receive_cmd->add_option(
        "-p,--port", receive.port,
        "Serial port to read, or socket://HOST:PORT or rfc2217://HOST:PORT");
    auto* virtual_opt = receive_cmd->add_option(
        "--virtual", receive.virtual_link,
        "Create a virtual line and link LINK to the end a sender opens (Linux, macOS)");
    port_opt->excludes(virtual_opt);
    receive_cmd->add_option("-o,--output", receive.output, "Write the payload to FILE");
    receive_cmd->add_option("--expect", receive.expect, "Compare the payload with FILE");
    add_seconds_option(receive_cmd, "--timeout", receive.timeout, 0.001, "0.001",
                       "Seconds of silence that end an incomplete frame, and that bytes after "
                       "the frame are looked for (default 2)");
    add_seconds_option(receive_cmd, "--wait", receive.wait, 0, "0",
                       "Seconds to wait for a frame to begin (default: no limit)");
    add_baud_option(receive_cmd, receive.baud);
    add_connect_timeout_option(receive_cmd, receive.connect_timeout);

    try {
        // CLI11 takes "--wait-port=" for --wait-port alone, which would wait for ever.
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], "--wait-port=") == 0)
                throw CLI::ValidationError("--wait-port", "takes seconds from 0 to 1000000, not "
                                                          "nothing");
        app.parse(argc, argv);
        if (send_cmd->parsed()) {
            check_send_ports(send, wait_port);
            for (const std::string& port : send.ports)
                check_port_name(port);
        }
        if (receive_cmd->parsed())
            check_port_name(receive.port);
        if (send_cmd->parsed() && send.file.empty())
            throw CLI::ValidationError("FILE is empty: name the file to send");
        if (receive_cmd->parsed() && receive.port.empty() && receive.virtual_link.empty())
            throw CLI::ValidationError("give -p PORT or --virtual LINK");
    } catch (const CLI::ParseError& e) {
        int status = app.exit(e);
        return status == 0 ? orvanta::EXIT_DONE : orvanta::EXIT_USAGE;
    }

    const orvanta::Verbosity verbosity = quiet     ? orvanta::Verbosity::Quiet
                                         : verbose ? orvanta::Verbosity::Verbose
                                                   : orvanta::Verbosity::Normal;
    if (send_cmd->parsed()) {
        send.verbosity = verbosity;
        return orvanta::run_send(send);
    }
    if (receive_cmd->parsed()) {
        receive.verbosity = verbosity;
        return orvanta::run_receive(receive);
    }
    return orvanta::run_ports(verbosity);
}

}  // namespace

int main(int argc, char** argv)
{
    orvanta::prepare_standard_streams();
    return checked_output(run(argc, argv));
}
