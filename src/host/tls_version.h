#pragma once

#include "support/bytes.h"

namespace tavorline {

// The oldest TLS version the gateway offers a host. 1.2 unless a host in the
// field still speaks only an older one (the TlsMinVersion setting).
enum class TlsVersion { V1_0, V1_1, V1_2, V1_3 };

// "1.0", "1.1", "1.2" or "1.3"; anything else (a missing key included) is 1.2.
TlsVersion oldestTlsSetting(BytesView setting);

}  // namespace tavorline
