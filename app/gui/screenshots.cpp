#include "app/gui/screenshots.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include "app/gui/main_window.h"
#include "app/gui/robot_window.h"
#include "app/gui/world_dialogs.h"
#include "app/gui/terrain_dialogs.h"
#include "views/area_view.h"
#include "views/zone_view.h"

namespace gorvale::gui {
namespace {

void settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

bool save(QWidget* w, const QString& path) {
    settle();
    return w->grab().save(path, "PNG");
}

// The two dialogs of the bot group, filled in as a user would.
int shootWorldDialogs(MainWindow& window, const QString& dir) {
    int failures = 0;
    BuildBotDialog build(window, &window);
    build.corners.upperNS->setText("12");
    build.corners.upperWE->setText("8");
    build.corners.lowerNS->setText("4");
    build.corners.lowerWE->setText("6");
    build.show();
    failures += !save(&build, QDir(dir).filePath("build-dialog.png"));
    build.hide();
    DeleteObjectsDialog del(window, &window);
    del.corners.upperNS->setText("12");
    del.corners.upperWE->setText("8");
    del.corners.lowerNS->setText("4");
    del.corners.lowerSouth->setChecked(true);
    del.corners.lowerWE->setText("6");
    del.corners.lowerEast->setChecked(true);
    del.objectsMemo->setPlainText("tree*\nrock?.rwx\nz??n_*");
    del.byCitizen->setChecked(true);
    del.citizen->setText("1001");
    del.show();
    failures += !save(&del, QDir(dir).filePath("delete-dialog.png"));
    del.hide();
    return failures;
}

// The bot window in the middle of a Generate run that builds into the world
// at `world` ("host:port", citizen 1001 "secret", world "terra"), taken when
// the log has a dozen lines. The run writes into a scratch folder.
int shootRobotDuringRun(MainWindow& window, const QString& world, const QString& dir) {
    QTemporaryDir scratch;
    ConversionSettings& s = window.workspace().settings;
    const ConversionSettings kept = s;
    s.RWXFile = QDir(scratch.path()).filePath("z").toStdString();
    s.PropFile = QDir(scratch.path()).filePath("prop.txt").toStdString();
    s.LogEnable = false;
    s.ZipIt = false;
    s.FtpToHost = false;
    s.Scaling = 15;
    s.BuildWithRobot = true;
    s.BotCitNumber = "1001";
    s.CitizenNumber = "1001";
    s.BotPrivPassw = "secret";
    s.BotWorldName = "terra";
    s.BotUniverseURL = world.section(':', 0, 0).toStdString();
    s.BotUniversePort = world.section(':', 1, 1).toStdString();
    s.BotSpeedBar = 18;
    window.refreshControls();
    RobotWindow* robot = window.robotWindow();
    robot->resize(720, 420);
    RobotLog& log = robot->bot().Log();
    const auto shown = log.OnLine;
    bool taken = false, saved = false;
    log.OnLine = [&](const std::string& line) {
        shown(line);
        if (!taken && log.Lines().size() >= 12) {
            taken = true;
            saved = robot->grab().save(QDir(dir).filePath("robot-window.png"), "PNG");
        }
    };
    // No question of the run may stop the pictures: each takes its first answer.
    const auto choose = window.hooks.choose;
    window.hooks.choose = [](const QString&, const QString&, const QStringList&) { return 0; };
    window.generate();
    window.hooks.choose = choose;
    log.OnLine = shown;
    s = kept;
    window.refreshControls();
    robot->hide();
    return saved ? 0 : 1;
}

// The native-terrain side: the area dialog in both modes, and the two pages
// the mode changes most. Leaves the window in object mode again.
int takeTerrainScreenshots(MainWindow& window, const QString& dir) {
    int failures = 0;
    for (const auto& [exclusion, name] : {std::pair{false, "terrain-selection.png"}, {true, "terrain-exclusion.png"}}) {
        TerrainAreaDialog dialog(OpenTerrainSelection(window.workspace(), false, exclusion), &window);
        dialog.show();
        failures += !save(&dialog, QDir(dir).filePath(name));
    }
    auto* terrain = window.findChild<QCheckBox*>("AW_Terrain");
    auto* pages = window.findChild<QTabWidget*>("pages");
    if (!terrain || !pages) return failures + 2;
    terrain->click();
    for (const auto& [page, name] : {std::pair{3, "terrain-zones.png"}, {4, "terrain-prop.png"}}) {
        pages->setCurrentIndex(page);
        failures += !save(&window, QDir(dir).filePath(name));
    }
    terrain->click();
    pages->setCurrentIndex(0);
    return failures;
}

}  // namespace

int takeScreenshots(MainWindow& window, const QString& dir) {
    QDir().mkpath(dir);
    int failures = 0;
    auto* pages = window.findChild<QTabWidget*>("pages");
    window.resize(1180, 760);
    for (int i = 0; pages && i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        failures += !save(&window, QDir(dir).filePath(QString("page%1.png").arg(i + 1)));
    }
    pages->setCurrentIndex(0);
    failures += shootWorldDialogs(window, dir);
    if (!window.workspace().gridLoaded) return failures;
    const QString world = qEnvironmentVariable("GORVALE_SCREENSHOT_WORLD");
    if (!world.isEmpty()) failures += shootRobotDuringRun(window, world, dir);

    window.showFullPicture();
    AreaView* view = window.areaView();
    view->resize(760, 640);
    const int W = view->picture().width, H = view->picture().height;
    // An area across the shore, so the zone view shows more than one zone.
    view->leftPressed(W * 62 / 100, H / 2);
    view->released();
    view->mouseMovedTo(W * 3 / 4, H * 3 / 4);
    failures += !save(view, QDir(dir).filePath("dem-view.png"));
    window.showZones();
    window.zoneView()->resize(480, 480);
    failures += !save(window.zoneView(), QDir(dir).filePath("zone-view.png"));
    window.showSelectedArea();
    failures += !save(view, QDir(dir).filePath("dem-view-area.png"));
    view->close();
    window.zoneView()->close();
    return failures + takeTerrainScreenshots(window, dir);
}

}  // namespace gorvale::gui
