// The RFC 2217 client without a socket: what it sends, and what it makes of the server's answers,
// fed as tables of byte streams, whole and split at every point.
#include <gtest/gtest.h>

#include "rfc2217.h"

namespace orvanta::rfc2217 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes escaped(const Bytes& data)
{
    Bytes out;
    append_escaped(out, data.data(), data.size());
    return out;
}

// A COM-PORT answer from the server: its code is the request's plus 100.
Bytes answer(std::uint8_t command, const Bytes& value)
{
    Bytes bytes = {IAC, SB, COM_PORT, static_cast<std::uint8_t>(command + SERVER_OFFSET)};
    Bytes body = escaped(value);
    bytes.insert(bytes.end(), body.begin(), body.end());
    bytes.insert(bytes.end(), {IAC, SE});
    return bytes;
}

Bytes baud_answer(std::uint32_t baud)
{
    return answer(SET_BAUDRATE,
                  {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                   static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)});
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(Rfc2217, EscapingDoublesEveryFFAndNothingElse)
{
    const struct {
        Bytes data, wire;
    } cases[] = {
        {{}, {}},
        {{0x00, 0x0D, 0x0A, 0xFE}, {0x00, 0x0D, 0x0A, 0xFE}},
        {{0xFF}, {0xFF, 0xFF}},
        {{0xFF, 0xFF, 0x01, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0xFF, 0xFF}},
        {{IAC, SE, IAC, SB}, {IAC, IAC, SE, IAC, IAC, SB}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(escaped(c.data), c.wire);
}

// The bytes of the frame the server has taken, from how much of the escaped stream it has: a
// data byte counts only once all of its wire bytes are there.
TEST(Rfc2217, TheServerHasTheDataBytesOfTheWireBytesItTook)
{
    const Bytes data = {0x01, 0xFF, 0x02, 0xFF, 0xFF};  // wire: 01 FF FF 02 FF FF FF FF
    const std::size_t expected[] = {0, 1, 1, 2, 3, 3, 4, 4, 5, 5};
    EscapedCounter counter(data.data(), data.size());
    for (std::size_t wire = 0; wire < 10; ++wire)
        EXPECT_EQ(counter.data_in(wire), expected[wire]) << wire << " wire bytes";
}

TEST(Rfc2217, RequestsGoOutAsTheProtocolSpellsThem)
{
    EXPECT_EQ(option_requests(), (Bytes{IAC, WILL, COM_PORT, IAC, WILL, BINARY, IAC, DO, BINARY}));
    EXPECT_EQ(request(SET_BAUDRATE, {0x00, 0x01, 0xC2, 0x00}),
              (Bytes{IAC, SB, COM_PORT, 1, 0x00, 0x01, 0xC2, 0x00, IAC, SE}));
    // An 0xFF inside a value is doubled like data.
    EXPECT_EQ(request(SET_BAUDRATE, {0x00, 0x00, 0xFF, 0x00}),
              (Bytes{IAC, SB, COM_PORT, 1, 0x00, 0x00, 0xFF, 0xFF, 0x00, IAC, SE}));
    // Behind the frame: a query of the data size, then of the speed.
    EXPECT_EQ(sync_request(),
              (Bytes{IAC, SB, COM_PORT, 2, 0, IAC, SE, IAC, SB, COM_PORT, 1, 0, 0, 0, 0, IAC, SE}));
    const Bytes setup = line_setup_requests(57600);
    const Bytes ends_with = join({request(SET_CONTROL, {CONTROL_RTS_OFF}),
                                  request(SET_LINESTATE_MASK, {LINESTATE_SHIFT_EMPTY}),
                                  request(SET_BAUDRATE, {0, 0, 0, 0})});
    EXPECT_EQ(Bytes(setup.begin(), setup.begin() + 10),
              request(SET_BAUDRATE, {0x00, 0x00, 0xE1, 0x00}));
    ASSERT_GE(setup.size(), ends_with.size());
    EXPECT_EQ(Bytes(setup.end() - static_cast<std::ptrdiff_t>(ends_with.size()), setup.end()),
              ends_with);
}

// What a server says at the start and in answer to a setup, as the ser2net of Debian 12 says it
// in front of a pseudo-terminal (no answer to DTR, RTS or the line state mask), with the
// target's bytes between, 0xFF among them.
const Bytes SERVER = join({
    {IAC, WILL, SUPPRESS_GO_AHEAD,
     IAC, DO,   SUPPRESS_GO_AHEAD,
     IAC, WILL, 1 /* echo */,
     IAC, DONT, 1,
     IAC, DO,   BINARY,
     IAC, WILL, BINARY,
     IAC, DO,   COM_PORT},
    answer(7 /* modem state */, {0x00}),
    {'h', 'i', IAC, IAC, 0x00, IAC, 241 /* NOP */, 'x'},
    baud_answer(115200),
    answer(SET_DATASIZE, {8}),
    answer(SET_PARITY, {1}),
    answer(SET_STOPSIZE, {1}),
    answer(SET_CONTROL, {1}),
    answer(NOTIFY_LINESTATE, {LINESTATE_SHIFT_EMPTY}),
    baud_answer(115200),
    {IAC, SB, 24 /* another option's subnegotiation */, 1, 2, IAC, SE, 'y'},
});
const Bytes TARGET_DATA = {'h', 'i', 0xFF, 0x00, 'x', 'y'};

struct Seen {
    Bytes data, replies;
    Answers answers;
    Agreement com_port, binary_out, binary_in;
};

// Feeds the stream in pieces of at most piece bytes.
Seen feed_in_pieces(const Bytes& stream, std::size_t piece)
{
    Client client;
    client.start();
    Seen seen;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        std::size_t n = stream.size() - at < piece ? stream.size() - at : piece;
        client.feed(stream.data() + at, n, seen.data);
        Bytes replies = client.take_replies();
        seen.replies.insert(seen.replies.end(), replies.begin(), replies.end());
    }
    seen.answers = client.answers();
    seen.com_port = client.com_port();
    seen.binary_out = client.binary_out();
    seen.binary_in = client.binary_in();
    return seen;
}

TEST(Rfc2217, AServersAnswersReadTheSameHoweverTheyAreSplit)
{
    for (std::size_t piece :
         {SERVER.size(), std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        Seen seen = feed_in_pieces(SERVER, piece);
        EXPECT_EQ(seen.data, TARGET_DATA);
        EXPECT_EQ(seen.com_port, Agreement::Agreed);
        EXPECT_EQ(seen.binary_out, Agreement::Agreed);
        EXPECT_EQ(seen.binary_in, Agreement::Agreed);
        // Suppress-go-ahead is taken both ways, echo refused; options asked for get no reply.
        EXPECT_EQ(seen.replies,
                  (Bytes{IAC, DO, SUPPRESS_GO_AHEAD, IAC, WILL, SUPPRESS_GO_AHEAD, IAC, DONT, 1}));
        ASSERT_TRUE(seen.answers.baud);
        EXPECT_EQ(*seen.answers.baud, 115200u);
        EXPECT_EQ(seen.answers.baud_answers, 2u);
        EXPECT_EQ(seen.answers.datasize, std::optional<std::uint8_t>(8));
        EXPECT_EQ(seen.answers.flow, std::optional<std::uint8_t>(1));
        EXPECT_FALSE(seen.answers.dtr);
        EXPECT_FALSE(seen.answers.rts);
        EXPECT_EQ(seen.answers.transmitter_empty_reports, 1u);
        EXPECT_EQ(judge_setup(seen.answers, 115200, false).status, SetupVerdict::Status::Accepted);
    }
}

TEST(Rfc2217, RefusalsOfTheOptions)
{
    const struct {
        const char* what;
        Bytes server;
        Agreement com_port, binary_out, binary_in;
    } cases[] = {
        {"no COM-PORT",
         {IAC, DONT, COM_PORT, IAC, DO, BINARY, IAC, WILL, BINARY},
         Agreement::Refused,
         Agreement::Agreed,
         Agreement::Agreed},
        {"no binary from us",
         {IAC, DO, COM_PORT, IAC, DONT, BINARY, IAC, WILL, BINARY},
         Agreement::Agreed,
         Agreement::Refused,
         Agreement::Agreed},
        {"no binary to us",
         {IAC, DO, COM_PORT, IAC, DO, BINARY, IAC, WONT, BINARY},
         Agreement::Agreed,
         Agreement::Agreed,
         Agreement::Refused},
        {"not answered yet",
         {IAC, DO, BINARY},
         Agreement::Pending,
         Agreement::Agreed,
         Agreement::Pending},
        {"agreed, then withdrawn",
         {IAC, DO, COM_PORT, IAC, DONT, COM_PORT},
         Agreement::Refused,
         Agreement::Pending,
         Agreement::Pending},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Seen seen = feed_in_pieces(c.server, 1);
        EXPECT_EQ(seen.com_port, c.com_port);
        EXPECT_EQ(seen.binary_out, c.binary_out);
        EXPECT_EQ(seen.binary_in, c.binary_in);
        EXPECT_TRUE(seen.data.empty());
    }
}

// Two sides that answer each other's answers would never stop: a repeated offer gets no reply.
TEST(Rfc2217, NegotiationNeverLoops)
{
    Seen seen = feed_in_pieces({IAC, DO, COM_PORT, IAC, DO, COM_PORT, IAC, DO, 1, IAC, DO, 1, IAC,
                                WILL, BINARY, IAC, WILL, BINARY},
                               4);
    EXPECT_EQ(seen.replies, (Bytes{IAC, WONT, 1}));
}

// A server that floods offers: a refused option is answered once however often it is offered,
// and a server that keeps taking back and offering again what it may have gets a bounded number
// of answers, then the session is given up.
TEST(Rfc2217, AFloodOfOffersCostsBoundedReplies)
{
    const struct {
        const char* what;
        Bytes offer;
        Bytes replies;  // empty: bounded, and the session given up
    } cases[] = {
        {"WILL echo", {IAC, WILL, 1}, {IAC, DONT, 1}},
        {"DO echo", {IAC, DO, 1}, {IAC, WONT, 1}},
        {"WILL and WONT echo", {IAC, WILL, 1, IAC, WONT, 1}, {IAC, DONT, 1}},
        {"DO and DONT suppress-go-ahead",
         {IAC, DO, SUPPRESS_GO_AHEAD, IAC, DONT, SUPPRESS_GO_AHEAD},
         {}},
        {"WILL and WONT suppress-go-ahead",
         {IAC, WILL, SUPPRESS_GO_AHEAD, IAC, WONT, SUPPRESS_GO_AHEAD},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Client client;
        client.start();
        Bytes data, replies;
        for (int i = 0; i < 100000; ++i) {
            client.feed(c.offer.data(), c.offer.size(), data);
            Bytes more = client.take_replies();
            replies.insert(replies.end(), more.begin(), more.end());
            ASSERT_LE(replies.size(), 3 * MAX_NEGOTIATION_ROUNDS);
        }
        EXPECT_TRUE(data.empty());
        if (c.replies.empty()) {
            ASSERT_TRUE(client.problem());
            EXPECT_NE(client.problem()->find("kept renegotiating"), std::string::npos);
        } else {
            EXPECT_EQ(replies, c.replies);
            EXPECT_FALSE(client.problem());
        }
    }
}

// Every answer is counted against the requests sent whole: one more than asked is an answer to
// no request, and the frame counts as answered only once the server has answered both queries
// behind it, which it owes only once they have gone out whole.
TEST(Rfc2217, AnswersAreCountedAgainstTheRequests)
{
    const Bytes setup_answers =
        join({baud_answer(57600), answer(SET_DATASIZE, {8}), answer(SET_PARITY, {1}),
              answer(SET_STOPSIZE, {1}), answer(SET_CONTROL, {1}), baud_answer(57600)});
    const Bytes sync_answers = join({answer(SET_DATASIZE, {8}), baud_answer(57600)});
    const Bytes notes =
        join({answer(7 /* modem state */, {0}), answer(NOTIFY_LINESTATE, {LINESTATE_SHIFT_EMPTY})});
    const struct {
        const char* what;
        Bytes before_sync, after_sync;
        bool answered;
        const char* problem;  // "" for none
    } cases[] = {
        {"in order", {}, sync_answers, true, ""},
        {"notifications come unasked", notes, join({notes, sync_answers}), true, ""},
        {"one more speed answer before the frame's end", baud_answer(57600), sync_answers, false,
         "answer to no request (COM-PORT command 101"},
        {"one more speed answer after it", {}, baud_answer(57600), false, ""},
        {"the queries answered before they went out",
         sync_answers,
         {},
         false,
         "answer to no request"},
        {"an answer too many behind the frame",
         {},
         join({sync_answers, answer(SET_PARITY, {1})}),
         false,
         "answer to no request (COM-PORT command 103"},
        // DTR and RTS were left unanswered; once the setup is settled they are owed no more.
        {"a late answer to DTR", answer(SET_CONTROL, {CONTROL_DTR_OFF}), sync_answers, false,
         "answer to no request (COM-PORT command 105"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Client client;
        client.start();
        client.sent_setup();
        Bytes data;
        client.feed(setup_answers.data(), setup_answers.size(), data);
        EXPECT_FALSE(client.problem());
        client.settle();
        client.feed(c.before_sync.data(), c.before_sync.size(), data);
        client.sent_sync();
        client.feed(c.after_sync.data(), c.after_sync.size(), data);
        EXPECT_EQ(client.all_answered(), c.answered);
        if (*c.problem) {
            ASSERT_TRUE(client.problem());
            EXPECT_NE(client.problem()->find(c.problem), std::string::npos) << *client.problem();
        } else {
            EXPECT_FALSE(client.problem()) << *client.problem();
        }
    }
}

TEST(Rfc2217, TheSetupIsJudgedOnEveryAnswer)
{
    Answers all;
    all.baud = 57600;
    all.baud_answers = 2;
    all.datasize = 8;
    all.parity = 1;
    all.stopsize = 1;
    all.flow = 1;
    using S = SetupVerdict::Status;
    const struct {
        const char* what;
        void (*change)(Answers&);
        bool time_is_up;
        S status;
        const char* problem;
    } cases[] = {
        {"every answer right", [](Answers&) {}, false, S::Accepted, ""},
        {"DTR and RTS answered off",
         [](Answers& a) {
             a.dtr = 9;
             a.rts = 12;
         },
         false, S::Accepted, ""},
        {"another speed", [](Answers& a) { a.baud = 9600; }, false, S::Refused,
         "refused the speed: it answered 9,600 baud to 57,600"},
        {"7 data bits", [](Answers& a) { a.datasize = 7; }, false, S::Refused,
         "refused 8 data bits"},
        {"even parity", [](Answers& a) { a.parity = 3; }, false, S::Refused, "refused no parity"},
        {"two stop bits", [](Answers& a) { a.stopsize = 2; }, false, S::Refused,
         "refused 1 stop bit"},
        {"hardware flow control", [](Answers& a) { a.flow = 3; }, false, S::Refused,
         "refused no flow control"},
        {"DTR kept on", [](Answers& a) { a.dtr = 8; }, false, S::Refused, "refused DTR off"},
        {"RTS kept on", [](Answers& a) { a.rts = 11; }, false, S::Refused, "refused RTS off"},
        {"parity still to come",
         [](Answers& a) {
             a.parity.reset();
             a.baud_answers = 1;
         },
         false, S::Waiting, ""},
        {"parity never answered", [](Answers& a) { a.parity.reset(); }, false, S::Refused,
         "did not answer the request for the parity"},
        {"no answer in time", [](Answers& a) { a = Answers(); }, true, S::Refused,
         "did not answer the request for the speed"},
        {"the query unanswered, time up", [](Answers& a) { a.baud_answers = 1; }, true, S::Accepted,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Answers answers = all;
        c.change(answers);
        SetupVerdict setup = judge_setup(answers, 57600, c.time_is_up);
        EXPECT_EQ(setup.status, c.status);
        EXPECT_NE(setup.problem.find(c.problem), std::string::npos) << setup.problem;
    }
}

}  // namespace
}  // namespace orvanta::rfc2217
