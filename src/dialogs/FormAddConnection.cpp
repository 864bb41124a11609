#include "dialogs/FormAddConnection.h"

#include "widgets/FormMessage.h"
#include "session/ConnectionEntries.h"
#include "i18n/Translator.h"
#include "i18n/WindowTexts.h"
#include "settings/Settings.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvala {

// The strip about port forwarding: #DB7A7A at rest, #E29696 under the mouse,
// #BD5757 while pressed; a click opens the routing window.
class TWarningStrip : public QWidget {
public:
    explicit TWarningStrip(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_Hover);
        setCursor(Qt::PointingHandCursor);
    }
    std::function<void()> OnClick;

protected:
    void paintEvent(QPaintEvent*) override {
        QColor back(0xDB, 0x7A, 0x7A);
        if (FPressed)
            back = QColor(0xBD, 0x57, 0x57);
        else if (underMouse())
            back = QColor(0xE2, 0x96, 0x96);
        QPainter(this).fillRect(rect(), back);
    }
    void mousePressEvent(QMouseEvent* e) override {
        FPressed = e->button() == Qt::LeftButton;
        update();
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        const bool click = FPressed && rect().contains(e->position().toPoint());
        FPressed = false;
        update();
        if (click && OnClick)
            OnClick();
    }
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }

private:
    bool FPressed = false;
};

TFormAddConnection::TFormAddConnection(Settings& settings, QWidget* parent)
    : QDialog(parent), FSettings(settings) {
    setObjectName("FormAddConnection");
    setModal(true);

    panWarning = new TWarningStrip(this);
    panWarning->setObjectName("panWarning");
    lblWarning = new QLabel(panWarning);
    lblWarning->setObjectName("lblWarning");
    lblWarning->setTextFormat(Qt::PlainText);
    lblWarning->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette white = lblWarning->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    lblWarning->setPalette(white);
    btnWarningClose = new QToolButton(panWarning);
    btnWarningClose->setObjectName("btnWarningClose");
    btnWarningClose->setText(QStringLiteral("\u00D7"));
    btnWarningClose->setAutoRaise(true);
    btnWarningClose->setFocusPolicy(Qt::NoFocus);
    auto* stripLayout = new QHBoxLayout(panWarning);
    stripLayout->setContentsMargins(8, 4, 4, 4);
    stripLayout->addWidget(lblWarning, 1);
    stripLayout->addWidget(btnWarningClose);
    panWarning->OnClick = [this] {
        if (OpenRoutingWindow)
            OpenRoutingWindow();
    };

    lblID = new QLabel(this);
    lblID->setObjectName("lblID");
    cbID = new QComboBox(this);
    cbID->setObjectName("cbID");
    cbID->setEditable(true);
    cbID->setInsertPolicy(QComboBox::NoInsert);
    cbID->setMinimumWidth(260);
    btnAddressBook = new QToolButton(this);
    btnAddressBook->setObjectName("btnAddressBook");
    btnAddressBook->setText(QStringLiteral("\u2026"));
    lblPassword = new QLabel(this);
    lblPassword->setObjectName("lblPassword");
    edtPassword = new QLineEdit(this);
    edtPassword->setObjectName("edtPassword");
    edtPassword->setEchoMode(QLineEdit::Password);
    lblID->setBuddy(cbID);
    lblPassword->setBuddy(edtPassword);

    btnConnect = new QToolButton(this);
    btnConnect->setObjectName("btnConnect");
    btnConnect->setPopupMode(QToolButton::MenuButtonPopup);
    btnConnect->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* menu = new QMenu(btnConnect);
    menu->setObjectName("menuConnect");
    actConnect = new QAction(this);
    actConnect->setObjectName("actConnect");
    actWakeUp = new QAction(this);
    actWakeUp->setObjectName("actWakeUp");
    menu->addAction(actConnect);
    menu->addAction(actWakeUp);
    btnConnect->setMenu(menu);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(lblID, 0, 0);
    grid->addWidget(cbID, 0, 1);
    grid->addWidget(btnAddressBook, 0, 2);
    grid->addWidget(lblPassword, 1, 0);
    grid->addWidget(edtPassword, 1, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnConnect);
    buttons->addWidget(btnCancel);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(12, 12, 12, 12);
    body->addLayout(grid);
    body->addLayout(buttons);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(panWarning);
    outer->addLayout(body);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnConnect, &QToolButton::clicked, this, &TFormAddConnection::ConnectClick);
    connect(actConnect, &QAction::triggered, this, &TFormAddConnection::ConnectClick);
    connect(actWakeUp, &QAction::triggered, this, &TFormAddConnection::WakeUpClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnAddressBook, &QToolButton::clicked, this, &TFormAddConnection::AddressBookClick);
    connect(btnWarningClose, &QToolButton::clicked, this, &TFormAddConnection::HideWarningStrip);

    // Enter anywhere in the dialog connects.
    for (QWidget* w : std::initializer_list<QWidget*>{cbID, cbID->lineEdit(), edtPassword, btnAddressBook, btnConnect})
        w->installEventFilter(this);
}

