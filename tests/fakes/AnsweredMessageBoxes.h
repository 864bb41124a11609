#pragma once
// For tests of windows that show the program's message box: while this
// object lives, every box answers "OK" at once and writes its line
// ("Kind<TAB>text") to a log file in a scratch folder of its own.

#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace corvala::testsupport {

class AnsweredMessageBoxes {
public:
    AnsweredMessageBoxes() : FPath(FDir.filePath("messages.log")) {
        qputenv("CORVALA_AUTO_ANSWER", "ok");
        qputenv("CORVALA_MESSAGE_LOG", FPath.toUtf8());
    }
    ~AnsweredMessageBoxes() {
        qunsetenv("CORVALA_AUTO_ANSWER");
        qunsetenv("CORVALA_MESSAGE_LOG");
    }
    AnsweredMessageBoxes(const AnsweredMessageBoxes&) = delete;
    AnsweredMessageBoxes& operator=(const AnsweredMessageBoxes&) = delete;

    bool Valid() const { return FDir.isValid(); }
    // The lines written so far.
    QString Messages() const {
        QFile f(FPath);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // The lines written so far; the log starts empty again.
    QString TakeMessages() {
        const QString text = Messages();
        QFile::remove(FPath);
        return text;
    }

private:
    QTemporaryDir FDir;
    QString FPath;
};

}  // namespace corvala::testsupport
