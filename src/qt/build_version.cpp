#include "qt/build_version.h"

namespace tavorline {

std::optional<VersionStrings> BuildVersionSource::read() const {
    VersionStrings version;
    version.CompanyName = "Tavorline";
    version.FileDescription = "Tavorline card-payment gateway";
    version.FileVersion = TAVORLINE_VERSION;
    version.InternalName = "tavorline";
    version.OriginalFilename = "tavorline";
    version.ProductName = "Tavorline";
    version.ProductVersion = TAVORLINE_VERSION;
    return version;
}

}  // namespace tavorline
