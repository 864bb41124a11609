// Entry of `cr`: the start-up routine, then the windows and the message loop.

#include <QApplication>
#include <QStandardPaths>
#include <thread>

#include "app/EmbeddedResource.h"
#include "app/FormMainCR.h"
#include "app/GuiStartupMessages.h"
#include "app/PayloadArchive.h"
#include "app/StartupSequence.h"
#include "app/VersionMarker.h"
#include "platform/linux/FlockSingleInstance.h"
#include "platform/linux/LinuxDriveIdentification.h"
#include "platform/linux/LinuxFirewall.h"
#include "platform/linux/LinuxNetworkAdapters.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/LocalSocketInstanceChannel.h"
#include "platform/linux/RuntimeFolder.h"
#include "platform/linux/XTestSecureAttention.h"

CORVALA_DECLARE_RESOURCE(corvala_root_cert)

namespace {

std::filesystem::path DocumentsFolder() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? std::filesystem::path("/tmp") : std::filesystem::path(documents.toStdString());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvala;
    namespace lx = platform::linuxos;

    lx::LinuxShell shell;
    lx::FlockSingleInstance instanceLock(lx::RuntimeFolder() / "corvalamutex");
    lx::LocalSocketInstanceChannel instanceChannel;
    lx::LinuxNetworkAdapters adapters;
    lx::LinuxDriveIdentification drives;
    lx::XTestSecureAttention secureAttention;
    lx::LinuxFirewall firewall;
    GuiStartupMessages messages(argc, argv);

    StartupInputs inputs;
    inputs.arguments.assign(argv + 1, argv + argc);
    inputs.folders = platform::ResolveProgramFolders(platform::ProcessEnvironment, DocumentsFolder());
    std::error_code ec;
    inputs.runningExecutable = std::filesystem::read_symlink("/proc/self/exe", ec);
    inputs.ownVersion = OwnVersionNumber();
    inputs.payload = EmbeddedPayload();
    inputs.rootCertificate = CORVALA_RESOURCE(corvala_root_cert);
    inputs.supportContact = CORVALA_SUPPORT_CONTACT;
    inputs.webSiteAddress = platform::ProcessEnvironment("CORVALA_WEBSITE").value_or(CORVALA_WEBSITE_ADDRESS);

    StartupPlatform startupPlatform{shell, instanceLock, instanceChannel, adapters, drives, secureAttention,
                                    firewall, messages,
                                    [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }};
    StartupSequence startup(startupPlatform, inputs);
    const StartupResult result = startup.Run();
    if (result.outcome == StartupOutcome::End) return 0;

    QApplication* app = qobject_cast<QApplication*>(QApplication::instance());
    if (!app) app = new QApplication(argc, argv);
    QApplication::setApplicationName("Corvala");
    QApplication::setQuitOnLastWindowClosed(true);

    // Windows in their creation order; the rest join as they are built.
    TFormMainCR mainWindow;
    if (processState().EventsSuspended) return 0;
    if (!processState().StartHidden) mainWindow.show();
    return app->exec();
}
