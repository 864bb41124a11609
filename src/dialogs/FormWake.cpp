#include "dialogs/FormWake.h"

#include "base/ProcessState.h"
#include "i18n/Translator.h"
#include "i18n/WindowTexts.h"
#include "widgets/FormMessage.h"
#include "widgets/WindowChrome.h"

#include <QApplication>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvala {

TfrmWake::TfrmWake(WakeTable& table, QString tablePath, IDatagramSender& sender, std::function<void()> openManual,
                   QWidget* parent)
    : QDialog(parent), FTable(table), FTablePath(std::move(tablePath)), FSender(sender),
      FOpenManual(std::move(openManual)) {
    setObjectName("frmWake");
    setModal(true);
    const auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        return l;
    };
    const auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMinimumWidth(220);
        connect(e, &QLineEdit::textChanged, this, &TfrmWake::UpdateWakeButton);
        return e;
    };
    lblHost = label("lblHost");
    edtHost = edit("edtHost");
    lblPort = label("lblPort");
    edtPort = edit("edtPort");
    lblMac = label("lblMac");
    edtMac = edit("edtMac");
    lblLearn = label("lblLearn");
    lblLearn->setCursor(Qt::PointingHandCursor);
    lblLearn->setAttribute(Qt::WA_Hover);
    lblLearn->installEventFilter(this);
    pbWait = new QProgressBar(this);
    pbWait->setObjectName("pbWait");
    pbWait->setRange(0, WaitSteps);
    pbWait->setTextVisible(false);

    panBottom = new QWidget(this);
    panBottom->setObjectName("panBottom");
    panBottom->setAutoFillBackground(true);
    btnWakeUp = new QPushButton(panBottom);
    btnWakeUp->setObjectName("btnWakeUp");
    btnCancel = new QPushButton(panBottom);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout(panBottom);
    buttons->addStretch(1);
    buttons->addWidget(btnWakeUp);
    buttons->addWidget(btnCancel);

    auto* form = new QFormLayout;
    form->setContentsMargins(12, 12, 12, 0);
    form->addRow(lblHost, edtHost);
    form->addRow(lblPort, edtPort);
    form->addRow(lblMac, edtMac);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(form);
    auto* rest = new QVBoxLayout;
    rest->setContentsMargins(12, 0, 12, 6);
    rest->addWidget(lblLearn);
    rest->addWidget(pbWait);
    outer->addLayout(rest);
    outer->addWidget(panBottom);

    FProgress.setInterval(1000);
    connect(&FProgress, &QTimer::timeout, this, &TfrmWake::ProgressTick);
    connect(btnWakeUp, &QPushButton::clicked, this, &TfrmWake::WakeUpClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmWake::DataToControls(const QString& text) {
    const WakeFields fields = corvala::DataToControls(FTable, text);
    FRemoteID = fields.RemoteID;
    setWindowTitle(fields.Title);
    edtHost->setText(fields.Host);
    edtPort->setText(fields.Port);
    edtMac->setText(fields.MacAddress);
}

int TfrmWake::Execute() {
    exec();
    return Tag;
}

void TfrmWake::showEvent(QShowEvent* event) {
    static const TextTarget targets[] = {
        {"lblHost", "text", TranslationKey("Host:")},
        {"lblPort", "text", TranslationKey("Port:")},
        {"lblMac", "text", TranslationKey("MAC Address:")},
        {"btnWakeUp", "text", TranslationKey("Wake Up!")},
        {"btnCancel", "text", TranslationKey("Cancel")},
        {"lblLearn", "text", TranslationKey("Learn how to wake up remote PC")},
    };
    translateTexts(this, targets);
    const ThemeColours& theme = processState().Theme;
    QPalette link = lblLearn->palette();
    link.setColor(QPalette::WindowText, ToQColor(theme.LinkColour));
    lblLearn->setPalette(link);
    QPalette panel = panBottom->palette();
    panel.setColor(QPalette::Window,
                   theme.PanelColour ? ToQColor(*theme.PanelColour) : QApplication::palette().color(QPalette::Button));
    panBottom->setPalette(panel);
    pbWait->setValue(0);
    Tag = 0;
    UpdateWakeButton();
    QDialog::showEvent(event);
}

bool TfrmWake::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblLearn) {
        QFont font = lblLearn->font();
        switch (event->type()) {
            case QEvent::Enter:
            case QEvent::Leave:
                font.setUnderline(event->type() == QEvent::Enter);
                lblLearn->setFont(font);
                break;
            case QEvent::MouseButtonRelease:
                if (FOpenManual) FOpenManual();
                return true;
            default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmWake::UpdateWakeButton() {
    btnWakeUp->setEnabled(!edtHost->text().trimmed().isEmpty() && !edtPort->text().trimmed().isEmpty() &&
                          !edtMac->text().trimmed().isEmpty());
}

void TfrmWake::WakeUpClick() {
    btnWakeUp->setEnabled(false);
    const std::optional<QString> error =
        WakeUp(FTable, FTablePath, FRemoteID, edtHost->text(), edtPort->text(), edtMac->text(), FSender);
    if (error) {
        UpdateWakeButton();
        ShowAppMessage(true, MessageKind::Error, translate(QStringLiteral("Error")) + QStringLiteral(". ") + *error);
        return;
    }
    pbWait->setValue(0);
    FProgress.start();
}

void TfrmWake::ProgressTick() {
    pbWait->setValue(pbWait->value() + 1);
    if (pbWait->value() < WaitSteps) return;
    FProgress.stop();
    Tag = 1;
    accept();
}

void TfrmWake::done(int result) {
    // However the window closes, the wait ends with it.
    FProgress.stop();
    QDialog::done(result);
}

}  // namespace corvala
