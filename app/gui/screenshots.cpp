#include "app/gui/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QThread>

#include "app/gui/main_window.h"
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
    return failures;
}

}  // namespace gorvale::gui
