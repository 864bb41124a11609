#include "dialogs/FormAddressBook.h"

#include "base/ProcessState.h"
#include "dialogs/BookPasswordDialogs.h"
#include "i18n/Translator.h"
#include "i18n/WindowTexts.h"
#include "widgets/FormMessage.h"
#include "widgets/WindowChrome.h"

#include <QApplication>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace corvala {

namespace {

constexpr int GroupRole = Qt::UserRole;
constexpr int ContactRole = Qt::UserRole + 1;

const char* const EditNames[7] = {"edtName", "edtID", "edtPassword", "edtEmail", "edtPhone", "edtMessenger", "edtInfo"};
const char* const LabelNames[7] = {"lblName", "lblID", "lblPassword", "lblEmail", "lblPhone", "lblMessenger", "lblInfo"};

QString* Field(TAddressBookItem& item, int i) {
    QString* const fields[7] = {&item.Name, &item.ID, &item.Password, &item.Email, &item.TelNum, &item.Messenger,
                                &item.Info};
    return fields[i];
}

template <class Button>
Button* MakeButton(QWidget* parent, const char* name) {
    auto* b = new Button(parent);
    b->setObjectName(name);
    return b;
}

}  // namespace

QString TFormAddressBook::BookFileFilter() { return QStringLiteral("Contatcs Book (*.crc)"); }

TFormAddressBook::TFormAddressBook(const QString& filePath, TBookState& state, const QString& supportContact,
                                   QWidget* parent)
    : QDialog(parent), FBook(filePath, state, *this, supportContact) {
    setObjectName("FormAddressBook");
    setModal(true);

    panTop = new QWidget(this);
    panTop->setObjectName("panTop");
    panTop->setAutoFillBackground(true);
    btnAddGroup = MakeButton<QPushButton>(panTop, "btnAddGroup");
    btnAddContact = MakeButton<QPushButton>(panTop, "btnAddContact");
    btnRemove = MakeButton<QToolButton>(panTop, "btnRemove");
    btnRemove->setText(QStringLiteral("\u2715"));
    btnUp = MakeButton<QToolButton>(panTop, "btnUp");
    btnUp->setText(QStringLiteral("\u25B2"));
    btnDown = MakeButton<QToolButton>(panTop, "btnDown");
    btnDown->setText(QStringLiteral("\u25BC"));
    btnConnect = MakeButton<QPushButton>(panTop, "btnConnect");
    auto* top = new QHBoxLayout(panTop);
    for (QWidget* w : std::initializer_list<QWidget*>{btnAddGroup, btnAddContact, btnRemove, btnUp, btnDown})
        top->addWidget(w);
    top->addStretch(1);
    top->addWidget(btnConnect);

    tvContacts = new QTreeWidget(this);
    tvContacts->setObjectName("tvContacts");
    tvContacts->setHeaderHidden(true);
    tvContacts->setColumnCount(1);
    tvContacts->setMinimumSize(240, 300);
    tvContacts->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);

    panDetails = new QWidget(this);
    panDetails->setObjectName("panDetails");
    auto* form = new QFormLayout(panDetails);
    for (int i = 0; i < 7; ++i) {
        FLabels[i] = new QLabel(panDetails);
        FLabels[i]->setObjectName(LabelNames[i]);
        FEdits[i] = new QLineEdit(panDetails);
        FEdits[i]->setObjectName(EditNames[i]);
        FEdits[i]->setMinimumWidth(220);
        FLabels[i]->setBuddy(FEdits[i]);
        form->addRow(FLabels[i], FEdits[i]);
        connect(FEdits[i], &QLineEdit::textChanged, this, &TFormAddressBook::DetailsEdited);
    }
    FEdits[2]->setEchoMode(QLineEdit::Password);
    FEdits[0]->installEventFilter(this);

    panBottom = new QWidget(this);
    panBottom->setObjectName("panBottom");
    panBottom->setAutoFillBackground(true);
    btnPassword = MakeButton<QPushButton>(panBottom, "btnPassword");
    btnImport = MakeButton<QPushButton>(panBottom, "btnImport");
    btnExport = MakeButton<QPushButton>(panBottom, "btnExport");
    btnOk = MakeButton<QPushButton>(panBottom, "btnOk");
    btnCancel = MakeButton<QPushButton>(panBottom, "btnCancel");
    auto* bottom = new QHBoxLayout(panBottom);
    for (QPushButton* b : {btnPassword, btnImport, btnExport}) bottom->addWidget(b);
    bottom->addStretch(1);
    bottom->addWidget(btnOk);
    bottom->addWidget(btnCancel);
    for (QPushButton* b : {btnAddGroup, btnAddContact, btnConnect, btnPassword, btnImport, btnExport, btnOk, btnCancel})
        b->setAutoDefault(false);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(8, 8, 8, 8);
    middle->addWidget(tvContacts, 1);
    middle->addWidget(panDetails, 1, Qt::AlignTop);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(panTop);
    outer->addLayout(middle, 1);
    outer->addWidget(panBottom);

    connect(btnAddGroup, &QPushButton::clicked, this, &TFormAddressBook::AddGroupClick);
    connect(btnAddContact, &QPushButton::clicked, this, &TFormAddressBook::AddContactClick);
    connect(btnRemove, &QToolButton::clicked, this, &TFormAddressBook::RemoveClick);
    connect(btnUp, &QToolButton::clicked, this, &TFormAddressBook::MoveUpClick);
    connect(btnDown, &QToolButton::clicked, this, &TFormAddressBook::MoveDownClick);
    connect(btnConnect, &QPushButton::clicked, this, &TFormAddressBook::ConnectClick);
    connect(btnOk, &QPushButton::clicked, this, &TFormAddressBook::OkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnPassword, &QPushButton::clicked, this, &TFormAddressBook::PasswordClick);
    connect(btnImport, &QPushButton::clicked, this, &TFormAddressBook::ImportClick);
    connect(btnExport, &QPushButton::clicked, this, &TFormAddressBook::ExportClick);
    connect(tvContacts, &QTreeWidget::itemSelectionChanged, this, &TFormAddressBook::RefreshDetails);
    connect(tvContacts, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { NodeRenamed(item); });
}

