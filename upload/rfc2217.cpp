#include "rfc2217.h"

#include "line_settings.h"

namespace orvanta::rfc2217 {

void append_escaped(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(data[i]);
        if (data[i] == IAC)
            out.push_back(IAC);
    }
}

std::size_t EscapedCounter::data_in(std::size_t wire_bytes)
{
    while (data_done_ < size_) {
        const std::size_t width = data_[data_done_] == IAC ? 2 : 1;
        if (wire_done_ + width > wire_bytes)
            break;
        wire_done_ += width;
        ++data_done_;
    }
    return data_done_;
}

std::vector<std::uint8_t> option_requests()
{
    return {IAC, WILL, COM_PORT, IAC, WILL, BINARY, IAC, DO, BINARY};
}

std::vector<std::uint8_t> request(Command command, const std::vector<std::uint8_t>& value)
{
    std::vector<std::uint8_t> bytes = {IAC, SB, COM_PORT, command};
    append_escaped(bytes, value.data(), value.size());
    bytes.push_back(IAC);
    bytes.push_back(SE);
    return bytes;
}

namespace {

std::vector<std::uint8_t> big_endian(std::uint32_t n)
{
    return {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
            static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

void append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

}  // namespace

std::vector<std::uint8_t> line_setup_requests(std::uint32_t baud)
{
    std::vector<std::uint8_t> bytes;
    append(bytes, request(SET_BAUDRATE, big_endian(baud)));
    append(bytes, request(SET_DATASIZE, {DATASIZE_8}));
    append(bytes, request(SET_PARITY, {PARITY_CODE_NONE}));
    append(bytes, request(SET_STOPSIZE, {STOPSIZE_1}));
    append(bytes, request(SET_CONTROL, {CONTROL_NO_FLOW}));
    append(bytes, request(SET_CONTROL, {CONTROL_DTR_OFF}));
    append(bytes, request(SET_CONTROL, {CONTROL_RTS_OFF}));
    append(bytes, request(SET_LINESTATE_MASK, {LINESTATE_SHIFT_EMPTY}));
    append(bytes, request(SET_BAUDRATE, big_endian(0)));
    return bytes;
}

std::vector<std::uint8_t> sync_request()
{
    std::vector<std::uint8_t> bytes = request(SET_DATASIZE, {0});
    append(bytes, request(SET_BAUDRATE, big_endian(0)));
    return bytes;
}

Client::Client() = default;

void Client::forget_answers()
{
    answers_ = Answers();
    for (std::size_t& n : asked_)
        n = 0;
    for (std::size_t& n : answered_)
        n = 0;
    unasked_.reset();
}

void Client::sent_setup()
{
    for (Command c : {SET_BAUDRATE, SET_BAUDRATE, SET_DATASIZE, SET_PARITY, SET_STOPSIZE,
                      SET_CONTROL, SET_CONTROL, SET_CONTROL, SET_LINESTATE_MASK})
        sent(c);
}

void Client::sent_sync()
{
    sent(SET_DATASIZE);
    sent(SET_BAUDRATE);
}

void Client::sent(Command command) { ++asked_[command]; }

void Client::settle()
{
    for (std::size_t c = 0; c <= PURGE_DATA; ++c)
        if (answered_[c] < asked_[c])
            asked_[c] = answered_[c];
}

bool Client::all_answered() const
{
    return !unasked_ && answered_[SET_BAUDRATE] == asked_[SET_BAUDRATE] &&
           answered_[SET_DATASIZE] == asked_[SET_DATASIZE];
}

std::optional<std::string> Client::problem() const
{
    if (too_many_rounds_)
        return "the server kept renegotiating Telnet options (more than " +
               std::to_string(MAX_NEGOTIATION_ROUNDS) + " rounds)";
    if (unasked_)
        return "the server sent an answer to no request (COM-PORT command " +
               std::to_string(static_cast<unsigned>(*unasked_) + SERVER_OFFSET) +
               " once more than asked)";
    return std::nullopt;
}

std::vector<std::uint8_t> Client::start()
{
    options_[COM_PORT].us = Side::Wanted;
    options_[BINARY].us = Side::Wanted;
    options_[BINARY].him = Side::Wanted;
    return option_requests();
}

void Client::feed(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& data)
{
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
        case State::Data:
            if (b == IAC)
                state_ = State::Command;
            else
                data.push_back(b);
            break;
        case State::Command:
            if (b == IAC) {
                data.push_back(IAC);
                state_ = State::Data;
            } else if (b == WILL || b == WONT || b == DO || b == DONT) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == SB) {
                state_ = State::SubOption;
            } else {
                state_ = State::Data;  // NOP, GA and the like carry nothing for a sender
            }
            break;
        case State::Option:
            negotiate(verb_, b);
            state_ = State::Data;
            break;
        case State::SubOption:
            sub_is_com_port_ = b == COM_PORT;
            sub_.clear();
            state_ = State::SubData;
            break;
        case State::SubData:
            if (b == IAC)
                state_ = State::SubCommand;
            else if (sub_.size() < 64)  // no answer is longer; the rest of a longer one is noise
                sub_.push_back(b);
            break;
        case State::SubCommand:
            if (b == SE) {
                subnegotiation_done();
                state_ = State::Data;
            } else {
                if (b == IAC && sub_.size() < 64)
                    sub_.push_back(IAC);
                state_ = State::SubData;
            }
            break;
        }
    }
}

