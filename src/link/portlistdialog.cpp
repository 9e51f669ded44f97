#include "portlistdialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

PortListDialog::PortListDialog(const QList<SerialPortDescription>& ports, QWidget* parent)
    : QDialog(parent), ports_(ports) {
    setObjectName(QStringLiteral("PortListDlg"));
    setWindowTitle(QStringLiteral("Serial ports"));

    PortList = new QTreeWidget(this);
    PortList->setObjectName(QStringLiteral("PortList"));
    PortList->setRootIsDecorated(false);
    PortList->setHeaderLabels({QStringLiteral("Port"), QStringLiteral("Description"),
                               QStringLiteral("Manufacturer"), QStringLiteral("Serial number"),
                               QStringLiteral("USB id")});
    for (const SerialPortDescription& port : ports_) {
        new QTreeWidgetItem(
            PortList, {port.location, port.description, port.manufacturer, port.serialNumber, usbId(port)});
    }
    PortList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    PortList->setMinimumWidth(560);

    QString note;
    if (ports_.isEmpty()) {
        note = QStringLiteral("No serial port is present. Plug the controller in and press Ports... again.");
#ifdef Q_OS_LINUX
        note += QStringLiteral(
            "\nOn Linux a USB controller appears as /dev/ttyUSBn or /dev/ttyACMn, which only members "
            "of the dialout group may open (sudo usermod -aG dialout $USER, then log in again).");
#endif
    } else {
        note = QStringLiteral("Choose the controller's port; its name goes into the COM box.");
    }
    auto* noteLabel = new QLabel(note, this);
    noteLabel->setObjectName(QStringLiteral("PortListNote"));
    noteLabel->setWordWrap(true);
    PortList->setVisible(!ports_.isEmpty());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("PortUseButton"));
    ok->setText(QStringLiteral("&Use"));
    ok->setEnabled(false);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("PortCancelButton"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(noteLabel);
    layout->addWidget(PortList);
    layout->addWidget(buttons);

    connect(PortList, &QTreeWidget::currentItemChanged, ok,
            [ok](QTreeWidgetItem* current) { ok->setEnabled(current != nullptr); });
    // With one controller plugged in, Enter takes it.
    PortList->setCurrentItem(PortList->topLevelItem(0));
    connect(PortList, &QTreeWidget::itemActivated, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString PortListDialog::chosenLocation() const {
    const int row = PortList->indexOfTopLevelItem(PortList->currentItem());
    return row >= 0 ? ports_[row].location : QString();
}
