#pragma once
// The bot window: the one builder bot of the program with its robot log, the
// action label, saving the log, and the 100 ms tick that drives object
// deletion and lets the world library deliver its answers while the program
// is idle. Everything the bot does is in world/; this only shows it.

#include <QWidget>

#include <memory>

#include "world/builder_bot.h"
#include "world/object_deletion.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace gorvale::gui {

struct DialogHooks;

class RobotWindow : public QWidget {
    Q_OBJECT
public:
    // `ui` answers the deletion's questions and its stop button; `hooks`
    // (may be null) replaces the modal dialogs.
    RobotWindow(UserInterface& ui, const DialogHooks* hooks, QWidget* parent = nullptr);
    ~RobotWindow() override;

    // Starts the world library; false after the "Critical Error!" message.
    bool startLibrary();

    BuilderBot& bot() { return bot_; }
    ObjectDeletion& deletion() { return deletion_; }

    // Shows, raises and focuses the window (every command that starts the bot).
    void showAndFocus();
    // "Save Log ...": asks for a file and saves; false when cancelled or failed
    // (a failure after a message naming the file and the reason).
    bool saveLog();
    // A modified log offers to be saved; false only when that save failed.
    bool offerToSave();
    QString logText() const;
    QString actionText() const;

    // One tick of the deletion timer (also called by tests).
    void deleteTimerTimer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void appendLine(const std::string& line);
    QString chooseLogFile();

    UserInterface& ui_;
    const DialogHooks* hooks_;
    BuilderBot bot_;
    ObjectDeletion deletion_;
    QPlainTextEdit* memo_ = nullptr;
    QLabel* action_ = nullptr;
    QTimer* deleteTimer_ = nullptr;
    bool inTick_ = false;
};

// Qt's form of a "Name (*.x)|*.x|Other|*.*" filter: "Name (*.x);;Other (*.*)".
QString qtFileFilter(const QString& pipeFilter);

}  // namespace gorvale::gui
