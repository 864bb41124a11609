#pragma once
// The program folder and environment of a test that runs the real core and
// main window in its own process: the folder as start-up leaves it (the
// delivered root file and engine, which the integrity test compares with the
// build's), message boxes answered "OK" by themselves and logged to
// folder/messages.log, no public STUN servers, and a signalling address
// where nothing listens, so that the link stays down.

#include <QString>
#include <QtGlobal>

#include <cstdlib>
#include <filesystem>

namespace corvala::testsupport {

inline void PrepareWindowProgramFolder(const QString& folder) {
    const std::filesystem::path program = folder.toStdString();
    const std::filesystem::path bin = std::getenv("CORVALA_BIN_DIR");
    std::filesystem::copy_file(bin / "rt.so", program / "rt.so");
    std::filesystem::copy_file(std::getenv("CORVALA_TEST_ROOT_CERT"), program / "cr2.dt");
    qputenv("CORVALA_AUTO_ANSWER", "ok");
    qputenv("CORVALA_ICE_SERVERS", "");
    qputenv("CORVALA_SIGNALLING", "127.0.0.1:9");
    qputenv("CORVALA_MESSAGE_LOG", (folder + "/messages.log").toUtf8());
}

}  // namespace corvala::testsupport
