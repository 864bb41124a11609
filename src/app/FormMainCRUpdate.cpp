// The main window's part of the update and of the printer driver's
// download: the update tool image on the caption bar, the host panel as the
// update notice with its progress bar, and the download window. The logic is
// the core's (update/Update.h, features/PrinterDriverDownload.h).

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
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

// The update tool image: an arrow into a tray, in IconColour; shown once an
// update is offered, a press shows the offer.
class TUpdateToolImage : public QWidget {
public:
    explicit TUpdateToolImage(std::function<void()> pressed, QWidget* parent)
        : QWidget(parent), FPressed(std::move(pressed)) {
        setObjectName("imgUpdate");
        setFixedSize(30, 30);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const ThemeColours& theme = processState().Theme;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), ToQColor(underMouse() ? theme.CaptionButtonHoverColour : theme.CaptionColour));
        p.setPen(QPen(ToQColor(theme.IconColour), 2));
        const QPointF c = QRectF(rect()).center();
        p.drawLine(c + QPointF(0, -8), c + QPointF(0, 4));
        p.drawLine(c + QPointF(-4, 0), c + QPointF(0, 4));
        p.drawLine(c + QPointF(4, 0), c + QPointF(0, 4));
        p.drawLine(c + QPointF(-8, 8), c + QPointF(8, 8));
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) FPressed();
    }

private:
    std::function<void()> FPressed;
};

void TFormMainCR::CreateUpdateControls() {
    imgUpdate = new TUpdateToolImage([this] { FCore.Update().OfferClick(); }, panCaption);
    auto* caption = qobject_cast<QHBoxLayout*>(panCaption->layout());
    caption->insertWidget(caption->indexOf(lblCaption) + 1, imgUpdate);

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
