#include "sim/payment_messages.h"

#include <cstdio>
#include <ctime>

#include "support/framing.h"
#include "support/masked_message.h"

namespace tavorline::sim {
namespace {

constexpr std::size_t kCodeLength = 2;
constexpr std::size_t kSeedLength = 8;
constexpr std::size_t kHeaderTailLength = 8;
constexpr int kLastResponseField = 34;
constexpr int kLastFieldBeforeSi = 14;

unsigned char rotateRight(unsigned char x) {
    return static_cast<unsigned char>((x >> 1) | (x << 7));
}

// The inverse of the gateway's unmasking: byte p of the readable body turns
// into rotr(p XOR 0xFF) XOR digit.
Bytes maskBody(BytesView plain, BytesView digits) {
    Bytes masked;
    masked.reserve(plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const auto p = static_cast<unsigned char>(plain[i]);
        const auto d = static_cast<unsigned char>(digits[i % digits.size()]);
        masked += static_cast<char>(rotateRight(static_cast<unsigned char>(p ^ 0xFF)) ^ d);
    }
    return masked;
}

// Bytes a masked body must not turn into: they end the body or the frame
// (SI, ETX) or are searched for before the gateway unmasks (STX, GS, EM).
bool safeMaskedByte(char byte) {
    return byte != ctl::STX && byte != ctl::ETX && byte != ctl::SI && byte != ctl::GS &&
           byte != ctl::EM;
}

Bytes candidateSeed(BytesView preferred, int attempt) {
    if (attempt == 0 && preferred.size() == kSeedLength) return Bytes(preferred);
    char seed[16];
    std::snprintf(seed, sizeof seed, "S%07d", attempt);
    return seed;
}

Bytes maskedFrame(BytesView code, BytesView preferredSeed, BytesView rest) {
    const std::size_t si = rest.find(ctl::SI);
    const BytesView hidden = rest.substr(0, si);
    // Without an SI the gateway takes the byte before ETX as the end of the
    // masked body and drops it, so a blank stands in for it.
    const Bytes clearTail = si == BytesView::npos ? Bytes(" ") : Bytes(rest.substr(si));
    for (int attempt = 0; attempt < 100000; ++attempt) {
        const Bytes seed = candidateSeed(preferredSeed, attempt);
        if (!isMaskedMessage(Bytes(1, ctl::STX) + Bytes(code) + seed)) continue;
        Bytes key;
        Bytes seedCopy = seed;
        Mask_Key(seedCopy, key);
        const Bytes masked = maskBody(hidden, Mask_Digits(key));
        bool safe = true;
        for (const char byte : masked) safe = safe && safeMaskedByte(byte);
        if (safe) return Make_Frame(Bytes(code) + seed + masked + clearTail);
    }
    return Make_Frame(Bytes(code) + Bytes(preferredSeed) + Bytes(rest));
}

Bytes fitted(BytesView text, std::size_t width) {
    Bytes out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

Bytes localStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%y%m%d%H%M%S", &local);
    return text;
}

}  // namespace

PaymentRequest sampleRequest() {
    PaymentRequest request;
    request.fields = {
        "TVL00001",                          // 2: terminal
        "A4111111111111111=25121011234567",  // 3: card kind, number, track
        "00",                                // 4
        "000015000",                         // 5
        "000000000",                         // 6
        "000000001364",                      // 7
        "251207",                            // 8
        "",                                  // 9
        "000001364",                         // 10
        "000000000",                         // 11
    };
    return request;
}

void setField(PaymentRequest& request, int number, Bytes text) {
    if (number < 2) return;
    const auto index = static_cast<std::size_t>(number - 2);
    if (request.fields.size() <= index) request.fields.resize(index + 1);
    request.fields[index] = std::move(text);
}

Bytes buildRequestFrame(const PaymentRequest& request) {
    Bytes rest = request.transactionCode;
    for (const Bytes& field : request.fields) {
        rest += ctl::FS;
        rest += field;
    }
    return frameAround(fitted(request.messageCode, kCodeLength) +
                       fitted(request.seed, kSeedLength) + rest);
}

PaymentResponse responseTo(BytesView requestFrame, bool approved, BytesView resultCode,
                           BytesView approvalNumber) {
    const Bytes readable = readableForm(requestFrame);
    PaymentResponse response;
    response.messageCode = readable.substr(1, kCodeLength);
    response.seed = readable.size() > 3 ? readable.substr(3, kSeedLength) : Bytes();
    response.transactionCode = transactionCodeOf(readable);
    auto& f = response.fields;
    f[7] = approved ? Bytes(kApprovedCode) : Bytes(resultCode);
    f[8] = "000";
    f[9] = "0001";
    f[10] = localStamp();
    f[11] = "HOSTSIM00001";
    f[12] = "000000000000";
    f[16] = "00000000000000";
    f[17] = "TAVORLINE-HOST";
    f[18] = "00000000000000";
    f[19] = "0";
    f[20] = approved ? "APPROVED" : "DECLINED";
    f[22] = approved ? "THANK YOU" : "CALL YOUR CARD ISSUER";
    if (approved) {
        f[26] = Bytes(approvalNumber);
        f[27] = "0000";
    }
    return response;
}

Bytes buildResponseFrame(const PaymentResponse& response) {
    Bytes body = fitted(response.messageCode, kCodeLength) + fitted(response.seed, kSeedLength) +
                 fitted(response.transactionCode, 2) +
                 fitted(response.headerTail, kHeaderTailLength);
    body += ctl::FS;
    for (int number = 6; number <= kLastResponseField; ++number) {
        body += response.fields[static_cast<std::size_t>(number)];
        if (number == kLastFieldBeforeSi) {
            body += ctl::SI;
        } else if (number < kLastResponseField) {
            body += ctl::FS;
        }
    }
    return frameAround(body);
}

std::size_t frameLength(BytesView buffer) {
    if (buffer.empty() || buffer[0] != ctl::STX) return 0;
    const std::size_t etx = buffer.find(ctl::ETX);
    if (etx == BytesView::npos || etx + 1 >= buffer.size()) return 0;
    return etx + 2;
}

bool checkByteMatches(BytesView frame) {
    const std::size_t length = frameLength(frame);
    if (length == 0) return false;
    return Calc_Check(frame.substr(1, length - 2))[0] == frame[length - 1];
}

Bytes readableForm(BytesView frame) {
    return isMaskedMessage(frame) ? Unmask_Frame(frame) : Bytes(frame);
}

std::vector<Bytes> requestFields(BytesView readable) {
    Bytes text(readable);
    Get_Token(text, BytesView(&ctl::STX, 1));
    text = Get_Token(text, BytesView(&ctl::ETX, 1));
    std::vector<Bytes> fields{Bytes()};
    while (!text.empty()) fields.push_back(Get_Token(text, BytesView(&ctl::FS, 1)));
    return fields;
}

Bytes transactionCodeOf(BytesView readable) {
    const std::vector<Bytes> fields = requestFields(readable);
    return fields.size() > 1 && fields[1].size() > 10 ? fields[1].substr(10, 2) : Bytes();
}

std::array<Bytes, 35> responseFields(BytesView readable) {
    std::array<Bytes, 35> fields;
    Bytes text(readable);
    const BytesView fs(&ctl::FS, 1);
    if (text.find(ctl::STX) == Bytes::npos) return fields;
    Get_Token(text, BytesView(&ctl::STX, 1));
    const Bytes header = Get_Token(text, fs);
    const auto headerPart = [&](std::size_t first, std::size_t count) {
        return first <= header.size() ? header.substr(first - 1, count) : Bytes();
    };
    fields[1] = headerPart(11, 2);
    fields[2] = headerPart(13, 1);
    fields[3] = headerPart(14, 1);
    fields[4] = headerPart(15, 4);
    fields[5] = headerPart(19, 2);
    for (int n = 6; n <= 13; ++n) fields[static_cast<std::size_t>(n)] = Get_Token(text, fs);
    fields[14] = Get_Token(text, BytesView(&ctl::SI, 1));
    for (int n = 15; n <= 33; ++n) fields[static_cast<std::size_t>(n)] = Get_Token(text, fs);
    fields[34] = Get_Token(text, BytesView(&ctl::ETX, 1));
    return fields;
}

Bytes frameAround(BytesView body) {
    const BytesView code = body.substr(0, kCodeLength);
    const BytesView seed =
        body.size() > kCodeLength ? body.substr(kCodeLength, kSeedLength) : BytesView();
    if (!isMaskedMessage(Bytes(1, ctl::STX) + Bytes(body))) return Make_Frame(body);
    const BytesView rest = body.size() > kCodeLength + kSeedLength
                               ? body.substr(kCodeLength + kSeedLength)
                               : BytesView();
    return maskedFrame(code, seed, rest);
}

}  // namespace tavorline::sim
