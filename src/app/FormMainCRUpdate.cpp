// The main window's part of the update and of the printer driver's
// download: the update tool image's hint, the host panel as the update
// notice with its progress bar, and the download window. The logic is
// the core's (update/Update.h, features/PrinterDriverDownload.h).

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CopyIcon.h"
#include "app/FormMainCR.h"
#include "app/FormVelmoraPrinterDownload.h"
#include "base/ProcessState.h"
#include "core/AppCore.h"
#include "i18n/Translator.h"
#include "widgets/WindowChrome.h"

namespace corvala {

void TFormMainCR::CreateUpdateControls() {
    pbUpdate = new QProgressBar(panHost);
    pbUpdate->setObjectName("pbUpdate");
    pbUpdate->setRange(0, 100);
    pbUpdate->setTextVisible(false);
    pbUpdate->setFixedHeight(12);
    pbUpdate->hide();
    auto* host = qobject_cast<QVBoxLayout*>(panHost->layout());
    host->insertWidget(host->indexOf(btnConnect) + 1, pbUpdate);
}

void TFormMainCR::ShowUpdateTool(const QString& hint) {
    imgUpdate->setToolTip(hint);
    // A branded build shows no tool images.
    imgUpdate->setVisible(!processState().Branded);
}

void TFormMainCR::ShowUpdateNotice(const QString& heading, bool offer) {
    // The site's "What's new" lines are text, never markup.
    lblHeading->setTextFormat(Qt::PlainText);
    lblHeading->setText(heading);
    lblHeading->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblHeading->setTextInteractionFlags(Qt::NoTextInteraction);
    // The heading takes whatever height the panel has: the main button stays
    // at the panel's foot.
    qobject_cast<QVBoxLayout*>(panHost->layout())->setStretchFactor(lblHeading, 1);
    for (QWidget* widget : {static_cast<QWidget*>(lblYourId), static_cast<QWidget*>(lblId),
                            static_cast<QWidget*>(lblPasswordCaption), static_cast<QWidget*>(lblPassword),
                            static_cast<QWidget*>(lblConnectLine)})
        widget->hide();
    if (offer) {
        if (ImageCopy) ImageCopy->hide();
        if (btnCollapse) btnCollapse->hide();
    }
    lblCaption->setIndent(10);
    btnConnect->setText(translate("Download"));
    btnConnect->setEnabled(true);
    btnConnect->show();
    pbUpdate->setValue(0);
    pbUpdate->show();
    TimerActivityAnimation->stop();
    if (auto* activity = panHost->findChild<QWidget*>("shpActivity")) activity->hide();
    if (!processState().MasterMode) setFixedSize(sizeHint());
}

void TFormMainCR::SetUpdateButton(const char* englishKey) {
    btnConnect->setText(translate(QString::fromLatin1(englishKey)));
    btnConnect->repaint();
}

void TFormMainCR::SetUpdateProgress(int percent) {
    pbUpdate->setValue(percent);
    pbUpdate->show();
}

void TFormMainCR::CloseMainWindow() { close(); }

TfrmVelmoraPrinterDownload* TFormMainCR::PrinterDownloadWindow() {
    if (!frmVelmoraPrinterDownload) {
        frmVelmoraPrinterDownload = new TfrmVelmoraPrinterDownload(this);
        connect(frmVelmoraPrinterDownload, &TfrmVelmoraPrinterDownload::Abort, this,
                [this] { FCore.PrinterDownload().AbortClick(); });
    }
    return frmVelmoraPrinterDownload;
}

void TFormMainCR::ShowPrinterDownload(const QString& caption, const QString& status) {
    PrinterDownloadWindow()->ShowDownload(caption, status);
}

void TFormMainCR::SetPrinterProgress(int percent) { PrinterDownloadWindow()->SetProgress(percent); }

void TFormMainCR::ClosePrinterDownload() { PrinterDownloadWindow()->CloseDownload(); }

}  // namespace corvala