void Client::negotiate(std::uint8_t verb, std::uint8_t option)
{
    Option& o = options_[option];
    // This program performs COM-PORT and BINARY, and lets the server suppress go-ahead and send
    // binary; it refuses everything else. An answer goes out only when a state changes, so two
    // sides can never answer each other for ever.
    const bool we_may = option == COM_PORT || option == BINARY || option == SUPPRESS_GO_AHEAD;
    const bool he_may = option == BINARY || option == SUPPRESS_GO_AHEAD;
    // A refused offer is answered once, and the answers of a session are bounded: a server that
    // floods offers must not grow the replies without end.
    auto reply = [this](std::uint8_t v, std::uint8_t opt) {
        if (rounds_ >= MAX_NEGOTIATION_ROUNDS) {
            too_many_rounds_ = true;
            return;
        }
        ++rounds_;
        replies_.insert(replies_.end(), {IAC, v, opt});
    };
    switch (verb) {
    case DO:
        if (o.us == Side::Yes)
            break;
        if (we_may) {
            if (o.us == Side::No)
                reply(WILL, option);
            o.us = Side::Yes;
        } else if (!o.us_refused) {
            reply(WONT, option);
            o.us_refused = true;
        }
        break;
    case DONT:
        if (o.us == Side::Yes)
            reply(WONT, option);
        if (o.us != Side::No)
            o.us_refused = true;
        o.us = Side::No;
        break;
    case WILL:
        if (o.him == Side::Yes)
            break;
        if (he_may) {
            if (o.him == Side::No)
                reply(DO, option);
            o.him = Side::Yes;
        } else if (!o.him_refused) {
            reply(DONT, option);
            o.him_refused = true;
        }
        break;
    case WONT:
        if (o.him == Side::Yes)
            reply(DONT, option);
        if (o.him != Side::No)
            o.him_refused = true;
        o.him = Side::No;
        break;
    default:
        break;
    }
}

