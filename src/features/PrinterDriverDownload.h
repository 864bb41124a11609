#pragma once
// The printer driver's menu entry: the installer of the "Velmora Printer"
// product is downloaded from the web site on first use (after a question)
// and opened through the shell; once it is in the program folder, the entry
// opens it again without asking. A download that is aborted or fails leaves
// no installer behind: it is written under a temporary name and only renamed
// when it arrived whole.

#include <QObject>
#include <QString>

#include <memory>

namespace corvala::web {
class HttpTransfer;
struct HttpResult;
}  // namespace corvala::web

namespace corvala {

inline constexpr char PrinterProductName[] = "Velmora Printer";
inline constexpr char PrinterInstallerName[] = "VelmoraPrinterInstall_1.0.0.0.msi";
inline constexpr qint64 MaxPrinterInstallerBytes = qint64(256) * 1024 * 1024;

// What the download needs from the rest of the program. Texts arrive translated.
class IPrinterDownloadEvents {
public:
    // Yes/no question, modal; true for yes.
    virtual bool ConfirmPrinterDownload(const QString& text) = 0;
    // The download window (modeless) with its caption, status line, an empty
    // progress bar and the Abort button.
    virtual void ShowPrinterDownload(const QString& caption, const QString& status) = 0;
    virtual void SetPrinterProgress(int percent) = 0;
    virtual void ClosePrinterDownload() = 0;
    virtual void ShowPrinterError(const QString& text) = 0;  // modal
    virtual bool EventsSuspended() const = 0;
    // Asks the shell to "open" a file (the installer).
    virtual void OpenFile(const QString& path) = 0;

protected:
    ~IPrinterDownloadEvents() = default;
};

struct PrinterDownloadConfig {
    QString WebSiteAddress;
    QString ProgramFolder;
    QString RootCertificateFile;
};

class TPrinterDriverDownload : public QObject {
    Q_OBJECT
public:
    TPrinterDriverDownload(PrinterDownloadConfig config, IPrinterDownloadEvents& events, QObject* parent = nullptr);
    ~TPrinterDriverDownload() override;

    // The menu entry.
    void MenuClick();
    // The window's Abort button, or its close cross: the download stops at
    // its next progress report.
    void AbortClick();
    bool Downloading() const { return FTransfer != nullptr; }
    QString InstallerPath() const;

signals:
    // The download ended, whichever way; for tests.
    void DownloadFinished(bool ok);

private:
    void DownloadNow();
    void Received(const web::HttpResult& result);

    PrinterDownloadConfig FConfig;
    IPrinterDownloadEvents& FEvents;
    bool AbortButtonIsClicked = false;
    std::unique_ptr<web::HttpTransfer> FTransfer;
};

}  // namespace corvala
