#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <memory>

#include "host/dynamic_library.h"

namespace tavorline {

// A shared library tried at several places in turn; the first that loads wins.
class QtDynamicLibrary : public DynamicLibrary {
public:
    explicit QtDynamicLibrary(QStringList candidates);
    ~QtDynamicLibrary() override;

    // `fileName` in the program's folder, then beside the executable, then
    // wherever the system's loader finds it.
    static QStringList candidatesFor(const QString& fileName,
                                     const std::filesystem::path& programFolder);

    bool load() override;
    void* resolve(const char* symbol) override;
    void unload() override;

    // The candidate that loaded, empty while nothing is loaded.
    Bytes loadedFrom() const override;

private:
    QStringList candidates_;
    std::unique_ptr<QLibrary> library_;
};

}  // namespace tavorline
