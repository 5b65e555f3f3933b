#include "support/configuration.h"

#include <system_error>

#include "support/path_text.h"
#include "support/profile_file.h"

namespace tavorline {

namespace fs = std::filesystem;

namespace {

constexpr const char* kIniName = "vorn.Ini";
constexpr BytesView kIniShortName = "vorn.ini";
constexpr const char* kLogFolder = "LOG";

}  // namespace

Configuration::Configuration(fs::path programFolder, const VersionSource& versions,
                             FileStore& files)
    : programFolder_(std::move(programFolder)), versions_(versions), files_(files) {}

void Configuration::Load_Config() {
    iniPath_ = pathText(programFolder_ / kIniName);

    // Without its folder the daily log loses every line. That is reported,
    // but the keys are read all the same: a reset that stopped here would
    // leave the call half reset and the counter unable to pay.
    const fs::path logFolder = programFolder_ / kLogFolder;
    std::error_code ec;
    logFolderProblem_.clear();
    if (!files_.makeFolders(logFolder, ec)) {
        logFolderProblem_ =
            "Unable to create folder " + pathText(logFolder) + (ec ? ": " + ec.message() : Bytes());
    }

    if (auto strings = versions_.read()) version_ = std::move(*strings);

    // One reading for every key: a file saved while we load gives all its
    // old values or all its new ones, never a mix.
    const profile::Snapshot file(resolve(iniPath_), files_);
    const auto read = [&file](BytesView key) {
        auto value = file.value(kSection, key);
        return value ? std::move(*value) : Bytes(kMissing);
    };
    ConfigRecord& r = record_;
    r.AdslAddr = read("AdslAddr");
    r.AdslCPort = read("AdslCPort");
    r.AdslSPort = read("AdslSPort");
    r.UpAddr = read("UpAddr");
    r.UpPort = read("UpPort");
    r.DnAddr = read("DnAddr");
    r.DnPort = read("DnPort");
    r.DownAddr = read("DownAddr");
    r.EcPort = read("EcPort");
    r.EcSpeed = read("EcSpeed");
    r.EcType = read("EcType");
    r.DLogYn = read("DLogYn");
    r.RsaYn = read("RsaYn");
    r.RsaPort = read("RsaPort");
    r.HostTimeout = read("HostTimeout");
    r.WatchdogYn = read("WatchdogYn");
    r.TlsMinVersion = read("TlsMinVersion");
    r.TlsPin = read("TlsPin");
}

Bytes Configuration::Ini_Read(BytesView section, BytesView key, BytesView file) const {
    auto value = profile::readValue(resolve(file), section, key, files_);
    return value ? std::move(*value) : Bytes(kMissing);
}

void Configuration::Ini_Write(BytesView section, BytesView key, BytesView value, BytesView file) {
    const fs::path path = resolve(file);
    try {
        profile::writeValue(path, section, key, value, files_);
    } catch (const profile::WriteError&) {
        throw ConfigWriteError("Unable to write to " + pathText(path));
    }
}

// Callers that name the file "vorn.ini" mean the gateway's own INI in the
// program's folder. Windows finds "vorn.Ini" under that name because it
// ignores the case of file names; Linux does not, so the name is mapped to the
// very file Load_Config uses.
// Only the exact lower-case name is mapped; anything else, "VORN.INI" too, is
// a path used as given (relative ones against the current directory).
fs::path Configuration::resolve(BytesView file) const {
    if (file == kIniShortName) return programFolder_ / kIniName;
    return pathFromText(file);
}

}  // namespace tavorline
