#include "update/Update.h"

#include <QFile>
#include <QFileInfo>

#include "i18n/Translator.h"
#include "update/UpdateLog.h"
#include "update/UpdateSignature.h"
#include "web/HttpClient.h"

namespace corvala::update {

Q_LOGGING_CATEGORY(lcUpdate, "corvala.update", QtInfoMsg)

namespace {

// What an abort ends the download with; the user sees the download page
// that opens instead, so the text only goes to the log.
constexpr char CanceledText[] = "Download canceled. Please download manually.";

}  // namespace

TUpdate::TUpdate(UpdateConfig config, IUpdateEvents& events, QObject* parent)
    : QObject(parent), FConfig(std::move(config)), FEvents(events) {}

TUpdate::~TUpdate() = default;

QString TUpdate::UpdatePath() const { return FConfig.ProgramFolder + "/" + UpdateFile; }

void TUpdate::Release() {
    // Called from the transfer's own report: it goes once that has returned.
    if (FTransfer) FTransfer.release()->deleteLater();
}

// ---- the check -------------------------------------------------------------

void TUpdate::StartCheck() {
    web::HttpRequest request{FConfig.WebSiteAddress + VersionPath, FConfig.RootCertificateFile,
                             MaxVersionAnswerBytes, {}};
    FTransfer = std::make_unique<web::HttpTransfer>(
        request, nullptr, [this](const web::HttpResult& result) { VersionReceived(result); }, this);
}

void TUpdate::VersionReceived(const web::HttpResult& result) {
    Release();
    if (!result.Ok) {
        qCInfo(lcUpdate) << "no version answer:" << result.Error;
        emit CheckFinished();
        return;
    }
    FAnswer = ParseVersionAnswer(result.Body);
    if (!FAnswer) {
        emit CheckFinished();
        return;
    }
    const QString changes = FormatText(QString::fromLatin1(ChangesPath), {FConfig.LanguageCode});
    web::HttpRequest request{FConfig.WebSiteAddress + changes, FConfig.RootCertificateFile, MaxChangesBytes, {}};
    FTransfer = std::make_unique<web::HttpTransfer>(
        request, nullptr, [this](const web::HttpResult& result) { ChangesReceived(result); }, this);
}

void TUpdate::ChangesReceived(const web::HttpResult& result) {
    Release();
    // Without its change list the version answer still counts.
    if (result.Ok) FWhatsNew = ParseWhatsNew(result.Body);
    else qCInfo(lcUpdate) << "no \"What's new\":" << result.Error;
    ShowCheckOutcome();
    emit CheckFinished();
}

QString TUpdate::WhatsNewText() const {
    return "\n\n" + translate("What's new:") + "\n" + FWhatsNew.join('\n');
}

void TUpdate::ShowCheckOutcome() {
    switch (DecideUpdate(*FAnswer, FConfig.OwnVersion)) {
        case UpdateOutcome::Nothing:
            qCInfo(lcUpdate) << "this version is current; the site offers" << FAnswer->OfferedVersionText;
            return;
        case UpdateOutcome::Offer:
            qCInfo(lcUpdate) << "version" << FAnswer->OfferedVersionText << "is offered";
            FState = State::Offered;
            FEvents.ShowUpdateTool(FormatText(translate("The new version %s is available"),
                                              {FAnswer->OfferedVersionText}));
            return;
        case UpdateOutcome::OutOfDate:
            qCInfo(lcUpdate) << "this version is below the minimum" << FAnswer->Minimum;
            FState = State::DownloadShown;
            FEvents.ShowUpdateNotice(
                FormatText(translate("This version of the software is out of date. You must download the current "
                                     "version %s to continue using the software."),
                           {FAnswer->OfferedVersionText}) +
                    WhatsNewText(),
                false);
            return;
    }
}

void TUpdate::OfferClick() {
    if (FState != State::Offered) return;
    FState = State::DownloadShown;
    FEvents.ShowUpdateNotice(
        FormatText(translate("The new version %s is available"), {FAnswer->OfferedVersionText}) + "." +
            WhatsNewText(),
        true);
}

// ---- the download ------------------------------------------------------------

bool TUpdate::MainButtonClick() {
    switch (FState) {
        case State::DownloadShown: Download(); return true;
        case State::Downloading:
            AbortButtonIsClicked = true;
            FEvents.SetBusyCursor(true);
            if (FTransfer) FTransfer->Abort();
            return true;
        case State::Finished: return true;
        default: return false;
    }
}

void TUpdate::Download() {
    if (FEvents.AutostartMarkerExists()) {
        FEvents.ShowUpdateWarning(translate("Please disable autostart!"));
        return;
    }
    FEvents.EndRelayProcesses();
    AbortButtonIsClicked = false;
    FState = State::Downloading;
    FEvents.SetUpdateButton("Abort");
    FEvents.SetUpdateProgress(0);
    web::HttpRequest request{FConfig.WebSiteAddress + ExecutablePath, FConfig.RootCertificateFile,
                             MaxExecutableBytes, UpdatePath()};
    FTransfer = std::make_unique<web::HttpTransfer>(
        request,
        [this](const web::HttpProgress& progress) {
            const bool stop = AbortButtonIsClicked || FEvents.EventsSuspended();
            if (const auto percent = web::FollowProgress(FTransfer.get(), progress, stop))
                FEvents.SetUpdateProgress(*percent);
        },
        [this](const web::HttpResult& result) { ExecutableReceived(result); }, this);
}

void TUpdate::ExecutableReceived(const web::HttpResult& result) {
    Release();
    if (!result.Ok) {
        qCWarning(lcUpdate) << "the update was not downloaded:"
                            << (result.Aborted ? QString::fromLatin1(CanceledText) : result.Error);
        Finish(true);
        return;
    }
    web::HttpRequest request{FConfig.WebSiteAddress + ExecutablePath + SignatureSuffix,
                             FConfig.RootCertificateFile, MaxSignatureBytes, {}};
    FTransfer = std::make_unique<web::HttpTransfer>(
        request, nullptr, [this](const web::HttpResult& result) { SignatureReceived(result); }, this);
}

void TUpdate::SignatureReceived(const web::HttpResult& result) {
    Release();
    const QString path = UpdatePath();
    const SignatureCheck check = VerifyFileSignature(path.toStdString(), result.Ok ? result.Body : QByteArray(),
                                                     FConfig.PublicKeyPem, MaxExecutableBytes);
    if (check != SignatureCheck::Valid) {
        // Whoever sits between this computer and the site must not get a
        // program of theirs run here.
        qCWarning(lcUpdate) << "downloaded update refused and deleted:" << SignatureCheckName(check)
                            << (result.Ok ? QString() : result.Error);
        QFile::remove(path);
        FEvents.ShowUpdateWarning(translate(update_texts::SignatureRefused));
        Finish(true);
        return;
    }
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                    QFileDevice::ExeOther);
    const bool started = QFileInfo::exists(path) && FEvents.StartProgram(path, "/from_application");
    if (!started) qCWarning(lcUpdate) << "the downloaded update could not be started:" << path;
    Finish(!started);
}

void TUpdate::Finish(bool openDownloadPage) {
    FState = State::Finished;
    FEvents.SetBusyCursor(false);
    if (openDownloadPage) FEvents.OpenWebAddress(FConfig.WebSiteAddress + DownloadsPage);
    FEvents.CloseForUpdate();
}

}  // namespace corvala::update