void TFormAddressBook::translateCaptions() {
    static const TextTarget targets[] = {
        {"", "windowTitle", TranslationKey("Contacts Book")},
        {"btnAddGroup", "text", TranslationKey("Add Group")},
        {"btnAddContact", "text", TranslationKey("Add Contact")},
        {"btnConnect", "text", TranslationKey("Connect"), "..."},
        {"btnOk", "text", TranslationKey("OK")},
        {"btnCancel", "text", TranslationKey("Cancel")},
        {"btnPassword", "text", TranslationKey("Password"), "..."},
        {"btnImport", "text", TranslationKey("Import"), "..."},
        {"btnExport", "text", TranslationKey("Export"), "..."},
        {"btnPassword", "toolTip", TranslationKey("Set Password for Contacts Book...")},
        {"lblName", "text", TranslationKey("Name:")},
        {"lblID", "text", TranslationKey("ID:")},
        {"lblPassword", "text", TranslationKey("Password:")},
        {"lblEmail", "text", TranslationKey("Email:")},
        {"lblPhone", "text", TranslationKey("Phone:")},
        {"lblMessenger", "text", TranslationKey("Messenger:")},
        {"lblInfo", "text", TranslationKey("Info:")},
    };
    translateTexts(this, targets);
}

void TFormAddressBook::paintPanels() {
    const ThemeColours& theme = processState().Theme;
    const QColor panel = theme.PanelColour ? ToQColor(*theme.PanelColour) : QApplication::palette().color(QPalette::Button);
    for (QWidget* w : {panTop, panBottom}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, panel);
        w->setPalette(p);
    }
}

int TFormAddressBook::Execute() {
    if (!FBook.Load()) return 0;
    exec();
    return FBook.Tag;
}

void TFormAddressBook::showEvent(QShowEvent* event) {
    translateCaptions();
    paintPanels();
    FBook.Tag = 0;
    RebuildTree(FBook.LastSelectedNode());
    QDialog::showEvent(event);
    // The keyboard walks the contacts first.
    tvContacts->setFocus();
}

bool TFormAddressBook::eventFilter(QObject* watched, QEvent* event) {
    // Names end up in connection entries of the form name (ID): the keys of
    // the parentheses are refused.
    if (watched == FEdits[0] && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (text.contains(u'(') || text.contains(u')')) return true;
    }
    return QDialog::eventFilter(watched, event);
}

QTreeWidgetItem* TFormAddressBook::TreeItem(BookNode node) const {
    if (node.Group < 0 || node.Group >= tvContacts->topLevelItemCount()) return nullptr;
    QTreeWidgetItem* group = tvContacts->topLevelItem(node.Group);
    if (node.Contact < 0) return group;
    return node.Contact < group->childCount() ? group->child(node.Contact) : nullptr;
}

void TFormAddressBook::RebuildTree(BookNode select) {
    FFilling = true;
    tvContacts->clear();
    const QList<BookGroup>& groups = FBook.Groups();
    for (int g = 0; g < groups.size(); ++g) {
        auto* group = new QTreeWidgetItem(tvContacts, QStringList{groups[g].Item.Name});
        group->setData(0, GroupRole, g);
        group->setData(0, ContactRole, -1);
        group->setFlags(group->flags() | Qt::ItemIsEditable);
        for (int c = 0; c < groups[g].Contacts.size(); ++c) {
            auto* contact = new QTreeWidgetItem(group, QStringList{groups[g].Contacts[c].Name});
            contact->setData(0, GroupRole, g);
            contact->setData(0, ContactRole, c);
            contact->setFlags(contact->flags() | Qt::ItemIsEditable);
        }
    }
    tvContacts->expandAll();
    FFilling = false;
    Select(select);
    RefreshDetails();
}

