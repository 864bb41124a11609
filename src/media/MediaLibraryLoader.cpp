#include "media/MediaLibraryLoader.h"

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace corvala {
namespace {

#define CORVALA_RTC_COUNT(name) +1
static_assert(0 RTC_FOR_EACH_ENTRY_POINT(CORVALA_RTC_COUNT) == 52, "rt.so has 52 entry points");
#undef CORVALA_RTC_COUNT

std::mutex gLoadMutex;
RtcApi gApi;
std::atomic<bool> gLoaded{false};

} // namespace

QString MediaLibraryPath(const QString& programFolder)
{
    const QString fromEnvironment = qEnvironmentVariable("CORVALA_ENGINE");
    if (!fromEnvironment.isEmpty())
        return QFileInfo(fromEnvironment).absoluteFilePath();
    const QString inCurrentDirectory = QDir::current().absoluteFilePath(kMediaLibraryFileName);
    if (QFileInfo::exists(inCurrentDirectory))
        return inCurrentDirectory;
    return QDir(programFolder).absoluteFilePath(kMediaLibraryFileName);
}

RtcApi BindMediaLibrary(const QString& path)
{
    // The second value of the message is empty by design: the user sees the
    // path only.
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw MediaLibraryError(QStringLiteral("Can not load %1 %2").arg(path, QString()).toStdString());

    RtcApi api;
    const char* missing = nullptr;
#define CORVALA_RTC_RESOLVE(name)                                                          \
    if (!missing) {                                                                        \
        api.name = reinterpret_cast<decltype(api.name)>(dlsym(handle, #name));             \
        if (!api.name)                                                                     \
            missing = #name;                                                               \
    }
    RTC_FOR_EACH_ENTRY_POINT(CORVALA_RTC_RESOLVE)
#undef CORVALA_RTC_RESOLVE
    if (missing) {
        // A half-bound library is of no use; unloading it lets a later
        // attempt start clean.
        dlclose(handle);
        throw MediaLibraryError(QStringLiteral("Load %1 failed!").arg(QLatin1String(missing)).toStdString());
    }
    return api;
}

const RtcApi& MediaLibraryLoader(const QString& programFolder)
{
    std::lock_guard lock(gLoadMutex);
    if (!gLoaded.load()) {
        gApi = BindMediaLibrary(MediaLibraryPath(programFolder));
        gLoaded.store(true);
    }
    return gApi;
}

const RtcApi& Rtc()
{
    return gApi;
}

} // namespace corvala
