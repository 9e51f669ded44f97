#include "trafficmonitor.h"

#include "messages.h"
#include "trafficmodel.h"

#include <QApplication>
#include <QCache>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {
QCheckBox* filterBox(const QString& caption, const QString& name, const QString& tip) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    box->setToolTip(tip);
    box->setChecked(true);
    return box;
}

constexpr int kTextIndent = 4;

// Paints a line from a laid-out text kept per recorded line: the view repaints its visible rows
// at every batch, and laying out the same text again each time would cost more than all else.
class LineDelegate : public QStyledItemDelegate {
public:
    explicit LineDelegate(const QFont& font, QObject* parent)
        : QStyledItemDelegate(parent), font_(font), height_(QFontMetrics(font).height() + 4) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {400, height_}; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, widget);
        const QVariant seq = index.data(TrafficModel::EntryRole);
        if (!seq.isValid()) {
            return;
        }
        QStaticText* text = cache_.object(seq.toULongLong());
        if (text == nullptr) {
            text = new QStaticText(index.data(Qt::DisplayRole).toString());
            text->setTextFormat(Qt::PlainText);
            text->prepare(QTransform(), font_);
            cache_.insert(seq.toULongLong(), text);
        }
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->setFont(font_);
        painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                                 : index.data(Qt::ForegroundRole).value<QBrush>().color());
        const double top = option.rect.top() + (option.rect.height() - text->size().height()) / 2;
        painter->drawStaticText(QPointF(option.rect.left() + kTextIndent, top), *text);
        painter->restore();
    }

private:
    QFont font_;
    int height_;
    mutable QCache<quint64, QStaticText> cache_{512};
};
}  // namespace

TrafficMonitor::TrafficMonitor(TrafficRecorder& recorder, MessageSink& messages, QWidget* parent)
    : QWidget(parent, Qt::Window), recorder_(recorder), messages_(messages) {
    setObjectName(QStringLiteral("TrafficMonitor"));
    setWindowTitle(QStringLiteral("Traffic monitor"));
    // Only the main window keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);

    polling_ = filterBox(QStringLiteral("Polling"), QStringLiteral("FilterPolling"),
                         QStringLiteral("The polling tick's queries and their replies"));
    operator_ = filterBox(QStringLiteral("Operator"), QStringLiteral("FilterOperator"),
                          QStringLiteral("Buttons, moves and free text, with any replies"));
    table_ = filterBox(QStringLiteral("Table"), QStringLiteral("FilterTable"),
                       QStringLiteral("The table read and write"));
    automation_ = filterBox(QStringLiteral("Automation"), QStringLiteral("FilterAutomation"),
                            QStringLiteral("Commands of scripts on the automation port"));
    pause_ = new QPushButton(QStringLiteral("Pause"));
    pause_->setObjectName(QStringLiteral("TrafficPause"));
    pause_->setCheckable(true);
    pause_->setToolTip(QStringLiteral("Freeze the view; recording goes on"));
    auto* clearButton = new QPushButton(QStringLiteral("Clear"));
    clearButton->setObjectName(QStringLiteral("TrafficClear"));
    auto* save = new QPushButton(QStringLiteral("Save..."));
    save->setObjectName(QStringLiteral("TrafficSave"));
    save->setToolTip(QStringLiteral("Save the lines shown as a text file"));
    count_ = new QLabel;
    count_->setObjectName(QStringLiteral("TrafficCount"));
    // Fixed, so that its changing text does not lay the window out again at every refresh.
    count_->setFixedWidth(
        count_->fontMetrics().horizontalAdvance(QStringLiteral("10000 lines shown, 10000 held - paused")) +
        8);
    for (QPushButton* button : {pause_, clearButton, save}) {
        button->setAutoDefault(false);
    }

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Show:")));
    bar->addWidget(polling_);
    bar->addWidget(operator_);
    bar->addWidget(table_);
    bar->addWidget(automation_);
    bar->addSpacing(16);
    bar->addWidget(count_);
    bar->addStretch();
    bar->addWidget(pause_);
    bar->addWidget(clearButton);
    bar->addWidget(save);

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    model_ = new TrafficModel(recorder_, this);
    view_ = new QListView;
    view_->setObjectName(QStringLiteral("TrafficView"));
    view_->setModel(model_);
    view_->setItemDelegate(new LineDelegate(fixed, view_));
    // Every row as high as every other: the view never measures ten thousand of them.
    view_->setUniformItemSizes(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setAlternatingRowColors(true);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* header = new QLabel(TrafficRecorder::header());
    header->setObjectName(QStringLiteral("TrafficHeader"));
    header->setFont(fixed);
    header->setContentsMargins(view_->frameWidth() + kTextIndent, 2, 0, 0);
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(header);
    layout->setSpacing(4);
    layout->addWidget(view_);
    resize(760, 480);

    for (QCheckBox* box : {polling_, operator_, table_, automation_}) {
        connect(box, &QCheckBox::toggled, this, &TrafficMonitor::filterChanged);
    }
    connect(pause_, &QPushButton::toggled, this, &TrafficMonitor::pauseToggled);
    connect(clearButton, &QPushButton::clicked, this, &TrafficMonitor::clear);
    connect(save, &QPushButton::clicked, this, &TrafficMonitor::chooseFileAndSave);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &TrafficMonitor::refresh);
    showCount();
}

TrafficMonitor::~TrafficMonitor() = default;

void TrafficMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    timer_.start();
}

void TrafficMonitor::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

void TrafficMonitor::refresh() {
    if (pause_->isChecked()) {
        showCount();
        return;
    }
    // Follow the newest line only when the operator has not scrolled back to read.
    QScrollBar* bar = view_->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const int rowsBefore = model_->rowCount();
    model_->refresh();
    if (atEnd && model_->rowCount() != rowsBefore) {
        view_->scrollToBottom();
    }
    showCount();
}

void TrafficMonitor::showCount() {
    const quint64 held = recorder_.endSeq() - recorder_.firstSeq();
    QString text = QStringLiteral("%1 lines shown, %2 held").arg(model_->rowCount()).arg(held);
    if (pause_->isChecked()) {
        text += QStringLiteral(" - paused");
    }
    count_->setText(text);
}

void TrafficMonitor::filterChanged() {
    TrafficFilter filter = 0;
    if (polling_->isChecked()) {
        filter |= quint8(TrafficClass::Polling);
    }
    if (operator_->isChecked()) {
        filter |= quint8(TrafficClass::Operator);
    }
    if (table_->isChecked()) {
        filter |= quint8(TrafficClass::Table);
    }
    if (automation_->isChecked()) {
        filter |= quint8(TrafficClass::Automation);
    }
    model_->setFilter(filter);
    view_->scrollToBottom();
    showCount();
}

void TrafficMonitor::pauseToggled(bool paused) {
    pause_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    refresh();
}

void TrafficMonitor::clear() {
    recorder_.clear();
    model_->refresh();
    showCount();
}

bool TrafficMonitor::saveTo(const QString& path) {
    QString error;
    if (!recorder_.save(path, model_->filter(), &error)) {
        messages_.showMessage(QStringLiteral("The traffic could not be saved to %1: %2")
                                  .arg(QDir::toNativeSeparators(path), error),
                              kCautionTitle, MessageSink::Icon::Information);
        return false;
    }
    return true;
}

void TrafficMonitor::chooseFileAndSave() {
    const QString suggested =
        QStringLiteral("traffic-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save traffic"), suggested,
                                                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty()) {
        saveTo(path);
    }
}
