// The technician pins the payment host's key (TlsPin): the host with that
// key gets the payment; another host, at the same address, gets the TLS
// handshake and then nothing, and the log names the key it presented.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "e2e_support.h"
#include "fault_support.h"
#include "payment_e2e.h"

namespace tavorline::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

struct HostKey {
    fs::path certificate;
    fs::path key;
    std::vector<std::string> hostOptions() const {
        return {"--cert", certificate.string(), "--key", key.string()};
    }
};

HostKey makeHostKey(const fs::path& folder, const std::string& name) {
    const HostKey made{folder / (name + ".crt"), folder / (name + ".key")};
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=" +
                                name + " -keyout '" + made.key.string() + "' -out '" +
                                made.certificate.string() + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return made;
}

// The pin as the technician computes it, with openssl alone.
std::string pinOf(const HostKey& host) {
    const std::string command = "openssl x509 -in '" + host.certificate.string() +
                                "' -pubkey -noout | openssl pkey -pubin -outform der |"
                                " openssl dgst -sha256 -binary | base64";
    std::string pin;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[128];
        while (std::fgets(buffer, sizeof buffer, pipe)) pin += buffer;
        pclose(pipe);
    }
    while (!pin.empty() && (pin.back() == '\n' || pin.back() == '\r')) pin.pop_back();
    return "sha256/" + pin;
}

TEST(PinnedHost, OnlyTheHostWithThePinnedKeyGetsThePayment) {
    TempFolder home;
    const HostKey genuine = makeHostKey(home.path(), "genuine");
    const HostKey impostor = makeHostKey(home.path(), "impostor");
    const std::string genuinePin = pinOf(genuine);
    ASSERT_EQ(genuinePin.size(), 51u) << genuinePin;
    PtyPair line;
    line.linkAs(home.path() / "COM6");
    writeFaultIni(home.path(), "A", {{"TlsPin", "sha256/" + std::string(43, 'A') + "= " + genuinePin}});
    GatewayProcess gateway(home.path());
    ASSERT_TRUE(gateway.ready()) << gateway.process().transcript();

    const std::size_t resets = statusCount(gateway.process(), "대기중");
    EXPECT_NE(approvedPayment(line, Carried::Tls, impostor.hostOptions()), "");
    const std::string refused = todaysLog(home.path());
    EXPECT_THAT(refused, HasSubstr("Host key not in TlsPin: " + pinOf(impostor)));
    EXPECT_THAT(refused, Not(HasSubstr("[CR "))) << "a request went to the impostor";
    ASSERT_TRUE(waitForStatusAfter(gateway.process(), "접속", "대기중"))
        << gateway.process().transcript();
    EXPECT_GT(statusCount(gateway.process(), "대기중"), resets) << "the refusal did not reset";

    EXPECT_EQ(approvedPayment(line, Carried::Tls, genuine.hostOptions()), "");
    EXPECT_THAT(todaysLog(home.path()), HasSubstr("Host key " + genuinePin));
    EXPECT_TRUE(gateway.process().running());
}

}  // namespace
}  // namespace tavorline::e2e
