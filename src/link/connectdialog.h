#pragma once

#include "serialports.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The connection dialog `ConnectDlgVK`: host and TCP port for the network link, COM number or
// device for the USB link. It holds no logic; the session reacts to its signals.
class ConnectDialog : public QDialog {
    Q_OBJECT
public:
    static inline const QString kDefaultHost = QStringLiteral("192.168.1.10");

    explicit ConnectDialog(QWidget* parent = nullptr);

    // Network side (HostEdit, Text1) or USB side (ComNo) active.
    void setNetworkSide(bool network);
    bool networkSide() const;

    QString hostText() const;
    QString portText() const;
    QString comText() const;

    QStringList hostList() const;
    QStringList comList() const;
    // Replaces a combo box's list; the edit text is set separately, as the dialog's rules say.
    void setHostList(const QStringList& entries);
    void setComList(const QStringList& entries);
    void setHostText(const QString& text);
    void setComText(const QString& text);
    // Where "Ports..." reads the ports present; availableSerialPorts() unless a test sets one.
    void setPortLister(SerialPortLister lister);

signals:
    void connectRequested();
    void cancelRequested();
    // The window's close box: the dialog unloads.
    void closeBoxPressed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // "Ports...": the list of the ports present now; the one chosen becomes ComNo's text.
    void showPortList();

    SerialPortLister portLister_ = availableSerialPorts;
    QComboBox* HostEdit;
    QLineEdit* Text1;
    QComboBox* ComNo;
    QPushButton* PortsButton;
};
