#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "support/bytes.h"
#include "support/file_store.h"

namespace tavorline {

// The settings of section "VORN", as text. A missing key reads as "Empty".
struct ConfigRecord {
    Bytes AdslAddr;
    Bytes AdslCPort;
    Bytes AdslSPort;
    Bytes DownAddr;
    Bytes UpAddr;
    Bytes UpPort;
    Bytes DnAddr;
    Bytes DnPort;
    // Defaults for destination mode FF. No key fills them: the terminal
    // always names its FF host itself.
    Bytes FfAddr;
    Bytes FfPort;
    Bytes EcPort;
    Bytes EcSpeed;
    Bytes EcType;
    Bytes DLogYn;
    Bytes RsaYn;
    Bytes RsaPort;
    // Our own keys (documented in docs/configuration.md).
    Bytes HostTimeout;    // seconds a host connect may take
    Bytes WatchdogYn;     // "Y" lets the call watchdog tick every second
    Bytes TlsMinVersion;  // the oldest TLS version offered to a host
    Bytes TlsPin;         // the host keys trusted over TLS
};

// The program file's version strings.
struct VersionStrings {
    Bytes CompanyName;
    Bytes FileDescription;
    Bytes FileVersion;
    Bytes InternalName;
    Bytes LegalCopyright;
    Bytes LegalTrademarks;
    Bytes OriginalFilename;
    Bytes ProductName;
    Bytes ProductVersion;
    Bytes Comments;
};

// Where the version strings come from (the build, or nothing in tests).
class VersionSource {
public:
    virtual ~VersionSource() = default;
    virtual std::optional<VersionStrings> read() const = 0;
};

// Raised when a key cannot be written: "Unable to write to <path>".
class ConfigWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr BytesView kMissing = "Empty";
inline constexpr BytesView kSection = "VORN";

// The configuration file vorn.Ini in the program's folder, its loader and the
// single-key routines every part of the gateway uses.
class Configuration {
public:
    Configuration(std::filesystem::path programFolder, const VersionSource& versions,
                  FileStore& files = diskFiles());

    // Builds the INI path, makes sure the LOG folder exists, reads the version
    // strings and every key into the record, all from one reading of the
    // file. A LOG folder that cannot be made does not stop the load;
    // logFolderProblem() says why.
    void Load_Config();
    // Empty when the last load found or made the LOG folder.
    const Bytes& logFolderProblem() const { return logFolderProblem_; }

    // `file` is the INI path, or exactly "vorn.ini" for the file in the
    // program's folder; any other text is used as a path unchanged.
    Bytes Ini_Read(BytesView section, BytesView key, BytesView file) const;
    // Throws ConfigWriteError("Unable to write to <path>").
    void Ini_Write(BytesView section, BytesView key, BytesView value, BytesView file);

    // As pathText() spells it; Ini_Read and Ini_Write take it back unchanged.
    const Bytes& iniPath() const { return iniPath_; }
    const std::filesystem::path& programFolder() const { return programFolder_; }
    FileStore& files() const { return files_; }
    ConfigRecord& record() { return record_; }
    const ConfigRecord& record() const { return record_; }
    const VersionStrings& version() const { return version_; }

private:
    std::filesystem::path resolve(BytesView file) const;

    std::filesystem::path programFolder_;
    const VersionSource& versions_;
    FileStore& files_;
    Bytes iniPath_;
    ConfigRecord record_;
    VersionStrings version_;
    Bytes logFolderProblem_;
};

}  // namespace tavorline
