#include "app/host_pin_command.h"

#include "app/gateway.h"
#include "host/host_key_pin.h"
#include "support/path_text.h"

namespace tavorline {
namespace {

constexpr BytesView kIniFile = "vorn.ini";

}  // namespace

std::optional<std::pair<Bytes, int>> hostAndPort(BytesView text) {
    const std::size_t colon = text.rfind(':');
    if (colon == BytesView::npos || colon == 0 || colon + 1 == text.size()) return std::nullopt;
    const BytesView digits = text.substr(colon + 1);
    if (digits.size() > 5) return std::nullopt;
    int port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    return std::pair{Bytes(text.substr(0, colon)), port};
}

Bytes presentedCertificateText(BytesView target, const PresentedCertificate& certificate) {
    return "host:        " + Bytes(target) + "\n" +
           "pin:         " + pinText(certificate.keyDigest) + "\n" +
           "subject:     " + certificate.subject + "\n" + "issuer:      " + certificate.issuer +
           "\n" + "valid from:  " + certificate.validFrom + "\n" +
           "valid until: " + certificate.validUntil + "\n";
}

Bytes saveHostPin(Configuration& config, BytesView pin) {
    const Bytes before = config.Ini_Read(kSection, "TlsPin", kIniFile);
    const Bytes after = settingWithPin(before, pin);
    const Bytes file = pathText(config.programFolder() / "vorn.Ini");
    if (after == before) return "TlsPin in " + file + " already holds " + Bytes(pin) + "\n";
    config.Ini_Write(kSection, "TlsPin", after, kIniFile);
    return "TlsPin in " + file + " is now " + after + "\n";
}

void connectAsTheGateway(HostTransport& transport, const Configuration& config,
                         const std::pair<Bytes, int>& address) {
    transport.setOldestTls(
        oldestTlsSetting(config.Ini_Read(kSection, "TlsMinVersion", "vorn.ini")));
    const auto timeout = hostConnectTimeout(config.Ini_Read(kSection, "HostTimeout", "vorn.ini"));
    transport.connect(address.first, address.second, true, timeout);
}

}  // namespace tavorline