BookNode TFormAddressBook::Selected() const {
    const QList<QTreeWidgetItem*> items = tvContacts->selectedItems();
    if (items.isEmpty()) return {};
    return {items.first()->data(0, GroupRole).toInt(), items.first()->data(0, ContactRole).toInt()};
}

void TFormAddressBook::Select(BookNode node) {
    QTreeWidgetItem* item = TreeItem(node);
    tvContacts->setCurrentItem(item);
    if (!item) tvContacts->clearSelection();
}

void TFormAddressBook::RefreshDetails() {
    if (FFilling) return;
    const BookNode node = Selected();
    const TAddressBookItem* item = FBook.Item(node);
    panDetails->setVisible(item != nullptr);
    btnAddContact->setEnabled(item != nullptr);
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{btnRemove, btnUp, btnDown})
        b->setEnabled(item != nullptr);
    btnConnect->setEnabled(item && node.IsContact());
    if (!item) return;
    FFilling = true;
    TAddressBookItem shown = *item;
    for (int i = 0; i < 7; ++i) {
        FEdits[i]->setText(*Field(shown, i));
        if (i > 0) {
            FEdits[i]->setVisible(node.IsContact());
            FLabels[i]->setVisible(node.IsContact());
        }
    }
    FFilling = false;
}

void TFormAddressBook::DetailsEdited() {
    if (FFilling) return;
    const BookNode node = Selected();
    TAddressBookItem* item = FBook.Item(node);
    if (!item) return;
    for (int i = 0; i < 7; ++i) *Field(*item, i) = FEdits[i]->text();
    FFilling = true;
    if (QTreeWidgetItem* tree = TreeItem(node)) tree->setText(0, item->Name);
    FFilling = false;
}

void TFormAddressBook::NodeRenamed(QTreeWidgetItem* tree) {
    if (FFilling) return;
    const BookNode node{tree->data(0, GroupRole).toInt(), tree->data(0, ContactRole).toInt()};
    TAddressBookItem* item = FBook.Item(node);
    if (!item) return;
    item->Name = tree->text(0);
    if (Selected() == node) {
        FFilling = true;
        FEdits[0]->setText(item->Name);
        FFilling = false;
    }
}

void TFormAddressBook::AddGroupClick() { RebuildTree(FBook.AddGroup()); }

void TFormAddressBook::AddContactClick() {
    const BookNode added = FBook.AddContact(Selected());
    if (added.Valid()) RebuildTree(added);
}

void TFormAddressBook::RemoveClick() {
    if (FBook.Remove(Selected())) RebuildTree({});
}

void TFormAddressBook::MoveUpClick() { RebuildTree(FBook.MoveUp(Selected())); }

void TFormAddressBook::MoveDownClick() { RebuildTree(FBook.MoveDown(Selected())); }

void TFormAddressBook::ConnectClick() {
    TAddressBookItem shown;
    for (int i = 0; i < 7; ++i) *Field(shown, i) = FEdits[i]->text();
    if (FBook.ConnectClick(shown)) accept();
}

void TFormAddressBook::OkClick() {
    if (FBook.OkClick()) accept();
}

void TFormAddressBook::PasswordClick() { FBook.SetPasswordClick(); }

void TFormAddressBook::ImportClick() {
    const QString path =
        QFileDialog::getOpenFileName(this, translate(QStringLiteral("Import")), QString(), BookFileFilter());
    if (path.isEmpty()) return;
    const BookNode selected = Selected();
    if (FBook.Import(path)) RebuildTree(selected);
}

void TFormAddressBook::ExportClick() {
    QFileDialog dialog(this, translate(QStringLiteral("Export")), QString(), BookFileFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("crc"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    FBook.Export(dialog.selectedFiles().first());
}

std::optional<QString> TFormAddressBook::AskNewBookPassword(const QString& current) {
    return corvala::AskNewBookPassword(this, current);
}

std::optional<QString> TFormAddressBook::AskBookPassword() { return corvala::AskBookPassword(this); }

void TFormAddressBook::ShowWarning(const QString& text) { ShowAppMessage(true, MessageKind::Warning, text); }

void TFormAddressBook::ShowError(const QString& text) { ShowAppMessage(true, MessageKind::Error, text); }

bool TFormAddressBook::Confirm(const QString& text) { return ShowAppMessage(true, MessageKind::Confirm, text); }

}  // namespace corvala
