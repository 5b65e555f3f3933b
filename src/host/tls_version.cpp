#include "host/tls_version.h"

namespace tavorline {

TlsVersion oldestTlsSetting(BytesView setting) {
    if (setting == "1.0") return TlsVersion::V1_0;
    if (setting == "1.1") return TlsVersion::V1_1;
    if (setting == "1.3") return TlsVersion::V1_3;
    return TlsVersion::V1_2;
}

}  // namespace tavorline
