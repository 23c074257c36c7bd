#pragma once
// Telnet with the COM-PORT option (RFC 2217), the client's side, without any socket: the bytes
// this program sends to set a server's line and to carry a frame, and a reader of what the
// server answers. network_port.cpp moves the bytes; the tests feed this file tables of answers.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::rfc2217 {

constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr std::uint8_t BINARY = 0, SUPPRESS_GO_AHEAD = 3, COM_PORT = 44;

// The client's COM-PORT commands; the server answers each with the same code plus 100.
enum Command : std::uint8_t {
    SET_BAUDRATE = 1,
    SET_DATASIZE = 2,
    SET_PARITY = 3,
    SET_STOPSIZE = 4,
    SET_CONTROL = 5,
    NOTIFY_LINESTATE = 6,
    SET_LINESTATE_MASK = 10,
    PURGE_DATA = 12,
};
constexpr std::uint8_t SERVER_OFFSET = 100;

// Values of the settings this program asks for (PARITY_CODE_NONE: winbase.h has a PARITY_NONE).
constexpr std::uint8_t DATASIZE_8 = 8, PARITY_CODE_NONE = 1, STOPSIZE_1 = 1;
constexpr std::uint8_t CONTROL_NO_FLOW = 1, CONTROL_DTR_OFF = 9, CONTROL_RTS_OFF = 12;
constexpr std::uint8_t PURGE_TRANSMIT = 2;
// Line state bits: the transmitter's shift register and holding register are empty.
constexpr std::uint8_t LINESTATE_SHIFT_EMPTY = 0x40, LINESTATE_HOLDING_EMPTY = 0x20;

// Appends data as it goes on a Telnet connection in binary mode: every 0xFF byte doubled.
void append_escaped(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size);

// How many data bytes the first wire_bytes of an escaped stream of data carry.
class EscapedCounter {
public:
    EscapedCounter(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // wire_bytes never falls between calls.
    std::size_t data_in(std::size_t wire_bytes);

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t data_done_ = 0;
    std::size_t wire_done_ = 0;
};

// IAC WILL COM-PORT, IAC WILL BINARY, IAC DO BINARY: the option, and 8-bit data both ways.
std::vector<std::uint8_t> option_requests();

// One COM-PORT request: IAC SB COM-PORT command value IAC SE, 0xFF in the value doubled.
std::vector<std::uint8_t> request(Command command, const std::vector<std::uint8_t>& value);

// The line set up in one go: speed, 8 data bits, no parity, 1 stop bit, no flow control, DTR
// off, RTS off, the line states the server should report (its transmitter empty), and last a
// query of the speed, whose answer closes the setup (see judge_setup).
std::vector<std::uint8_t> line_setup_requests(std::uint32_t baud);

// Asks for the data size and then the speed without changing them: the server answers only after
// it has read every byte sent before, which is how a sender learns that the server has the whole
// frame. Two kinds of answer, so that one more answer of the speed (to a request before, or to
// none) cannot pass for them.
std::vector<std::uint8_t> sync_request();

// How many option answers this program gives a server in one session at most: a session needs
// a handful; a server that keeps offering and withdrawing options is not followed further.
constexpr std::size_t MAX_NEGOTIATION_ROUNDS = 64;

// Where an option stands between this program and the server.
enum class Agreement { Pending, Agreed, Refused };

// What the server has answered so far.
struct Answers {
    std::optional<std::uint32_t> baud;
    std::optional<std::uint8_t> datasize, parity, stopsize, flow, dtr, rts, linestate_mask;
    std::size_t baud_answers = 0;               // every answer to SET-BAUDRATE, counted
    std::size_t datasize_answers = 0;           // every answer to SET-DATASIZE, counted
    std::size_t transmitter_empty_reports = 0;  // line state reports with the shift register empty
};

// Reads the server's side of the connection: Telnet commands, option negotiation, COM-PORT
// answers and notifications, and the target's data between them. Bytes may come split anywhere.
class Client {
public:
    Client();

    // What opens the session: option_requests(), with the options marked as asked for.
    std::vector<std::uint8_t> start();

    // Forgets the answers so far, and the requests they answer, before a new setup.
    void forget_answers();

    // Notes requests the server now owes answers to, once they have been handed over whole:
    // those of line_setup_requests(), of sync_request(), or one request.
    void sent_setup();
    void sent_sync();
    void sent(Command command);

    // The requests still unanswered once the setup is judged will not be answered (a server
    // leaves some unanswered, see judge_setup): they are owed no more, and an answer to one
    // later counts as an answer to no request.
    void settle();

    // Every query of the setup and of the sync answered, and no answer beyond those asked for.
    bool all_answered() const;

    // What makes the session unusable, once it has happened: an answer to a request that was
    // not sent (more answers of a kind than requests of it), or more option rounds than
    // MAX_NEGOTIATION_ROUNDS.
    std::optional<std::string> problem() const;

    // Takes bytes from the server; the target's data among them is appended to data.
    void feed(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& data);

    // What this program must answer to the server's negotiation, taken once.
    std::vector<std::uint8_t> take_replies();

    Agreement com_port() const;    // the server runs the COM-PORT option for this client
    Agreement binary_out() const;  // the server takes 8-bit data from this client
    Agreement binary_in() const;   // the server sends 8-bit data to this client
    const Answers& answers() const { return answers_; }

private:
    enum class Side { No, Wanted, Yes };
    struct Option {
        Side us = Side::No;   // this program performs the option
        Side him = Side::No;  // the server performs it
        bool us_refused = false, him_refused = false;
    };
    enum class State { Data, Command, Option, SubOption, SubData, SubCommand };

    void negotiate(std::uint8_t verb, std::uint8_t option);
    void subnegotiation_done();

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::vector<std::uint8_t> sub_;  // the subnegotiation's bytes after its option
    bool sub_is_com_port_ = false;
    Option options_[256];
    std::vector<std::uint8_t> replies_;
    std::size_t rounds_ = 0;  // option answers given
    bool too_many_rounds_ = false;
    Answers answers_;
    // Requests owed an answer and answers given, by command (SET_BAUDRATE to PURGE_DATA).
    std::size_t asked_[PURGE_DATA + 1] = {};
    std::size_t answered_[PURGE_DATA + 1] = {};
    std::optional<std::uint8_t> unasked_;  // the first command answered more often than asked
};

// The verdict on the line setup.
struct SetupVerdict {
    enum class Status { Waiting, Accepted, Refused } status = Status::Waiting;
    std::string problem;  // with Refused: what the server refused or left unanswered
};

// Judges the answers to line_setup_requests(baud). The speed, the data size, the parity, the
// stop bits and the flow control must each be answered with the value asked for. DTR, RTS and
// the line state mask may go unanswered (a server in front of a device without modem lines
// leaves those requests so); a wrong answer to them is a refusal all the same. The answer to the
// closing speed query, which a server gives after those of every request before it, or
// time_is_up (the time for answers has run out) settles what is missing.
SetupVerdict judge_setup(const Answers& answers, std::uint32_t baud, bool time_is_up);

}  // namespace orvanta::rfc2217
