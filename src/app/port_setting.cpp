#include "app/port_setting.h"

#include "support/text_format.h"

namespace tavorline {

Bytes missingPortAdvice(BytesView iniPath, bool iniExists, BytesView ecPort) {
    const Bytes what = !iniExists ? Format("%s does not exist", {iniPath})
                       : ecPort == "Empty"
                           ? Format("%s has no EcPort", {iniPath})
                           : Format("EcPort=%s in %s is no port number", {ecPort, iniPath});
    return what +
           ": set the terminal's serial port in the settings dialog, or write EcPort=N "
           "(N the port's number, 1 or more) under [VORN] in that file; see "
           "docs/configuration.md";
}

}  // namespace tavorline
