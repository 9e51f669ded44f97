#pragma once

#include "serialports.h"

#include <QDialog>

class QTreeWidget;

// `PortListDlg`: the serial ports present when it opened, one row each; the operator picks one
// for the COM box. With none it says so instead.
class PortListDialog : public QDialog {
    Q_OBJECT
public:
    explicit PortListDialog(const QList<SerialPortDescription>& ports, QWidget* parent = nullptr);

    // The chosen port's location; empty when none is selected.
    QString chosenLocation() const;

private:
    QList<SerialPortDescription> ports_;
    QTreeWidget* PortList;
};
