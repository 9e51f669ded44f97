#include "positionswindow.h"

#include "channelunits.h"
#include "messages.h"
#include "positionstarget.h"
#include "textfields.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
const QString kTitle = QStringLiteral("Positions");

QPushButton* button(const QString& text, const QString& name, const QString& tip) {
    auto* b = new QPushButton(text);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}
}  // namespace

PositionsWindow::PositionsWindow(PositionsTarget& target, const ChannelUnits& units, MessageSink& messages,
                                 QString file, QWidget* parent)
    : QWidget(parent, Qt::Window),
      target_(target),
      units_(units),
      messages_(messages),
      file_(std::move(file)) {
    setObjectName(QStringLiteral("PositionsWindow"));
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_QuitOnClose, false);

    list_ = new QTreeWidget;
    list_->setObjectName(QStringLiteral("PositionsList"));
    list_->setRootIsDecorated(false);
    list_->setAlternatingRowColors(true);
    list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("A"), QStringLiteral("B"),
                            QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("Taken")});
    list_->header()->setStretchLastSection(true);

    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("PositionName"));
    name_->setPlaceholderText(QStringLiteral("Name: sample 1, say"));
    auto* save = button(QStringLiteral("Save"), QStringLiteral("PositionsSave"),
                        QStringLiteral("Keep the position of every polled channel under the name typed"));
    auto* recall = button(QStringLiteral("Recall"), QStringLiteral("PositionsRecall"),
                          QStringLiteral("Put the positions into the set-data boxes, select those channels, "
                                         "mode ABS: Start goes there"));
    auto* rename = button(QStringLiteral("Rename"), QStringLiteral("PositionsRename"),
                          QStringLiteral("Give the selected entry the name typed"));
    auto* remove = button(QStringLiteral("Delete"), QStringLiteral("PositionsDelete"),
                          QStringLiteral("Delete the selected entry"));
    connect(save, &QPushButton::clicked, this, &PositionsWindow::save);
    connect(name_, &QLineEdit::returnPressed, this, &PositionsWindow::save);
    connect(recall, &QPushButton::clicked, this, &PositionsWindow::recall);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &PositionsWindow::recall);
    connect(rename, &QPushButton::clicked, this, &PositionsWindow::rename);
    connect(remove, &QPushButton::clicked, this, &PositionsWindow::remove);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr) {
            name_->setText(item->text(0));
        }
    });

    note_ = new QLabel;
    note_->setObjectName(QStringLiteral("PositionsNote"));
    note_->setTextFormat(Qt::PlainText);
    note_->setEnabled(false);

    auto* row = new QHBoxLayout;
    row->addWidget(name_, 1);
    row->addWidget(save);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(recall);
    buttons->addWidget(rename);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    layout->addWidget(note_);
    resize(680, 360);

    const NamedPositions::Loaded loaded = NamedPositions::load(file_);
    if (!loaded.error.isEmpty()) {
        tell(QStringLiteral("The saved positions in %1 could not be read: %2.").arg(file_, loaded.error));
    } else if (!loaded.damaged.isEmpty()) {
        QStringList lines;
        for (int n : loaded.damaged) {
            lines << QString::number(n);
        }
        tell(QStringLiteral(
                 "%1: line %2 is damaged and was left out of the list; it is kept in the file as it was.")
                 .arg(file_, lines.join(QStringLiteral(", "))));
    }
    lines_ = loaded.lines;
    entries_ = loaded.entries();
    seen_ = loaded.raw;
    refresh();
}

bool PositionsWindow::takeIn() {
    const NamedPositions::Loaded now = NamedPositions::load(file_);
    if (!now.error.isEmpty()) {
        return false;
    }
    changedOnDisk_ = now.raw != seen_;
    seen_ = now.raw;
    lines_ = now.lines;
    for (const NamedPositions::Edit& edit : unkept_) {
        NamedPositions::apply(lines_, edit);
    }
    listEntries();
    return true;
}

void PositionsWindow::listEntries() {
    entries_.clear();
    for (const NamedPositions::Line& l : lines_) {
        if (l.entry) {
            entries_.push_back(*l.entry);
        }
    }
}

void PositionsWindow::commit(const NamedPositions::Edit& edit) {
    using NamedPositions::Applied;
    const bool readable = takeIn();
    const Applied applied = NamedPositions::apply(lines_, edit);
    QString message;
    QString error;
    if (applied == Applied::Missing) {
        message = QStringLiteral(
                      "\"%1\" is no longer in %2: it was changed there meanwhile. The list now "
                      "shows the file as it is.")
                      .arg(edit.name, file_);
    } else if (applied == Applied::NameTaken) {
        message = QStringLiteral("There are positions named \"%1\" already.").arg(edit.newName);
    } else if (!readable) {
        unkept_.push_back(edit);
        message = QStringLiteral(
                      "%1 could not be read, so nothing was written over it. The list holds the "
                      "change until the panel ends.")
                      .arg(file_);
    } else if (!NamedPositions::save(file_, lines_, &error)) {
        unkept_.push_back(edit);
        message = QStringLiteral(
                      "The positions could not be kept in %1: %2. The list holds them until the panel ends.")
                      .arg(file_, error);
    } else {
        unkept_.clear();
        seen_ = NamedPositions::text(lines_);
    }
    listEntries();
    refresh();
    // Last: the box runs an event loop, and the list must be whole before it does.
    if (!message.isEmpty()) {
        tell(message);
    }
}

