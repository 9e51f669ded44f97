#include "setupcontroller.h"

#include "filechooser.h"
#include "panelstate.h"
#include "setupwindow.h"
#include "tableclear.h"
#include "tablefile.h"
#include "tableread.h"
#include "tablewrite.h"

SetupController::SetupController(PanelState& state, CommandLink& link, const PanelView& panel,
                                 MessageSink& messages, QObject* parent)
    : QObject(parent), state_(state), link_(link), panel_(panel), messages_(messages) {}

SetupController::~SetupController() {
    delete window_;
}

SetupWindow* SetupController::window() const {
    return window_;
}

void SetupController::LinkLost() {
    if (window_.isNull()) {
        return;
    }
    if (window_->tmrTokei().running()) {
        window_->tmrTokei().setInterval(0);
        window_->setStatus(QStringLiteral("--- Read stopped: not connected ---"));
    }
    if (window_->tmrWrite().running()) {
        window_->tmrWrite().setInterval(0);
        window_->setStatus(QStringLiteral("--- Write stopped: not connected ---"));
    }
}

void SetupController::Open() {
    if (window_.isNull()) {
        create();
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
    window_->setModelCaptions(state_.FourChModel, state_.UsbModel);
}

void SetupController::create() {
    window_ = new SetupWindow;
    SetupWindow* w = window_;
    // Closing the main window ends the program even while this window is open.
    w->setAttribute(Qt::WA_QuitOnClose, false);
    // Children of the window: they live exactly as long as its timers and controls.
    auto* read = new TableRead(state_, *w, link_, panel_, messages_, w->tmrTokei(), w->tmrWrite(), w);
    auto* write = new TableWrite(state_, *w, link_, messages_, w->tmrTokei(), w->tmrWrite(), w);
    connect(w, &SetupWindow::dataReadClicked, read, &TableRead::Start);
    connect(w, &SetupWindow::dataWriteClicked, write, &TableWrite::Start);
    connect(w, &SetupWindow::rwStopClicked, w, [w] { StopReadWrite(w->tmrTokei(), w->tmrWrite()); });
    connect(w, &SetupWindow::clearClicked, w, [w] { ClearTable(*w, w->tmrTokei(), w->tmrWrite()); });
    connect(w, &SetupWindow::toControlClicked, this, &SetupController::toControlScreen);
    connect(w, &SetupWindow::saveClicked, this, &SetupController::save);
    connect(w, &SetupWindow::loadClicked, this, &SetupController::load);
    connect(w, &SetupWindow::closing, this, [this] {
        emit tableChanged(nullptr);
        emit pollingResumeRequested();
    });
    connect(w, &QObject::destroyed, this, [this] {
        state_.TableReading = false;
        emit tableChanged(nullptr);
    });
    emit tableChanged(w);
}

void SetupController::toControlScreen() {
    // Hidden, not destroyed: the table is kept. A running write goes on to its end.
    window_->hide();
    emit pollingResumeRequested();
    window_->tmrTokei().setInterval(0);
}

void SetupController::save() {
    FileChooser* files = window_->fileChooser();
    const QString name =
        TableFile::Save(*window_, state_.FourChModel, files->dirPath(), files->fileNameText(), messages_);
    files->setFileNameText(name);
    files->refreshFiles();
}

void SetupController::load() {
    FileChooser* files = window_->fileChooser();
    TableFile::Load(*window_, files->dirPath(), files->selectedFileName(), messages_, window_->tmrTokei(),
                    window_->tmrWrite());
}
