#include "rsa_public_key.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vornlib {
namespace {

constexpr unsigned char kInteger = 0x02;
constexpr unsigned char kBitString = 0x03;
constexpr unsigned char kNull = 0x05;
constexpr unsigned char kObjectId = 0x06;
constexpr unsigned char kSequence = 0x30;
// 1.2.840.113549.1.1.1, rsaEncryption
constexpr std::array<unsigned char, 9> kRsaEncryption = {0x2A, 0x86, 0x48, 0x86, 0xF7,
                                                         0x0D, 0x01, 0x01, 0x01};

using Bytes = std::vector<unsigned char>;
using View = std::span<const unsigned char>;

// Reads one element after another from DER content.
class DerReader {
public:
    explicit DerReader(View data) : rest_(data) {}
    bool atEnd() const { return rest_.empty(); }

    // The content of the next element if it has this tag.
    std::optional<View> next(unsigned char tag) {
        if (rest_.size() < 2 || rest_[0] != tag) return std::nullopt;
        std::size_t length = rest_[1];
        std::size_t header = 2;
        if (length >= 0x80) {
            // Long form, at most two length bytes (no key comes near 64 KB),
            // and only where the short form cannot say it: DER is minimal.
            const std::size_t count = length & 0x7F;
            if (count == 0 || count > 2 || rest_.size() < 2 + count || rest_[2] == 0) {
                return std::nullopt;
            }
            length = 0;
            for (std::size_t i = 0; i < count; ++i) length = (length << 8) | rest_[2 + i];
            if (length < 0x80) return std::nullopt;
            header += count;
        }
        if (rest_.size() - header < length) return std::nullopt;
        const View content = rest_.subspan(header, length);
        rest_ = rest_.subspan(header + length);
        return content;
    }

private:
    View rest_;
};

// A positive INTEGER in minimal two's complement, as unsigned bytes.
std::optional<Bytes> positiveInteger(DerReader& reader) {
    const auto content = reader.next(kInteger);
    if (!content || content->empty() || ((*content)[0] & 0x80) != 0) return std::nullopt;
    if (content->size() > 1 && (*content)[0] == 0 && ((*content)[1] & 0x80) == 0) {
        return std::nullopt;
    }
    const auto first =
        std::find_if(content->begin(), content->end(), [](unsigned char b) { return b != 0; });
    if (first == content->end()) return std::nullopt;
    return Bytes(first, content->end());
}

// rsaEncryption takes NULL parameters; some encoders leave them out.
bool isRsaAlgorithm(View algorithm) {
    DerReader reader(algorithm);
    const auto oid = reader.next(kObjectId);
    if (!oid ||
        !std::equal(oid->begin(), oid->end(), kRsaEncryption.begin(), kRsaEncryption.end())) {
        return false;
    }
    if (reader.atEnd()) return true;
    const auto parameters = reader.next(kNull);
    return parameters && parameters->empty() && reader.atEnd();
}

std::optional<RsaPublicKey> parseRsaNumbers(View bitString) {
    // The first byte counts unused bits at the end, always 0 for a key.
    if (bitString.empty() || bitString[0] != 0) return std::nullopt;
    DerReader outer(bitString.subspan(1));
    const auto numbers = outer.next(kSequence);
    if (!numbers || !outer.atEnd()) return std::nullopt;
    DerReader reader(*numbers);
    auto modulus = positiveInteger(reader);
    auto exponent = positiveInteger(reader);
    if (!modulus || !exponent || !reader.atEnd()) return std::nullopt;
    return RsaPublicKey{std::move(*modulus), std::move(*exponent)};
}

void appendLength(Bytes& out, std::size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<unsigned char>(length));
        return;
    }
    Bytes digits;
    for (; length != 0; length >>= 8) digits.insert(digits.begin(), length & 0xFF);
    out.push_back(static_cast<unsigned char>(0x80 | digits.size()));
    out.insert(out.end(), digits.begin(), digits.end());
}

Bytes element(unsigned char tag, const Bytes& content) {
    Bytes out{tag};
    appendLength(out, content.size());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

// A leading zero keeps a number whose top bit is set positive.
Bytes integer(const Bytes& unsignedBytes) {
    Bytes content(unsignedBytes);
    if (content.empty() || (content[0] & 0x80) != 0) content.insert(content.begin(), 0);
    return element(kInteger, content);
}

Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes out(a);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

}  // namespace

std::optional<RsaPublicKey> parseRsaPublicKeyDer(View der) {
    DerReader top(der);
    const auto info = top.next(kSequence);
    if (!info || !top.atEnd()) return std::nullopt;
    DerReader reader(*info);
    const auto algorithm = reader.next(kSequence);
    const auto bitString = reader.next(kBitString);
    if (!algorithm || !bitString || !reader.atEnd() || !isRsaAlgorithm(*algorithm)) {
        return std::nullopt;
    }
    return parseRsaNumbers(*bitString);
}

Bytes rsaPublicKeyDer(const RsaPublicKey& key) {
    const Bytes oid = element(kObjectId, Bytes(kRsaEncryption.begin(), kRsaEncryption.end()));
    const Bytes algorithm = element(kSequence, concat(oid, Bytes{kNull, 0}));
    const Bytes numbers = element(kSequence, concat(integer(key.modulus), integer(key.exponent)));
    const Bytes bitString = element(kBitString, concat(Bytes{0}, numbers));
    return element(kSequence, concat(algorithm, bitString));
}

}  // namespace vornlib
