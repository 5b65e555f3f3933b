#include "windows/host_pin_command.h"

#include <cstdio>
#include <stdexcept>

#include "app/gateway.h"
#include "app/host_pin_command.h"
#include "host/host_key_pin.h"
#include "windows/event_loop.h"
#include "windows/host_certificate.h"
#include "windows/win_host_transport.h"
#include "windows/win_text.h"

namespace tavorline::win {
namespace {

class NoVersion : public VersionSource {
public:
    std::optional<VersionStrings> read() const override { return std::nullopt; }
};

int fail(BytesView why) {
    std::fputs(("tavorline: " + utf8FromCp949(why) + "\n").c_str(), stderr);
    return 1;
}

}  // namespace

int runHostPinCommand(const std::filesystem::path& programFolder, const std::wstring& target,
                      bool save) {
    const Bytes targetText = cp949FromWide(target);
    const auto address = hostAndPort(targetText);
    if (!address) return fail("--host-pin: " + targetText + " is not HOST:PORT");
    const NoVersion noVersion;
    Configuration config(programFolder, noVersion);
    EventLoop loop;
    WinHostTransport transport(loop);
    try {
        connectAsTheGateway(transport, config, *address);
    } catch (const HostError& error) {
        return fail(error.what());
    }
    const CERT_CONTEXT* certificate = transport.peerCertificate();
    if (certificate == nullptr) {
        transport.close();
        return fail("the host presented no certificate");
    }
    const PresentedCertificate presented{publicKeyDigest(*certificate), subjectText(*certificate),
                                         issuerText(*certificate), validFromText(*certificate),
                                         validUntilText(*certificate)};
    transport.close();
    std::fputs(utf8FromCp949(presentedCertificateText(targetText, presented)).c_str(), stdout);
    if (!save) return 0;
    try {
        std::fputs(utf8FromCp949(saveHostPin(config, pinText(presented.keyDigest))).c_str(),
                   stdout);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return 0;
}

}  // namespace tavorline::win
