#pragma once
// Qt's log output silenced (see QuietQtLogging.cpp, which targets without an
// initialisation of their own link).

#include <QtGlobal>

namespace corvala::fuzz {

inline void QuietQtLogging() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

}  // namespace corvala::fuzz