void TFormAddConnection::translateCaptions() {
    static const TextTarget targets[] = {
        {"", "windowTitle", TranslationKey("Add Connection")},
        {"lblID", "text", TranslationKey("ID:")},
        {"lblPassword", "text", TranslationKey("Password:")},
        {"btnConnect", "text", TranslationKey("Connect")},
        {"btnCancel", "text", TranslationKey("Cancel")},
        {"actConnect", "text", TranslationKey("Connect")},
        {"actWakeUp", "text", TranslationKey("Wake Up PC && Connect...")},
    };
    translateTexts(this, targets);
    lblWarning->setText(translate(QStringLiteral("Attention!")) + u' ' +
                        translate(QStringLiteral("UPnP is disabled on the router!")));
}

void TFormAddConnection::setWarningStripShown(bool shown) {
    // The layout's fixed size makes the window shrink or grow by the strip's height.
    panWarning->setVisible(shown);
    if (layout())
        layout()->activate();
}

void TFormAddConnection::showEvent(QShowEvent* event) {
    translateCaptions();
    setWarningStripShown(!(RelayRunning && RelayRunning()));
    actWakeUp->setEnabled(bool(WakeUpPc));
    btnAddressBook->setEnabled(bool(ChooseContact));

    const TRecentConnections recent = TRecentConnections::FromCommaText(FSettings.RecentConnections);
    cbID->clear();
    cbID->addItems(recent.Entries());
    edtPassword->setText(strPswd);
    cbID->setEditText(!strID.isEmpty() ? strID : recent.Entries().value(0));
    Tag = 0;
    strID.clear();
    strPswd.clear();
    (cbID->currentText().isEmpty() ? static_cast<QWidget*>(cbID) : edtPassword)->setFocus();
    QDialog::showEvent(event);
}

bool TFormAddConnection::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ConnectClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormAddConnection::keyPressEvent(QKeyEvent* event) {
    // Keys the focused control left alone (a button's Enter, for one).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        ConnectClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

int TFormAddConnection::Execute(bool confirm) {
    if (confirm)
        QTimer::singleShot(0, this, &TFormAddConnection::ConnectClick);
    exec();
    return Tag;
}

void TFormAddConnection::ConnectClick() {
    const ConnectTextCheck check = CheckConnectText(cbID->currentText(), FSettings.DeviceId);
    cbID->setEditText(check.text);
    if (!check.ok()) {
        ShowAppMessage(true, MessageKind::Error, check.error);
        return;
    }
    TRecentConnections recent = TRecentConnections::FromCommaText(FSettings.RecentConnections);
    recent.PutOnTop(check.text, check.id);
    FSettings.RecentConnections = recent.ToCommaText();
    cbID->clear();
    cbID->addItems(recent.Entries());
    cbID->setCurrentIndex(0);
    Tag = 1;
    accept();
}

void TFormAddConnection::WakeUpClick() {
    if (WakeUpPc && WakeUpPc(cbID->currentText()))
        ConnectClick();
}

void TFormAddConnection::AddressBookClick() {
    if (!ChooseContact)
        return;
    const std::optional<Contact> contact = ChooseContact();
    if (!contact)
        return;
    cbID->setEditText(contact->name.trimmed().isEmpty() ? contact->id : contact->name + u'(' + contact->id + u')');
    edtPassword->setText(contact->password);
}

void TFormAddConnection::HideWarningStrip() { setWarningStripShown(false); }

QString TFormAddConnection::IdText() const { return cbID->currentText(); }

QString TFormAddConnection::Password() const { return edtPassword->text(); }

bool TFormAddConnection::WarningStripShown() const { return !panWarning->isHidden(); }

}  // namespace corvala
