// Host chunks: the key exchange, control answers, pass-through, responses and
// the record of an approved transaction.
#include <functional>
#include <utility>
#include <vector>

#include "host/last_data_record.h"
#include "payment_fixture.h"
#include "support/texts.h"

namespace tavorline::testing {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

const Bytes kSevenEnq(7, '\x05');
const Bytes kEndOfCall = "\x1B\x1B\x1B";

class HostResponse : public PaymentFixture {
protected:
    // A whole D1 payment in mode LF up to the host's reply.
    void payUpToTheReply() {
        connectCall();
        request(Make_Frame(requestBody()));
        host.writes.clear();
    }
};

TEST_F(HostResponse, ControlChunkGoesDownUnchangedAndIsLogged) {
    connectCall();
    hostSends("\x06\x06\x06");
    EXPECT_EQ(serial.written(), "\x06\x06\x06");
    EXPECT_EQ(lastLog(), "[LR   14:03:27][3][\x06\x06\x06]");
    EXPECT_EQ(ini("LastData"), "Empty");
}

TEST_F(HostResponse, ResponseIsDecryptedRelayedShownLoggedAndSplit) {
    payUpToTheReply();
    const Bytes reply = responseFrame();
    const Bytes sealed = "S(" + reply + ")";
    hostSends(sealed);
    EXPECT_EQ(serial.written(), reply);
    EXPECT_EQ(ui.display[2], Str_ToHex(reply));
    EXPECT_EQ(ui.display[3], reply);
    EXPECT_EQ(lastLog(), "[LR   14:03:27][" + std::to_string(sealed.size()) + "][" + reply + "]");
    EXPECT_THAT(ui.statuses, ::testing::Contains(Bytes(texts::kStatusResponse)));
    const auto& fields = gateway.RespFields;
    ASSERT_THAT(fields, SizeIs(35));
    EXPECT_EQ(fields[0], "");
    EXPECT_EQ(fields[1], "R1");
    EXPECT_EQ(fields[2], "a");
    EXPECT_EQ(fields[3], "b");
    EXPECT_EQ(fields[4], "cccc");
    EXPECT_EQ(fields[5], "dd");
    EXPECT_EQ(fields[7], "0000");
    EXPECT_EQ(fields[14], "r14");
    EXPECT_EQ(fields[33], "r33");
    EXPECT_EQ(fields[34], "r34");
}

TEST_F(HostResponse, ApprovedEndOfCallStoresAndSendsTheRecordOnce) {
    payUpToTheReply();
    hostSends("S(" + responseFrame() + ")");
    hostSends(kEndOfCall);
    const Bytes stored = ini("LastData");
    ASSERT_EQ(stored.size(), 600u);
    EXPECT_EQ(stored.substr(0, 2), "D1");
    EXPECT_EQ(stored.substr(306, 4), "0000");
    EXPECT_EQ(stored.substr(582), Bytes(18, ' ')) << "trailing blanks survive the file";
    // Every field at its place and width, written out from the record's layout.
    const auto blanks = [](int count) { return Bytes(static_cast<std::size_t>(count), ' '); };
    const Bytes firstHalf =
        "D1"
        "00000001"
        "K"
        "r26" +
        blanks(21) +
        "r27 "
        "q4"
        "q5" +
        blanks(7) + "q7" + blanks(10) + "q8" + blanks(4) + "q10" + blanks(6) + "q11" + blanks(6) +
        blanks(214);
    const Bytes secondHalf =
        "a"
        "b"
        "cccc"
        "0000"
        "r8 "
        "r9  "
        "r10" +
        blanks(10) + "r11" + blanks(9) + "r12" + blanks(9) + "r16" + blanks(11) + "r17" +
        blanks(12) + "r18" + blanks(11) +
        "r"
        "r20" +
        blanks(61) + "r22" + blanks(117) + blanks(18);
    EXPECT_EQ(stored, firstHalf + secondHalf);
    ASSERT_THAT(web.sent, SizeIs(1));
    EXPECT_EQ(web.sent[0].second, stored);
    EXPECT_EQ(ui.statuses.back(), texts::kStatusWebSent);

    hostSends(kEndOfCall);
    EXPECT_THAT(web.sent, SizeIs(1)) << "a second end of call has nothing to record";
}

// A record pairs one request with its response: after an approved call, a
// request or a response alone must not rebuild it from the other's old half.
TEST_F(HostResponse, AfterAnApprovedCallOneHalfAloneStoresNothing) {
    Bytes otherRequest = requestBody();
    otherRequest.replace(otherRequest.find("q8"), 2, "Q8");
    Bytes otherResponse = responseFrame();
    otherResponse.replace(otherResponse.find("r20"), 3, "R20");
    const std::vector<std::pair<const char*, std::function<void()>>> halves = {
        {"a request alone", [&] { request(Make_Frame(otherRequest)); }},
        {"a response alone", [&] { hostSends("S(" + otherResponse + ")"); }},
    };
    connectCall();
    for (const auto& [what, half] : halves) {
        request(Make_Frame(requestBody()));
        hostSends("S(" + responseFrame() + ")");
        hostSends(kEndOfCall);
        const Bytes stored = ini("LastData");
        web.sent.clear();
        half();
        hostSends(kEndOfCall);
        EXPECT_EQ(ini("LastData"), stored) << what;
        EXPECT_THAT(web.sent, IsEmpty()) << what;
    }
}

TEST_F(HostResponse, DisplayWindowComesUpAtTheEndOfACallOnlyWithTheSwitchOn) {
    const WorkingFolder inFolder(folder);
    for (const bool on : {false, true}) {
        gateway.DispMode = on;
        ui.displayShows = 0;
        payUpToTheReply();
        hostSends("S(" + responseFrame() + ")");
        EXPECT_EQ(ui.displayShows, 0) << "not for the reply itself";
        hostSends(kEndOfCall);
        EXPECT_EQ(ui.displayShows, on ? 1 : 0);
    }
}

TEST_F(HostResponse, DeclinedOrUnrecordedTransactionsStoreNothing) {
    payUpToTheReply();
    hostSends("S(" + responseFrame("8001") + ")");
    hostSends(kEndOfCall);
    EXPECT_EQ(ini("LastData"), "Empty");
    EXPECT_EQ(gateway.RespFields[7], "8001") << "both lists keep their content";
    EXPECT_EQ(gateway.ReqFields[1], "D1");
    EXPECT_TRUE(web.sent.empty());
}

TEST_F(HostResponse, EndOfCallBeforeAnyRequestStoresNothing) {
    connectCall();
    hostSends(kEndOfCall);
    EXPECT_EQ(ini("LastData"), "Empty");
}

TEST_F(HostResponse, ControlTripleAtTheStartWinsOverEverything) {
    payUpToTheReply();
    hostSends("S(" + responseFrame() + ")");
    const Bytes chunk = "\x06\x06\x06" + Bytes(40, 'x') + kEndOfCall;
    hostSends(chunk);
    EXPECT_EQ(serial.written().substr(serial.written().size() - chunk.size()), chunk);
    EXPECT_EQ(ini("LastData").substr(0, 2), "D1");
}

TEST_F(HostResponse, EscapesInsideAResponseAreJustData) {
    connectCall("\r\r\r", "IP\r\r\r");
    const Bytes reply =
        "\x02"
        "abc" +
        kEndOfCall + "def\x03";
    hostSends("S(" + reply + ")");
    EXPECT_EQ(serial.written(), reply);
    EXPECT_TRUE(web.sent.empty());
}

TEST_F(HostResponse, ShortChunksPassThroughUndecrypted) {
    connectCall("\r\r\r", "IP\r\r\r");
    terminalSends("\x02pending");
    hostSends("S(abc)");
    EXPECT_EQ(serial.written(), "S(abc)");
    EXPECT_EQ(lastLog(), "[DOWN 14:03:27][6]");
    EXPECT_TRUE(gateway.call().RecvBuf.empty());
    hostSends("S(abcd)");
    EXPECT_EQ(serial.written(), "S(abc)abcd") << "seven bytes are a response";
}

TEST_F(HostResponse, VtPassesEverythingThrough) {
    connectCall("\x0B\x0B\x0B", "IP10.1.2.3/5000\r\r\r");
    const Bytes reply = "S(" + responseFrame() + ")";
    hostSends(reply);
    EXPECT_EQ(serial.written(), reply);
    EXPECT_THAT(gateway.RespFields, IsEmpty());
}

TEST_F(HostResponse, FfResponsesAreReadButNotDecrypted) {
    connectCall("\x0C\x0C\x0C");
    Bytes reply = responseFrame();
    reply.replace(1, 2, "AB");
    hostSends(reply);
    EXPECT_EQ(serial.written(), reply) << "the terminal gets the masked response";
    EXPECT_EQ(ui.display[3], Unmask_Frame(reply));
}

TEST_F(HostResponse, KeyExchangeThenKeyedReplies) {
    setType("R");
    connectCall();
    hostSends("PUBKEY");
    EXPECT_THAT(host.writes, ElementsAre("SESSION:PUBKEY"));
    EXPECT_EQ(gateway.call().KeyStage, 2);
    EXPECT_EQ(serial.written(), "") << "nothing reaches the terminal yet";

    hostSends("\x06\x06\x06trailing");
    EXPECT_EQ(serial.written(), kSevenEnq);
    EXPECT_THAT(clock.waits, ElementsAre(200));
    EXPECT_EQ(gateway.call().KeyStage, 3);
    EXPECT_EQ(lastLog(), "[SW   14:03:27][" + Bytes(texts::kLogEnqSent) + "]");

    serial.chunks.clear();
    const Bytes reply = responseFrame();
    hostSends("K:" + reply);
    EXPECT_EQ(serial.written(), reply);
    EXPECT_EQ(lastLog(),
              "[LR   14:03:27][" + std::to_string(reply.size() + 2) + "][" + reply + "]");

    serial.chunks.clear();
    hostSends("not keyed at all");
    EXPECT_EQ(serial.written(), "");
    EXPECT_EQ(lastLog(), "[DOWN 14:03:27][16]");
}

TEST_F(HostResponse, FailedKeyExchangeEndsTheCall) {
    setType("R");
    connectCall();
    hostSends("PUBKEY");
    hostSends("\x06\x06x");
    EXPECT_EQ(gateway.call().KeyStage, 0);
    EXPECT_FALSE(host.open);
    EXPECT_EQ(gateway.call().CallStage, 0);
}

TEST_F(HostResponse, KeyAnswerTheLibraryRefusesSendsNothingButMovesOn) {
    setType("R");
    for (const int refused : {0, -1}) {
        fake_cipher::rsaKeyResult = refused;
        connectCall();
        hostSends("PUBKEY");
        EXPECT_THAT(host.writes, IsEmpty()) << refused;
        EXPECT_EQ(gateway.call().KeyStage, 2) << refused;
        gateway.BT_INITClick();
    }
}

TEST_F(HostResponse, KeyAnswerThatCannotBeSentKeepsTheStage) {
    setType("R");
    connectCall();
    host.failWrite = true;
    hostSends("PUBKEY");
    EXPECT_EQ(gateway.call().KeyStage, 1);
}

TEST_F(HostResponse, MissingLibraryAbandonsOnlyTheChunk) {
    setType("D");
    connectCall("\r\r\r", "IP\r\r\r");
    library.symbols.erase("DecDES3");
    gateway.cipher().load();
    const auto lines = logLines().size();
    hostSends(responseFrame());
    EXPECT_EQ(serial.written(), "");
    EXPECT_EQ(logLines().size(), lines);
    EXPECT_TRUE(host.open);
}

TEST_F(HostResponse, SeedFailureLetsTheResponseThroughAsReceived) {
    library.symbols.erase("SEED_Vorn");
    gateway.cipher().load();
    connectCall();
    const Bytes reply = responseFrame();
    hostSends(reply);
    EXPECT_EQ(serial.written(), reply);
}

TEST_F(HostResponse, SeedCountOfZeroEmptiesTheResponse) {
    connectCall();
    fake_cipher::seedResultOverride = -1;
    hostSends("S(" + responseFrame() + ")");
    EXPECT_EQ(serial.written(), "");
    EXPECT_EQ(ui.display[2], "");
    EXPECT_THAT(gateway.RespFields, Each(IsEmpty()));
}

// A host may put a line break in a message field; the record of this sale
// must still replace the last one, in one line of the file.
TEST_F(HostResponse, RecordWithLineBreaksIsStoredWithBlanksInTheirPlace) {
    // Mode FF: the reply is not decrypted, so a NUL reaches the fields.
    const auto pay = [&](const Bytes& reply) {
        connectCall("\x0C\x0C\x0C");
        request(Make_Frame(requestBody()));
        hostSends(reply);
        hostSends(kEndOfCall);
    };
    pay(responseFrame());
    const Bytes first = ini("LastData");
    Bytes reply = responseFrame();
    reply.replace(reply.find("r20"), 3, Bytes("\r\n\0", 3));
    pay(reply);

    Bytes expected = first;
    expected.replace(398, 3, "   ");
    EXPECT_EQ(ini("LastData"), expected);
    EXPECT_EQ(ini("EcType"), "A") << "the other keys still read back";
    ASSERT_THAT(web.sent, SizeIs(2));
    EXPECT_EQ(web.sent[1].second.substr(398, 3), Bytes("\r\n\0", 3))
        << "the web screen gets the record as received";
}

TEST(LastDataRecord, FieldsLandAtTheirPlaces) {
    std::vector<Bytes> request(15);
    std::vector<Bytes> response(35);
    request[1] = "D1";
    request[13] = "TOOLONGFORNINE";
    response[22] = Bytes(130, 'z');
    response[26] = "APPROVAL";
    const Bytes record = buildLastDataRecord(request, response);
    ASSERT_EQ(record.size(), 600u);
    EXPECT_EQ(record.substr(0, 2), "D1");
    EXPECT_EQ(record.substr(11, 24), Pad_Right("APPROVAL", 24));
    EXPECT_EQ(record.substr(77, 9), "TOOLONGFO");
    EXPECT_EQ(record.substr(86, 214), Bytes(214, ' '));
    EXPECT_EQ(record.substr(462, 120), Bytes(120, 'z'));
    EXPECT_EQ(buildLastDataRecord({}, {}), Bytes(600, ' ')) << "missing entries are blanks";
}

TEST(LastDataRecord, OnlyTheEighteenCodesAreRecorded) {
    for (const char* code : {"D1", "d4", "B2", "E3", "M4"})
        EXPECT_TRUE(isRecordedTransaction(code));
    for (const char* code : {"D5", "b1", "", "D1 "}) EXPECT_FALSE(isRecordedTransaction(code));
}

}  // namespace
}  // namespace tavorline::testing
