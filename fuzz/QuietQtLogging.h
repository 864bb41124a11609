#pragma once
// The code under test logs everything it drops, which is the fuzzer's common
// case: Qt's log output would drown libFuzzer's own.

#include <QtGlobal>

namespace corvala::fuzz {

inline void QuietQtLogging() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

}  // namespace corvala::fuzz
