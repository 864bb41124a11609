#include "base/Log.h"

#include <QDateTime>
#include <QFile>

#include <mutex>

namespace corvala {

Q_LOGGING_CATEGORY(lcStartup, "corvala.startup", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCore, "corvala.core", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSession, "corvala.session", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSignalling, "corvala.signalling", QtInfoMsg)
Q_LOGGING_CATEGORY(lcEngine, "corvala.engine", QtInfoMsg)
Q_LOGGING_CATEGORY(lcControl, "corvala.control", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScreen, "corvala.screen", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "corvala.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWindow, "corvala.window", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTransfer, "corvala.transfer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlatform, "corvala.platform", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFeatures, "corvala.features", QtInfoMsg)

namespace {

struct LogFile {
    std::mutex mutex;
    QString path;
    std::int64_t maxBytes = 0;
    int keep = 0;
    bool installed = false;
    QtMessageHandler previous = nullptr;
};

LogFile& File() {
    static LogFile file;
    return file;
}

const char* LevelName(QtMsgType type) {
    switch (type) {
        case QtDebugMsg: return "debug";
        case QtInfoMsg: return "info";
        case QtWarningMsg: return "warning";
        case QtCriticalMsg: return "error";
        case QtFatalMsg: return "fatal";
    }
    return "?";
}

// Called with the mutex held.
void Rotate(const LogFile& file) {
    QFile::remove(file.path + "." + QString::number(file.keep));
    for (int i = file.keep - 1; i >= 1; --i)
        QFile::rename(file.path + "." + QString::number(i), file.path + "." + QString::number(i + 1));
    if (file.keep > 0)
        QFile::rename(file.path, file.path + ".1");
    else
        QFile::remove(file.path);
}

void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    LogFile& file = File();
    QtMessageHandler previous;
    {
        std::lock_guard lock(file.mutex);
        previous = file.previous;
        if (type != QtDebugMsg && type != QtInfoMsg && !file.path.isEmpty()) {
            const QByteArray line = (QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + ' ' +
                                     QLatin1StringView(LevelName(type)) + ' ' +
                                     QLatin1StringView(context.category ? context.category : "default") + ": " +
                                     message + '\n')
                                        .toUtf8();
            QFile out(file.path);
            if (out.exists() && out.size() + line.size() > file.maxBytes) Rotate(file);
            if (out.open(QIODevice::Append)) out.write(line);
        }
    }
    if (previous) previous(type, context, message);
}

}  // namespace

void InstallLogFile(const QString& path, std::int64_t maxBytes, int keep) {
    LogFile& file = File();
    std::lock_guard lock(file.mutex);
    file.path = path;
    file.maxBytes = maxBytes;
    file.keep = keep;
    if (!file.installed) {
        file.installed = true;
        file.previous = qInstallMessageHandler(Handler);
    }
}

void RemoveLogFile() {
    LogFile& file = File();
    std::lock_guard lock(file.mutex);
    if (!file.installed) return;
    qInstallMessageHandler(file.previous);
    file.installed = false;
    file.previous = nullptr;
    file.path.clear();
}

}  // namespace corvala
