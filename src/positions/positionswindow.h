#pragma once

#include "namedpositions.h"

#include <QWidget>

class ChannelUnits;
class MessageSink;
class PositionsTarget;
class QLabel;
class QLineEdit;
class QTreeWidget;

// The "Positions" window: named positions saved from every polled channel, recalled into the
// set-data boxes (selected, mode ABS) for Start to go there, renamed and deleted. The list is kept
// in the file at every change; a damaged line of it is told and kept as it was.
class PositionsWindow : public QWidget {
    Q_OBJECT
public:
    PositionsWindow(PositionsTarget& target, const ChannelUnits& units, MessageSink& messages, QString file,
                    QWidget* parent = nullptr);

    const std::vector<NamedPosition>& entries() const { return entries_; }

    // The buttons: Save under the name typed, Recall, Rename to the name typed, Delete.
    void save();
    void recall();
    void rename();
    void remove();
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int selected() const;
    void keep();
    void tell(const QString& text);

    PositionsTarget& target_;
    const ChannelUnits& units_;
    MessageSink& messages_;
    QString file_;
    std::vector<NamedPosition> entries_;
    QByteArrayList damaged_;
    QTreeWidget* list_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* note_ = nullptr;
};
