// gorvale: the desktop program.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <QToolTip>

#include <exception>

#include "app/gui/main_window.h"
#include "app/gui/robot_window.h"
#include "app/gui/screenshots.h"

namespace {

// An error that escapes a command is shown and the program goes on.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            gorvale::gui::showEscapedError(e.what());
        } catch (...) {
            gorvale::gui::showEscapedError("unknown error");
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication::setOrganizationName("Gorvale");
    QApplication::setApplicationName("Gorvale");
    QApplication::setDesktopFileName("gorvale");
    GuardedApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon::fromTheme("gorvale", QIcon(QString(GORVALE_ICON_PATH))));

    gorvale::gui::MainWindow window;
    if (!window.robotWindow()->startLibrary()) {
        // Nothing to save: the program has not started.
        window.workspace().SettingsModified = false;
        return 1;
    }
    gorvale::gui::installToolTipTime();
    window.show();
    const QStringList args = QApplication::arguments();
    const QString project = args.size() > 1 ? args[1] : QString();
    const QString shots = qEnvironmentVariable("GORVALE_SCREENSHOTS");
    QTimer::singleShot(0, &window, [&window, project, shots] {
        if (!project.isEmpty()) window.loadProject(project);
        if (!shots.isEmpty()) {
            const int failures = gorvale::gui::takeScreenshots(window, shots);
            window.workspace().SettingsModified = false;
            QApplication::exit(failures == 0 ? 0 : 1);
        }
    });
    return app.exec();
}
