#include "features/PrinterDriverDownload.h"

#include <QFileInfo>

#include "base/Log.h"
#include "i18n/Translator.h"
#include "web/HttpClient.h"

namespace corvala {

TPrinterDriverDownload::TPrinterDriverDownload(PrinterDownloadConfig config, IPrinterDownloadEvents& events,
                                               QObject* parent)
    : QObject(parent), FConfig(std::move(config)), FEvents(events) {}

TPrinterDriverDownload::~TPrinterDriverDownload() = default;

QString TPrinterDriverDownload::InstallerPath() const {
    return FConfig.ProgramFolder + "/" + PrinterInstallerName;
}

void TPrinterDriverDownload::MenuClick() {
    if (FTransfer) return;  // its window is open
    if (QFileInfo(InstallerPath()).isFile()) {
        FEvents.OpenFile(InstallerPath());
        return;
    }
    const QString product = QString::fromLatin1(PrinterProductName);
    const QString question =
        FormatText(translate("%s allows you to print any local document on remote printer, as well as remote "
                             "documents on a local printer."),
                   {product}) +
        "\n" + FormatText(translate("Do you want to download and install %s driver?"), {product});
    if (FEvents.ConfirmPrinterDownload(question)) DownloadNow();
}

void TPrinterDriverDownload::DownloadNow() {
    const QString caption = FormatText(translate("Downloading %s driver"), {QString::fromLatin1(PrinterProductName)});
    FEvents.ShowPrinterDownload(caption, caption + ". " + translate("Please wait..."));
    AbortButtonIsClicked = false;
    FEvents.SetPrinterProgress(0);
    web::HttpRequest request{FConfig.WebSiteAddress + "/download/" + PrinterInstallerName,
                             FConfig.RootCertificateFile, MaxPrinterInstallerBytes, InstallerPath()};
    FTransfer = std::make_unique<web::HttpTransfer>(
        request,
        [this](const web::HttpProgress& progress) {
            const bool stop = AbortButtonIsClicked || FEvents.EventsSuspended();
            if (const auto percent = web::FollowProgress(FTransfer.get(), progress, stop))
                FEvents.SetPrinterProgress(*percent);
        },
        [this](const web::HttpResult& result) { Received(result); }, this);
}

void TPrinterDriverDownload::AbortClick() {
    AbortButtonIsClicked = true;
    if (FTransfer) FTransfer->Abort();
}

void TPrinterDriverDownload::Received(const web::HttpResult& result) {
    // The transfer reports from inside itself: it goes once that returned.
    FTransfer.release()->deleteLater();
    const bool ok = result.Ok && QFileInfo(InstallerPath()).isFile();
    if (ok) {
        FEvents.OpenFile(InstallerPath());
    } else {
        qCWarning(lcCore) << "printer driver download failed:"
                          << (result.Aborted ? QStringLiteral("aborted by the user") : result.Error);
        FEvents.ShowPrinterError(translate("Please check Internet connection."));
    }
    FEvents.ClosePrinterDownload();
    emit DownloadFinished(ok);
}

}  // namespace corvala
