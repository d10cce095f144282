#include "app/gui/robot_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "views/dialog_hooks.h"
#include "world/aw_sdk.h"

namespace gorvale::gui {
namespace {

constexpr const char* kCriticalCaption = "Critical Error!";

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QString qtFileFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i].trimmed();
        const QString patterns = QString(parts[i + 1]).replace(';', ' ');
        // Qt reads the patterns from the last parentheses of each entry.
        filters << (name.endsWith(')') ? name : QString("%1 (%2)").arg(name, patterns));
    }
    return filters.join(";;");
}

RobotWindow::RobotWindow(UserInterface& ui, const DialogHooks* hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(ui), hooks_(hooks), deletion_(bot_, ui) {
    setObjectName("Robot");
    setWindowTitle(kRobotCaption);
    auto* grid = new QGridLayout(this);

    grid->addWidget(new QLabel(kRobotLogLabel), 0, 0, 1, 3);
    memo_ = new QPlainTextEdit;
    memo_->setObjectName("Memo");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed("Courier New");
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    // Where "Courier New" is missing the system's fixed-pitch font stands in.
    if (!QFontInfo(fixed).fixedPitch()) fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    memo_->setFont(fixed);
    grid->addWidget(memo_, 1, 0, 1, 3);

    action_ = new QLabel(q(bot_.RobotActionLabel()));
    action_->setObjectName("RobotActionLabel");
    QFont bold = action_->font();
    bold.setBold(true);
    action_->setFont(bold);
    grid->addWidget(action_, 2, 0, 1, 3);

    auto* save = new QPushButton("Save Log ...");
    save->setObjectName("SaveLog");
    connect(save, &QPushButton::clicked, this, [this] { saveLog(); });
    auto* close = new QPushButton("Close");
    close->setObjectName("Close");
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    grid->addWidget(save, 3, 0);
    grid->setColumnStretch(1, 1);
    grid->addWidget(close, 3, 2);
    resize(640, 420);

    bot_.OnStart = [this] { showAndFocus(); };
    // The bot's pace waits keep the windows alive, so the stop button reaches
    // a build or a deletion between objects. The idle tick's 1 ms wait runs
    // inside the event loop already.
    bot_.Wait = [this](int ms) {
        if (ms > 1) ui_.processEvents();
        return aw_wait(ms);
    };
    bot_.Log().OnLine = [this](const std::string& line) { appendLine(line); };
    bot_.OnActionLabel = [this](const std::string& text) {
        action_->setText(q(text));
        action_->repaint();
    };

    deleteTimer_ = new QTimer(this);
    deleteTimer_->setObjectName("DeleteTimer");
    deleteTimer_->setInterval(kDeleteTickMs);
    connect(deleteTimer_, &QTimer::timeout, this, &RobotWindow::deleteTimerTimer);
    deleteTimer_->start();
}

RobotWindow::~RobotWindow() {
    deleteTimer_->stop();
    bot_.Log().OnLine = nullptr;
    bot_.OnActionLabel = nullptr;
    bot_.OnStart = nullptr;
    bot_.Wait = aw_wait;
}

bool RobotWindow::startLibrary() {
    const int rc = bot_.Initialize();
    if (rc == 0) return true;
    ui_.message(BuilderBot::InitializeFailureText(rc), kCriticalCaption, MessageKind::Error, Buttons::Ok);
    return false;
}

void RobotWindow::showAndFocus() {
    show();
    raise();
    activateWindow();
}

void RobotWindow::appendLine(const std::string& line) {
    memo_->appendPlainText(q(line));
    memo_->document()->setModified(true);
}

QString RobotWindow::logText() const { return memo_->toPlainText(); }

QString RobotWindow::actionText() const { return action_->text(); }

QString RobotWindow::chooseLogFile() {
    const QString filter = qtFileFilter(kRobotLogFilter);
    const QString suffix = QString(kRobotLogDefaultExtension).mid(1);
    if (hooks_ && hooks_->fileName) return hooks_->fileName("Save Log", filter, suffix, true);
    // Qt's save dialog asks before overwriting a file.
    QFileDialog dialog(this, "Save Log", {}, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

bool RobotWindow::saveLog() {
    const QString path = chooseLogFile();
    if (path.isEmpty()) return false;
    std::string error;
    if (!bot_.Log().SaveLog(path.toStdString(), error)) {
        ui_.message(error, "Error", MessageKind::Error, Buttons::Ok);
        return false;
    }
    memo_->document()->setModified(false);
    return true;
}

bool RobotWindow::offerToSave() {
    const bool ok = OfferToSaveRobotLog(ui_, bot_.Log(), [this]() -> std::optional<std::string> {
        const QString path = chooseLogFile();
        if (path.isEmpty()) return std::nullopt;
        return path.toStdString();
    });
    memo_->document()->setModified(bot_.Log().Modified());
    return ok;
}

void RobotWindow::closeEvent(QCloseEvent* event) {
    // A log that could not be saved keeps the window open, so nothing is lost.
    if (isVisible() && !offerToSave()) {
        event->ignore();
        return;
    }
    event->accept();
}

void RobotWindow::deleteTimerTimer() {
    // A tick that processes window messages must not run a second tick inside itself.
    if (inTick_) return;
    inTick_ = true;
    // The stop button ends a walk between sectors too, not only among found objects.
    if (deletion_.Running() && ui_.stopRequested()) deletion_.StopWalk();
    deletion_.DeleteTimerTimer();
    inTick_ = false;
}

}  // namespace gorvale::gui
