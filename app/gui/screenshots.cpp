#include "app/gui/screenshots.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QThread>

#include "app/gui/main_window.h"
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
    if (!window.workspace().gridLoaded) return failures;

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
