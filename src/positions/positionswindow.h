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

    // The Name column fits the longest name, from kNameShortest to kNameLongest characters wide.
    static constexpr int kNameShortest = 12;
    static constexpr int kNameLongest = 40;

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
    // Reads the file as it stands now, with the changes not yet written on top. False when it
    // exists but cannot be read: then nothing may be written over it.
    bool takeIn();
    void listEntries();
    int nameWidth(int characters) const;
    // Applies a change to the file as it stands and writes it; kept in the list when it cannot be.
    void commit(const NamedPositions::Edit& edit);
    void tell(const QString& text);

    PositionsTarget& target_;
    const ChannelUnits& units_;
    MessageSink& messages_;
    QString file_;
    std::vector<NamedPositions::Line> lines_;
    std::vector<NamedPosition> entries_;        // the entries of lines_, as listed
    std::vector<NamedPositions::Edit> unkept_;  // changes not yet written, in their order
    QByteArray seen_;                           // the file as last read or written
    bool changedOnDisk_ = false;
    QTreeWidget* list_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* note_ = nullptr;
};
