#include "qt/qt_dynamic_library.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "qt/cp949.h"

namespace tavorline {

QtDynamicLibrary::QtDynamicLibrary(QStringList candidates) : candidates_(std::move(candidates)) {}

QtDynamicLibrary::~QtDynamicLibrary() { unload(); }

QStringList QtDynamicLibrary::candidatesFor(const QString& fileName,
                                            const std::filesystem::path& programFolder) {
    QStringList candidates;
    const QString folders[] = {QString::fromStdString(programFolder.string()),
                               QCoreApplication::applicationDirPath()};
    for (const QString& folder : folders) {
        if (folder.isEmpty()) continue;
        const QString path = QDir(folder).absoluteFilePath(fileName);
        if (!candidates.contains(path)) candidates.append(path);
    }
    candidates.append(fileName);
    return candidates;
}

bool QtDynamicLibrary::load() {
    if (library_) return true;
    for (const QString& candidate : candidates_) {
        // A path that is not there would only make the loader search elsewhere.
        if (candidate.contains(QLatin1Char('/')) && !QFileInfo::exists(candidate)) continue;
        auto library = std::make_unique<QLibrary>(candidate);
        if (library->load()) {
            library_ = std::move(library);
            return true;
        }
    }
    return false;
}

void* QtDynamicLibrary::resolve(const char* symbol) {
    if (!library_) return nullptr;
    return reinterpret_cast<void*>(library_->resolve(symbol));
}

void QtDynamicLibrary::unload() {
    if (!library_) return;
    library_->unload();
    library_.reset();
}

Bytes QtDynamicLibrary::loadedFrom() const {
    return library_ ? toCp949(library_->fileName()) : Bytes();
}

}  // namespace tavorline
