#include "qt/host_pin_command.h"

#include <QSslCertificate>
#include <cstdio>
#include <stdexcept>

#include "app/gateway.h"
#include "app/host_pin_command.h"
#include "host/host_key_pin.h"
#include "qt/cp949.h"
#include "qt/qt_host_transport.h"

namespace tavorline {
namespace {

class NoVersion : public VersionSource {
public:
    std::optional<VersionStrings> read() const override { return std::nullopt; }
};

Bytes joined(const QStringList& parts) { return toCp949(parts.join(QStringLiteral(", "))); }

Bytes nameText(const QSslCertificate& certificate, bool subject) {
    QStringList parts;
    const auto attributes =
        subject ? certificate.subjectInfoAttributes() : certificate.issuerInfoAttributes();
    for (const QByteArray& attribute : attributes) {
        const QStringList values =
            subject ? certificate.subjectInfo(attribute) : certificate.issuerInfo(attribute);
        for (const QString& value : values) {
            parts << QString::fromLatin1(attribute) + QLatin1Char('=') + value;
        }
    }
    return joined(parts);
}

Bytes timeText(const QDateTime& time) {
    return toCp949(time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")));
}

int fail(const Bytes& why) {
    std::fprintf(stderr, "tavorline: %s\n", fromCp949(why).toUtf8().constData());
    return 1;
}

}  // namespace

int runHostPinCommand(const std::filesystem::path& programFolder, const QString& target,
                      bool save) {
    const auto address = hostAndPort(toCp949(target));
    if (!address) return fail("--host-pin: " + toCp949(target) + " is not HOST:PORT");
    const NoVersion noVersion;
    Configuration config(programFolder, noVersion);
    QtHostTransport transport;
    try {
        connectAsTheGateway(transport, config, *address);
    } catch (const HostError& error) {
        return fail(error.what());
    }
    const QSslCertificate& certificate = transport.peerCertificate();
    PresentedCertificate presented{
        transport.peerKeyDigest(), nameText(certificate, true), nameText(certificate, false),
        timeText(certificate.effectiveDate()), timeText(certificate.expiryDate())};
    transport.close();
    if (presented.keyDigest.empty()) return fail("the host presented no certificate");
    std::fputs(fromCp949(presentedCertificateText(toCp949(target), presented)).toUtf8().constData(),
               stdout);
    if (!save) return 0;
    try {
        const Bytes said = saveHostPin(config, pinText(presented.keyDigest));
        std::fputs(fromCp949(said).toUtf8().constData(), stdout);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    return 0;
}

}  // namespace tavorline
