#pragma once
// The update check and the self-update: once per start the web site is asked
// for the current and the minimum version; a newer version is offered through
// the update tool image, a version below the minimum turns the host panel
// into the out-of-date notice. "Download" fetches the new executable into the
// program folder as "cr_update" together with its signature, and starts it
// only when the signature verifies against the built-in key; the started copy
// replaces "cr" at its own start. Every way out closes the program.
//
// The requests run off the main thread (web::HttpTransfer); every decision
// here runs on the main thread.

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

#include "update/VersionAnswer.h"

namespace corvala::web {
class HttpTransfer;
struct HttpResult;
}  // namespace corvala::web

namespace corvala::update {

// The notice shown when a downloaded executable fails its signature check.
namespace update_texts {
inline constexpr char SignatureRefused[] =
    "The downloaded update is not signed by the publisher. It was deleted and not started.";
}  // namespace update_texts

// What the update needs from the rest of the program. Texts arrive translated.
class IUpdateEvents {
public:
    // The update tool image, visible, with its hint.
    virtual void ShowUpdateTool(const QString& hint) = 0;
    // The host panel shows `heading` (plain text) instead of the identity,
    // the main button reads "Download", the progress bar shows empty.
    // `offer`: the user asked for it (the copy and collapse buttons go too);
    // otherwise the out-of-date notice.
    virtual void ShowUpdateNotice(const QString& heading, bool offer) = 0;
    // The main button's caption by its English key ("Download", "Abort").
    virtual void SetUpdateButton(const char* englishKey) = 0;
    virtual void SetUpdateProgress(int percent) = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    virtual bool AutostartMarkerExists() const = 0;
    virtual bool EventsSuspended() const = 0;
    virtual void ShowUpdateWarning(const QString& text) = 0;  // modal
    // Ends every relay process ("crserver..."): it runs from the folder the
    // new copy replaces files in.
    virtual void EndRelayProcesses() = 0;
    virtual void OpenWebAddress(const QString& address) = 0;
    // Starts a program; false when it could not be started.
    virtual bool StartProgram(const QString& path, const QString& parameters) = 0;
    // Closes the program without questions.
    virtual void CloseForUpdate() = 0;

protected:
    ~IUpdateEvents() = default;
};

struct UpdateConfig {
    QString WebSiteAddress;
    QString ProgramFolder;
    QString RootCertificateFile;
    QString LanguageCode;
    int OwnVersion = 0;
    // Ed25519 public key (PEM) that the downloaded executable must be signed with.
    std::string PublicKeyPem;
};

// The web site's paths and the file names in the program folder.
inline constexpr char VersionPath[] = "/download/version.html";
inline constexpr char ChangesPath[] = "/download/changes-%s.html";
inline constexpr char ExecutablePath[] = "/download/corvala";
inline constexpr char SignatureSuffix[] = ".sig";
inline constexpr char DownloadsPage[] = "/downloads/";
inline constexpr char UpdateFile[] = "cr_update";
// Bounds on what the site may send.
inline constexpr qint64 MaxVersionAnswerBytes = 256;
inline constexpr qint64 MaxChangesBytes = 64 * 1024;
inline constexpr qint64 MaxExecutableBytes = qint64(512) * 1024 * 1024;
inline constexpr qint64 MaxSignatureBytes = 1024;

class TUpdate : public QObject {
    Q_OBJECT
public:
    enum class State { NoUpdate, Offered, DownloadShown, Downloading, Finished };

    TUpdate(UpdateConfig config, IUpdateEvents& events, QObject* parent = nullptr);
    ~TUpdate() override;

    // The check at start: asks the site and shows what it answered. Returns
    // at once.
    void StartCheck();
    // The update tool image was pressed.
    void OfferClick();
    // The main button was pressed; false when it is not the update's
    // ("Connect..." then does its normal work).
    bool MainButtonClick();
    // The main button reads "Download" (or "Abort"): the language stays,
    // closing warns about automatic start, branding keeps the button.
    bool DownloadPending() const { return FState == State::DownloadShown || FState == State::Downloading; }
    State CurrentState() const { return FState; }
    const QStringList& WhatsNewList() const { return FWhatsNew; }

signals:
    // The check ended (an answer shown or not); for tests.
    void CheckFinished();

private:
    void VersionReceived(const web::HttpResult& result);
    void ChangesReceived(const web::HttpResult& result);
    void ShowCheckOutcome();
    QString WhatsNewText() const;
    void Download();
    void ExecutableReceived(const web::HttpResult& result);
    void SignatureReceived(const web::HttpResult& result);
    // The manual download page, then the program closes.
    void Finish(bool openDownloadPage);
    // Hands the finished request's object over to the event loop (it is
    // also this object's child, so it goes at the latest with it).
    void Release();
    QString UpdatePath() const;

    UpdateConfig FConfig;
    IUpdateEvents& FEvents;
    State FState = State::NoUpdate;
    std::optional<VersionAnswer> FAnswer;
    QStringList FWhatsNew;
    bool AbortButtonIsClicked = false;
    std::unique_ptr<web::HttpTransfer> FTransfer;
};

}  // namespace corvala::update
