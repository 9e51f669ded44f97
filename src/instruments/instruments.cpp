#include "instruments.h"

#include "commandchannel.h"
#include "messages.h"
#include "positionchart.h"
#include "session.h"
#include "statusstrip.h"

#include <QMainWindow>
#include <QShortcut>
#include <QStatusBar>

Instruments::Instruments(const PanelState& state, CommandChannel& channel, Session& session,
                         const PanelView& view, MessageSink& messages, MsClock clockIn, QObject* parent)
    : QObject(parent),
      clock(std::move(clockIn)),
      recorder(state, clock),
      figures(state, clock),
      history(clock),
      state_(state),
      channel_(channel),
      view_(view),
      messages_(messages),
      monitor_(std::make_unique<TrafficMonitor>(recorder, messages)),
      chart_(std::make_unique<ChartWindow>(history, units, messages)) {
    connect(
        &channel, &CommandChannel::commandSent, this,
        [this](const QByteArray& text, bool lan, Origin origin) { recorder.commandSent(text, lan, origin); });
    connect(&channel, &CommandChannel::bytesReceived, this,
            [this](const QByteArray& data, bool lan) { recorder.bytesReceived(data, lan); });
    connect(&channel, &CommandChannel::replyDelivered, this, [this] { figures.replyDelivered(); });
    connect(&session, &Session::connected, this, [this] { figures.sessionOpened(); });
}

Instruments::~Instruments() = default;

void Instruments::setUnitsFile(const QString& path) {
    QString error;
    if (!units.load(path, &error)) {
        units = ChannelUnits{};
        messages_.showMessage(
            QStringLiteral("The chart's units in %1 could not be read (%2); none are shown until "
                           "they are set again.")
                .arg(path, error),
            QStringLiteral("Chart units"), MessageSink::Icon::Information);
    }
    chart_->setUnitsFile(path);
    chart_->chart().setUnits(&units);
}

void Instruments::install(QMainWindow& window) {
    strip_ = new StatusStrip(figures, channel_, state_, view_);
    window.statusBar()->addPermanentWidget(strip_, 1);
    connect(strip_, &StatusStrip::trafficClicked, this, &Instruments::showTraffic);
    connect(strip_, &StatusStrip::chartClicked, this, &Instruments::showChart);

    auto* traffic = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), &window);
    traffic->setObjectName(QStringLiteral("ShortcutTraffic"));
    connect(traffic, &QShortcut::activated, this, &Instruments::showTraffic);
    auto* chart = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), &window);
    chart->setObjectName(QStringLiteral("ShortcutChart"));
    connect(chart, &QShortcut::activated, this, &Instruments::showChart);
}

namespace {
void bringUp(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}
}  // namespace

void Instruments::showTraffic() {
    bringUp(*monitor_);
}

void Instruments::showChart() {
    bringUp(*chart_);
}

void Instruments::positionShown(int ch, const QString& text) {
    history.addPosition(ch, text);
}

void Instruments::lampChanged(int ch, PositionHistory::Mark mark, bool lit) {
    history.addMark(ch, mark, lit);
}