void PositionsWindow::tell(const QString& text) {
    messages_.showMessage(text, kTitle, MessageSink::Icon::Information);
}

void PositionsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    takeIn();  // the file and the units may have changed meanwhile
    refresh();
}

void PositionsWindow::refresh() {
    const int current = selected();
    list_->clear();
    for (const NamedPosition& e : entries_) {
        QStringList columns{e.name};
        for (int ch = 0; ch < 4; ++ch) {
            const std::optional<qint64>& p = e.position[size_t(ch)];
            columns << (p ? TextFields::signedPadded(*p, 0) + units_.unit[size_t(ch)].beside(double(*p))
                          : QStringLiteral("-"));
        }
        columns << e.taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        auto* item = new QTreeWidgetItem(columns);
        // A column too narrow for its text still lets it be read whole.
        for (int column = 0; column < columns.size(); ++column) {
            item->setToolTip(column, columns[column]);
        }
        list_->addTopLevelItem(item);
    }
    // Room between the columns of figures, which fit their widest entry; the names as wide as the
    // longest, up to a limit past which the tooltip tells the rest.
    for (int column = 0; column < list_->columnCount(); ++column) {
        list_->resizeColumnToContents(column);
        // The last column stretches to the edge: room to its right would only cost a scroll bar.
        if (column + 1 < list_->columnCount()) {
            list_->setColumnWidth(column, list_->columnWidth(column) + 14);
        }
    }
    list_->setColumnWidth(
        0, std::clamp(list_->columnWidth(0), nameWidth(kNameShortest), nameWidth(kNameLongest)));
    if (current >= 0 && current < list_->topLevelItemCount()) {
        list_->setCurrentItem(list_->topLevelItem(current));
    }
    QString note = QStringLiteral("%1 saved, kept in %2").arg(entries_.size()).arg(file_);
    if (changedOnDisk_) {
        note += QStringLiteral("; the file was changed elsewhere, and the list shows it as it is now");
    }
    note_->setText(note);
    note_->setToolTip(note);
}

int PositionsWindow::nameWidth(int characters) const {
    return list_->fontMetrics().averageCharWidth() * characters;
}

int PositionsWindow::selected() const {
    const QTreeWidgetItem* item = list_->currentItem();
    return item == nullptr ? -1 : list_->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
}

void PositionsWindow::save() {
    const QString name = name_->text().trimmed();
    if (!NamedPositions::validName(name)) {
        tell(QStringLiteral("Type a name for the positions first."));
        return;
    }
    // To the second, as the file keeps it.
    const NamedPosition entry{name, QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch()),
                              target_.currentPositions()};
    if (std::none_of(entry.position.begin(), entry.position.end(),
                     [](const auto& p) { return p.has_value(); })) {
        tell(QStringLiteral("No channel has a position to save: connect first, and let the panel poll."));
        return;
    }
    // A name saved again is taken anew.
    commit(NamedPositions::Edit{NamedPositions::Edit::Kind::Put, name, entry, {}});
    const auto row = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const NamedPosition& e) { return e.name == name; });
    if (row != entries_.end()) {
        list_->setCurrentItem(list_->topLevelItem(int(row - entries_.begin())));
    }
    // Ready for the next name, which must not be typed onto this one.
    name_->clear();
    name_->setFocus();
}

void PositionsWindow::recall() {
    const int row = selected();
    if (row < 0 || row >= int(entries_.size())) {
        tell(QStringLiteral("Choose the positions to recall in the list."));
        return;
    }
    target_.recall(entries_[size_t(row)].position);
}

void PositionsWindow::rename() {
    const int row = selected();
    const QString name = name_->text().trimmed();
    if (row < 0 || row >= int(entries_.size())) {
        tell(QStringLiteral("Choose the entry to rename in the list, then type its new name."));
        return;
    }
    if (!NamedPositions::validName(name)) {
        tell(QStringLiteral("Type the new name first."));
        return;
    }
    commit(NamedPositions::Edit{NamedPositions::Edit::Kind::Rename, entries_[size_t(row)].name, {}, name});
}

void PositionsWindow::remove() {
    const int row = selected();
    if (row < 0 || row >= int(entries_.size())) {
        tell(QStringLiteral("Choose the entry to delete in the list."));
        return;
    }
    commit(NamedPositions::Edit{NamedPositions::Edit::Kind::Remove, entries_[size_t(row)].name, {}, {}});
}