void Client::subnegotiation_done()
{
    if (!sub_is_com_port_ || sub_.empty() || sub_[0] <= SERVER_OFFSET)
        return;
    const std::uint8_t command = static_cast<std::uint8_t>(sub_[0] - SERVER_OFFSET);
    const std::vector<std::uint8_t> value(sub_.begin() + 1, sub_.end());
    // The answers to what this program asks, counted against the requests: notifications and
    // the like (NOTIFY-LINESTATE, NOTIFY-MODEMSTATE, FLOWCONTROL-SUSPEND) come unasked.
    const bool answers_a_request = command == SET_BAUDRATE || command == SET_DATASIZE ||
                                   command == SET_PARITY || command == SET_STOPSIZE ||
                                   command == SET_CONTROL || command == SET_LINESTATE_MASK ||
                                   command == PURGE_DATA;
    if (answers_a_request && ++answered_[command] > asked_[command] && !unasked_)
        unasked_ = command;
    if (command == SET_BAUDRATE) {
        if (value.size() == 4) {
            answers_.baud = (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                            (std::uint32_t{value[2]} << 8) | value[3];
            ++answers_.baud_answers;
        }
        return;
    }
    if (value.size() != 1)
        return;
    const std::uint8_t v = value[0];
    switch (command) {
    case SET_DATASIZE:
        answers_.datasize = v;
        ++answers_.datasize_answers;
        break;
    case SET_PARITY:
        answers_.parity = v;
        break;
    case SET_STOPSIZE:
        answers_.stopsize = v;
        break;
    case SET_CONTROL:
        // The value says which request it answers: outbound flow control (0-3, 17-19), DTR
        // (7-9), RTS (10-12); break and inbound flow control are never asked for.
        if (v <= 3 || (v >= 17 && v <= 19))
            answers_.flow = v;
        else if (v >= 7 && v <= 9)
            answers_.dtr = v;
        else if (v >= 10 && v <= 12)
            answers_.rts = v;
        break;
    case SET_LINESTATE_MASK:
        answers_.linestate_mask = v;
        break;
    case NOTIFY_LINESTATE:
        if (v & LINESTATE_SHIFT_EMPTY)
            ++answers_.transmitter_empty_reports;
        break;
    default:
        break;
    }
}

std::vector<std::uint8_t> Client::take_replies()
{
    std::vector<std::uint8_t> out;
    out.swap(replies_);
    return out;
}

namespace {

Agreement agreement(bool yes, bool refused)
{
    return yes ? Agreement::Agreed : refused ? Agreement::Refused : Agreement::Pending;
}

}  // namespace

Agreement Client::com_port() const
{
    const Option& o = options_[COM_PORT];
    return agreement(o.us == Side::Yes, o.us_refused);
}

Agreement Client::binary_out() const
{
    const Option& o = options_[BINARY];
    return agreement(o.us == Side::Yes, o.us_refused);
}

Agreement Client::binary_in() const
{
    const Option& o = options_[BINARY];
    return agreement(o.him == Side::Yes, o.him_refused);
}

namespace {

struct Required {
    const std::optional<std::uint8_t>& answer;
    std::uint8_t wanted;
    const char* what;
};

std::string value_text(std::uint8_t v) { return std::to_string(static_cast<unsigned>(v)); }

}  // namespace

SetupVerdict judge_setup(const Answers& answers, std::uint32_t baud, bool time_is_up)
{
    auto refused = [](std::string why) {
        return SetupVerdict{SetupVerdict::Status::Refused, std::move(why)};
    };
    if (answers.baud && *answers.baud != baud)
        return refused("the server refused the speed: it answered " + grouped(*answers.baud) +
                       " baud to " + grouped(baud));
    const Required required[] = {
        {answers.datasize, DATASIZE_8, "8 data bits"},
        {answers.parity, PARITY_CODE_NONE, "no parity"},
        {answers.stopsize, STOPSIZE_1, "1 stop bit"},
        {answers.flow, CONTROL_NO_FLOW, "no flow control"},
        {answers.dtr, CONTROL_DTR_OFF, "DTR off"},
        {answers.rts, CONTROL_RTS_OFF, "RTS off"},
    };
    for (const Required& r : required)
        if (r.answer && *r.answer != r.wanted)
            return refused(std::string("the server refused ") + r.what + ": it answered " +
                           value_text(*r.answer) + " to " + value_text(r.wanted));
    bool essential_in =
        answers.baud && answers.datasize && answers.parity && answers.stopsize && answers.flow;
    // The speed query behind the requests is answered after all of them: what has not been
    // answered by then will not be.
    const bool settled = answers.baud_answers >= 2 || time_is_up;
    if (essential_in && settled)
        return {SetupVerdict::Status::Accepted, {}};
    if (!settled)
        return {};
    const char* missing = !answers.baud       ? "the speed"
                          : !answers.datasize ? "the data bits"
                          : !answers.parity   ? "the parity"
                          : !answers.stopsize ? "the stop bits"
                                              : "the flow control";
    return refused(std::string("the server did not answer the request for ") + missing);
}

}  // namespace orvanta::rfc2217
