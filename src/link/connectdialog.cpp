#include "connectdialog.h"

#include "colours.h"
#include "portlistdialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QComboBox* editableCombo(const QString& name, const QString& text, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    // Lists are kept by the session's rules, never grown by the combo box itself.
    combo->setInsertPolicy(QComboBox::NoInsert);
    // The text is exactly what the operator typed: no remembered entry is completed into it.
    combo->setCompleter(nullptr);
    combo->setEditText(text);
    combo->setMinimumWidth(220);
    return combo;
}
}  // namespace

ConnectDialog::ConnectDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ConnectDlgVK"));
    setWindowTitle(QStringLiteral("Connect"));
    setModal(false);
    setAttribute(Qt::WA_QuitOnClose, false);
    setBackColour(this, Bgr::PanelGrey);
    setAutoFillBackground(true);

    auto* lan = new QGroupBox(QStringLiteral("LAN"), this);
    auto* lanGrid = new QGridLayout(lan);
    HostEdit = editableCombo(QStringLiteral("HostEdit"), kDefaultHost, lan);
    Text1 = new QLineEdit(QStringLiteral("7777"), lan);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setMaximumWidth(90);
    lanGrid->addWidget(namedLabel(QStringLiteral("HostText"), QStringLiteral("Host Name:"), lan), 0, 0);
    lanGrid->addWidget(HostEdit, 0, 1);
    lanGrid->addWidget(namedLabel(QStringLiteral("Label1"), QStringLiteral("PortNo"), lan), 1, 0);
    lanGrid->addWidget(Text1, 1, 1, Qt::AlignLeft);

    auto* usb = new QGroupBox(QStringLiteral("USB"), this);
    auto* usbGrid = new QGridLayout(usb);
    ComNo = editableCombo(QStringLiteral("ComNo"), QStringLiteral("3"), usb);
    usbGrid->addWidget(namedLabel(QStringLiteral("Label2"), QStringLiteral("USB Port"), usb), 0, 0);
    usbGrid->addWidget(namedLabel(QStringLiteral("Label3"), QStringLiteral("COM"), usb), 0, 1);
    usbGrid->addWidget(ComNo, 0, 2);
    usbGrid->setColumnStretch(2, 1);
    PortsButton = new QPushButton(QStringLiteral("&Ports..."), usb);
    PortsButton->setObjectName(QStringLiteral("PortsButton"));
    PortsButton->setAutoDefault(false);
    usbGrid->addWidget(PortsButton, 0, 3);

    auto* connectButton = new QPushButton(QStringLiteral("&Connect"), this);
    connectButton->setObjectName(QStringLiteral("ConnectButton"));
    connectButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Ca&ncel"), this);
    cancelButton->setObjectName(QStringLiteral("CancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(connectButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lan);
    layout->addWidget(usb);
    layout->addLayout(buttons);

    connect(connectButton, &QPushButton::clicked, this, &ConnectDialog::connectRequested);
    connect(cancelButton, &QPushButton::clicked, this, &ConnectDialog::cancelRequested);
    connect(PortsButton, &QPushButton::clicked, this, &ConnectDialog::showPortList);
}

void ConnectDialog::setNetworkSide(bool network) {
    HostEdit->setEnabled(network);
    Text1->setEnabled(network);
    ComNo->setEnabled(!network);
    PortsButton->setEnabled(!network);
}

bool ConnectDialog::networkSide() const {
    return HostEdit->isEnabled();
}

QString ConnectDialog::hostText() const {
    return HostEdit->currentText();
}
QString ConnectDialog::portText() const {
    return Text1->text();
}
QString ConnectDialog::comText() const {
    return ComNo->currentText();
}

namespace {
QStringList items(const QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) {
        out << combo->itemText(i);
    }
    return out;
}

void replaceItems(QComboBox* combo, const QStringList& entries) {
    const QString text = combo->currentText();
    combo->clear();
    combo->addItems(entries);
    combo->setEditText(text);
}
}  // namespace

QStringList ConnectDialog::hostList() const {
    return items(HostEdit);
}
QStringList ConnectDialog::comList() const {
    return items(ComNo);
}
void ConnectDialog::setHostList(const QStringList& entries) {
    replaceItems(HostEdit, entries);
}
void ConnectDialog::setComList(const QStringList& entries) {
    replaceItems(ComNo, entries);
}
void ConnectDialog::setHostText(const QString& text) {
    HostEdit->setEditText(text);
}
void ConnectDialog::setComText(const QString& text) {
    ComNo->setEditText(text);
}

void ConnectDialog::setPortLister(SerialPortLister lister) {
    portLister_ = std::move(lister);
}

void ConnectDialog::showPortList() {
    // Read afresh at every opening: a controller plugged in after the program started shows up.
    auto* list = new PortListDialog(portLister_(), this);
    list->setAttribute(Qt::WA_DeleteOnClose);
    connect(list, &QDialog::accepted, this, [this, list] {
        const QString location = list->chosenLocation();
        if (!location.isEmpty()) {
            ComNo->setEditText(location);
        }
    });
    list->open();
}

void ConnectDialog::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closeBoxPressed();
}

void ConnectDialog::reject() {
    // Esc behaves as the close box.
    close();
}
