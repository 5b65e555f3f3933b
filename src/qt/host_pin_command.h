#pragma once

#include <QString>
#include <filesystem>

namespace tavorline {

// `tavorline --host-pin HOST:PORT [--save]`: connects over TLS as the
// gateway would, prints the host's pin and certificate, and with `save`
// adds the pin to TlsPin in the folder's vorn.Ini. The exit status: 0 when
// the host was read (and the pin saved), 1 otherwise.
int runHostPinCommand(const std::filesystem::path& programFolder, const QString& target,
                      bool save);

}  // namespace tavorline
