// Entry of `cr`: the start-up routine, then the platform objects, the core and
// the windows, and the message loop. Every long-lived object is made here, in
// this order, and nowhere else.

#include <QApplication>
#include <QSessionManager>
#include <QStandardPaths>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "app/FormMainCR.h"
#include "app/GuiStartupMessages.h"
#include "app/PayloadArchive.h"
#include "app/StartupSequence.h"
#include "app/TerminationSignal.h"
#include "app/VersionMarker.h"
#include "base/EmbeddedResource.h"
#include "base/Log.h"
#include "core/AppCore.h"
#include "core/PayloadIntegrity.h"
#include "platform/linux/FlockSingleInstance.h"
#include "platform/linux/LinuxDesktopPrograms.h"
#include "platform/linux/LinuxDriveIdentification.h"
#include "platform/linux/LinuxNetworkAdapters.h"
#include "platform/linux/LinuxProcessTerminator.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/LinuxUserSession.h"
#include "platform/linux/LocalSocketInstanceChannel.h"
#include "platform/linux/LogindSessionMonitor.h"
#include "platform/linux/LogindSystemControl.h"
#include "platform/linux/QtClipboard.h"
#include "platform/linux/RuntimeFolder.h"
#include "platform/linux/XFixesCursorNames.h"
#include "platform/linux/XShmDesktopCapture.h"
#include "platform/linux/XTestInputInjector.h"
#include "platform/linux/XTestSecureAttention.h"
#include "relay/FirewallRules.h"
#include "relay/UpnpPortForwarding.h"
#include "screen/ScreenshotThread.h"
#include "session/ConnectArguments.h"

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
    // Before anything can start a process that would inherit it.
    const QString environmentPassword = TakeConnectPasswordFromEnvironment();

    lx::LinuxShell shell;
    lx::FlockSingleInstance instanceLock(lx::RuntimeFolder() / "corvalamutex");
    lx::LocalSocketInstanceChannel instanceChannel;
    lx::LinuxNetworkAdapters adapters;
    lx::LinuxDriveIdentification drives;
    lx::XTestSecureAttention secureAttention;
    QtProcessRunner firewallRunner;
    FirewallRules firewall(firewallRunner, platform::programfiles::RelayServer);
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

    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    std::optional<ConnectRequest> connectRequest;
    if (const std::optional<ConnectOptions> connect = ParseConnectArguments(arguments)) {
        std::optional<QString> password = environmentPassword;
        if (connect->PasswordFromStdin) password = ReadConnectPassword(std::cin);
        if (password) connectRequest = ConnectRequest{connect->Id, *password};
    }
    if (connectRequest) {
        inputs.connectRequest = EncodeConnectRequest(*connectRequest).toStdString();
        inputs.connectArguments = ("--connect \"" + connectRequest->id + "\"").toStdString();
        inputs.connectPassword = connectRequest->password.toStdString();
    }

    StartupPlatform startupPlatform{shell, instanceLock, instanceChannel, adapters, drives, secureAttention,
                                    firewall, messages,
                                    [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }};
    startupPlatform.passConnectPassword = [](const std::string& password) {
        ::setenv(ConnectPasswordVariable, password.c_str(), 1);
    };
    std::unique_ptr<THostCapture> hostCapture;
    startupPlatform.startCaptureThread = [&hostCapture] {
        hostCapture = std::make_unique<THostCapture>(std::make_unique<lx::XShmDesktopCapture>());
    };
    const StartupResult result = StartupSequence(startupPlatform, inputs).Run();
    if (result.outcome == StartupOutcome::End) return 0;

    QApplication* app = qobject_cast<QApplication*>(QApplication::instance());
    if (!app) app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    InstallLogFile(QString::fromStdString((inputs.folders.program / LogFileName).string()));

    lx::LogindSessionMonitor sessionMonitor;
    lx::XTestInputInjector injector;
    lx::XFixesCursorNames cursorNames;
    lx::LogindSystemControl systemControl;
    lx::LinuxDesktopPrograms desktopPrograms;
    lx::XShmDesktopCapture screenshots;
    lx::QtClipboard clipboard;
    lx::LinuxUserSession userSession;
    CorePlatform corePlatform{shell, injector, cursorNames};
    corePlatform.SessionMonitor = &sessionMonitor;
    corePlatform.System = &systemControl;
    corePlatform.Programs = &desktopPrograms;
    corePlatform.Screenshots = &screenshots;
    corePlatform.Clipboard = &clipboard;
    corePlatform.UserSession = &userSession;
    // The router forwards the relay's outside port when it speaks UPnP; without
    // one the port is drawn at random and the routing window explains it.
    UpnpPortForwarding portForwarding;
    corePlatform.PortForwarding = &portForwarding;
    corePlatform.HostCapture = hostCapture.get();
    lx::LinuxProcessTerminator processTerminator;
    corePlatform.Processes = &processTerminator;
    corePlatform.LoadEngine = [](const QString& folder) { return TWebRtcClientPort::Load(folder); };
    CoreEnvironment coreEnvironment;
    coreEnvironment.Folders = inputs.folders;
    coreEnvironment.MacAddressText = QString::fromStdString(result.macAddressText);
    coreEnvironment.MachineFingerprint = QString::fromStdString(result.machineFingerprint);
    coreEnvironment.SupportContact = CORVALA_SUPPORT_CONTACT;
    coreEnvironment.WebSiteAddress = QString::fromStdString(inputs.webSiteAddress);
    coreEnvironment.ToolsAddress =
        QString::fromStdString(platform::ProcessEnvironment("CORVALA_TOOLS").value_or(CORVALA_TOOLS_ADDRESS));
    coreEnvironment.TrustedFiles = DeliveredDigests();
    coreEnvironment.ServiceStarted = result.switches.fromService;
    coreEnvironment.CredentialsFile =
        QString::fromStdString(platform::ProcessEnvironment("CORVALA_CREDENTIALS_FILE").value_or(""));
    coreEnvironment.OwnVersion = OwnVersionNumber();
    TAppCore core(coreEnvironment, corePlatform);

    MainWindowEnvironment windowEnvironment;
    windowEnvironment.WebSiteAddress = coreEnvironment.WebSiteAddress;
    windowEnvironment.DesktopCopyPicture = hostCapture ? &hostCapture->Picture() : nullptr;
    TFormMainCR mainWindow(core, windowEnvironment);
    if (!core.Create(mainWindow) || processState().EventsSuspended) return 0;

    platform::linuxos::InstanceMessageServer instanceServer(
        [&core](const platform::InstanceMessage& m) { core.HandleInstanceMessage(m); });
    instanceServer.Listen(result.ownsInstanceLock);
    // Logout ends the session's processes with SIGTERM: the program then
    // closes like at a session end, without questions, still saving its
    // settings, and ends even with a message box open.
    TTerminationSignal termination;
    QObject::connect(&termination, &TTerminationSignal::Received, &mainWindow, &TFormMainCR::EndSession);
    QObject::connect(app, &QGuiApplication::commitDataRequest, &mainWindow,
                     [&mainWindow](QSessionManager&) { mainWindow.EndSession(); });
    QObject::connect(&mainWindow, &QObject::destroyed, app, &QApplication::quit);
    mainWindow.setAttribute(Qt::WA_DeleteOnClose, false);
    QObject::connect(app, &QApplication::lastWindowClosed, app, [&mainWindow, app] {
        if (!mainWindow.isVisible() && processState().EventsSuspended) app->quit();
    });
    if (!processState().StartHidden) mainWindow.show();
    if (connectRequest) core.ConnectFromCommandLine(*connectRequest);
    return app->exec();
}
