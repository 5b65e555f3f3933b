#pragma once

#include <array>
#include <string>
#include <vector>

#include "support/bytes.h"

// The messages of a payment as the terminal and the host build them. The
// gateway relays them without framing of its own; it only reads them for its
// log, its display and its transaction record, so these layouts are what the
// two ends agree on.
namespace tavorline::sim {

// A terminal request: STX, field 1 (message code, 8-byte seed, transaction
// code at bytes 11..12 of the field), further fields separated by FS, ETX and
// the check byte.
struct PaymentRequest {
    Bytes messageCode = "PY";
    Bytes seed = "20250101";
    Bytes transactionCode = "D1";
    // Fields 2 and on: fields[0] is field 2, fields[1] field 3 (card kind byte,
    // card number, optionally "=" and track data), and so on.
    std::vector<Bytes> fields;
};

// A request with sample values in every field a transaction record takes.
PaymentRequest sampleRequest();
// Sets field `number` (2 or more), adding empty fields in between as needed.
void setField(PaymentRequest& request, int number, Bytes text);
// The frame as the terminal sends it; masked when the message code is a
// masked type (such as "AB"), the way terminals send those.
Bytes buildRequestFrame(const PaymentRequest& request);

// A host response: STX, a 20-byte header (message code, seed, transaction
// code at bytes 11..12, then eight header bytes), FS, fields 6..13 each ended
// by FS, field 14 ended by SI, fields 15..33 each ended by FS, field 34, ETX
// and the check byte. Field 7 is the result code, "0000" for an approval.
struct PaymentResponse {
    Bytes messageCode;
    Bytes seed;
    Bytes transactionCode;
    Bytes headerTail = "10000101";
    std::array<Bytes, 35> fields;  // 6..34 are sent
};

inline constexpr const char* kApprovedCode = "0000";

// The host's answer to `requestFrame` (as received, masked or not): same
// message and transaction code, result code and message filled in, an
// approval number in field 26 for an approval.
PaymentResponse responseTo(BytesView requestFrame, bool approved, BytesView resultCode,
                           BytesView approvalNumber);
// The frame as the host sends it; masked when the message code is a masked type.
Bytes buildResponseFrame(const PaymentResponse& response);

// Length of the frame at the start of `buffer` (STX .. ETX and the check
// byte), or 0 when the buffer does not start with STX or the frame is not
// complete yet.
std::size_t frameLength(BytesView buffer);
// Whether the byte after the first ETX is the check byte of the frame.
bool checkByteMatches(BytesView frame);
// The frame as the gateway reads it: unmasked when of a masked type.
Bytes readableForm(BytesView frame);

// Fields of a readable request: [1] field 1, [2] field 2 ... ([0] empty).
std::vector<Bytes> requestFields(BytesView readable);
// Bytes 11..12 of field 1.
Bytes transactionCodeOf(BytesView readable);
// Fields of a readable response numbered as the gateway numbers them:
// [1]..[5] from the header, [6]..[34] the fields; 35 entries.
std::array<Bytes, 35> responseFields(BytesView readable);

// A frame around `body` (message code, seed, the rest): masked when the code
// is of a masked type, with a seed chosen so that no masked byte can be taken
// for a frame or field delimiter. A masked body keeps everything from its
// first SI in the clear.
Bytes frameAround(BytesView body);

}  // namespace tavorline::sim
