// The desktop program driven offscreen: start-up state, opening a sample,
// the enabling rules, picking in the DEM view, a stopped run, project
// files through the menus, the close prompt and the dialogs.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <clocale>
#include <fstream>
#include <sstream>

#include "app/gui/main_window.h"
#include "app/gui/settings_dialogs.h"
#include "pipeline/area_picture.h"
#include "pipeline/generate_run.h"
#include "views/area_view.h"
#include "views/zone_view.h"

using namespace gorvale;
using namespace gorvale::gui;

namespace {

QString sampleDem() { return QString(GORVALE_SOURCE_DIR) + "/examples/n43.dem"; }

template <typename T>
T* child(QWidget* w, const QString& name) {
    T* c = w->findChild<T*>(name);
    if (!c) qWarning() << "no child" << name;
    return c;
}

QAction* menuAction(QMainWindow& w, const QString& text) {
    for (QAction* top : w.menuBar()->actions())
        if (top->menu())
            for (QAction* a : top->menu()->actions())
                if (a->text() == text) return a;
    return nullptr;
}

std::string readAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button) {
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button,
                  type == QEvent::MouseMove ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("GorvaleTests");
        std::setlocale(LC_NUMERIC, "C");
    }

    void startUpState() {
        MainWindow w;
        QCOMPARE(w.windowTitle(), QString("Gorvale Terrain Converter   Ver: ") + fileVersion());
        QCOMPARE(fileVersion().count('.'), 3);
        auto* pages = child<QTabWidget>(&w, "pages");
        QCOMPARE(pages->count(), 7);
        const QStringList names = {"Elevation Model",   "World parameters", "RWX options", "RWX Texture Zones",
                                   "Prop/Build Options", "Tree Zones",      "Log options"};
        for (int i = 0; i < 7; ++i) QCOMPARE(pages->tabText(i), names[i]);
        QVERIFY(!child<QPushButton>(&w, "Generate")->isEnabled());
        QVERIFY(child<QPushButton>(&w, "Stop")->isEnabled());
        QVERIFY(!child<QPushButton>(&w, "ShowFullPicture")->isEnabled());
        QVERIFY(!child<QPushButton>(&w, "ShowZones")->isEnabled());
        // The area dialogs' buttons show once an elevation dump is opened.
        QVERIFY(child<QPushButton>(&w, "PresetTerrain")->isHidden());
        QVERIFY(child<QPushButton>(&w, "SetExcludedRectangle")->isHidden());
        // Defaults reach the controls.
        QCOMPARE(child<QLineEdit>(&w, "VerticalScale")->text(), QString("0.01"));
        QCOMPARE(child<QComboBox>(&w, "WorldSize")->currentIndex(), 1);
        QCOMPARE(child<QComboBox>(&w, "Scaling")->count(), 32);
        QVERIFY(child<QCheckBox>(&w, "ZipIt")->isChecked());
        QCOMPARE(child<QLineEdit>(&w, "TextureRWXName0")->text(), QString("water"));
        QCOMPARE(child<QCheckBox>(&w, "TextureObjectZone31")->text(), QString("Zone32"));
        QCOMPARE(child<QLineEdit>(&w, "DEMFile")->toolTip(), QString("DEM File Full Path"));
        QVERIFY(!w.workspace().SettingsModified);
    }

    // Qt takes the user's locale at start; the window puts the C number format back.
    void numbersKeepThePointUnderACommaLocale() {
        const std::string before = std::setlocale(LC_ALL, nullptr);
        const QByteArray oldAll = qgetenv("LC_ALL");
        const QByteArray oldLang = qgetenv("LANG");
        qputenv("LC_ALL", "de_DE.UTF-8");
        qputenv("LANG", "de_DE.UTF-8");
        const char* taken = std::setlocale(LC_ALL, "");
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        const QString underComma = text;
        bool numericIsC = false;
        if (taken) {
            MainWindow w;
            numericIsC = QString(std::setlocale(LC_NUMERIC, nullptr)) == "C";
            std::snprintf(text, sizeof text, "%.1f", 1.5);
        }
        std::setlocale(LC_ALL, before.c_str());
        qputenv("LC_ALL", oldAll);
        qputenv("LANG", oldLang);
        QVERIFY2(taken, "the de_DE.UTF-8 locale is not generated (scripts/setup.sh makes it)");
        QCOMPARE(underComma, QString("1,5"));
        QVERIFY(numericIsC);
        QCOMPARE(QString(text), QString("1.5"));
    }

    void openingASampleShowsItsReadouts() {
        MainWindow w;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        QVERIFY(child<QPushButton>(&w, "Generate")->isEnabled());
        QVERIFY(child<QPushButton>(&w, "ShowFullPicture")->isEnabled());
        // The labels show what the core's facts hold.
        for (Label l : {Label::Rows, Label::Columns, Label::ElevationRange, Label::BoxMin, Label::BoxMax})
            QCOMPARE(child<QLabel>(&w, QString("label%1").arg(int(l)))->text(),
                     QString::fromStdString(w.workspace().facts.text(l)));
        QCOMPARE(child<QLabel>(&w, QString("label%1").arg(int(Label::Rows)))->text(), QString("122"));
        QCOMPARE(child<QLineEdit>(&w, "ToNorth")->text(), QString::fromStdString(w.workspace().settings.ToNorth));
        QCOMPARE(w.areaView()->picture().width, w.workspace().grid.ColLimit + 1);
    }

    void theShippedProjectOpensItsFilesFromItsOwnFolder() {
        // Started elsewhere (the tests run in the build folder), the example's
        // relative "n43.dem" is still found beside the project.
        MainWindow w;
        QVERIFY(w.loadProject(QString(GORVALE_SOURCE_DIR) + "/examples/n43.gvl"));
        QVERIFY(w.workspace().gridLoaded);
        QVERIFY(child<QPushButton>(&w, "Generate")->isEnabled());
        QCOMPARE(QString::fromStdString(w.workspace().settings.DEMFile),
                 QString(GORVALE_SOURCE_DIR) + "/examples/n43.dem");
    }

    void textureRangesFollowEveryZoneChange() {
        MainWindow w;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        const QString facts[] = {QString::fromStdString(w.workspace().facts.text(Label::ElevationRange)),
                                 QString::fromStdString(w.workspace().facts.text(Label::BoxElev)),
                                 QString::fromStdString(w.workspace().facts.text(Label::BoxMin)),
                                 QString::fromStdString(w.workspace().facts.text(Label::BoxMax))};
        QVERIFY(!facts[0].isEmpty());
        for (const QString& field : {"TextureLowest3", "TextureHighest31"}) {
            for (int i = 0; i < 4; ++i) child<QLabel>(&w, QString("TextureRange%1").arg(i))->setText("stale");
            QTest::keyClicks(child<QLineEdit>(&w, field), "7");
            for (int i = 0; i < 4; ++i)
                QCOMPARE(child<QLabel>(&w, QString("TextureRange%1").arg(i))->text(), facts[i]);
        }
    }

    void enablingRules_data() {
        QTest::addColumn<QString>("sw");
        QTest::addColumn<QStringList>("dependents");
        QTest::newRow("skip") << "SkipElevation" << QStringList{"SkipElevationOdd", "SkipElevationOddHor"};
        QTest::newRow("log") << "LogEnable" << QStringList{"DetailedLog", "LogFile", "LogFileBrowse"};
        QTest::newRow("prelight") << "UsePrelight" << QStringList{"PrelightR", "PrelightG", "PrelightB"};
        QTest::newRow("overhang") << "WorldEdgeOverHang"
                                  << QStringList{"WorldEdgeOverHangN", "WorldEdgeOverHangS", "WorldEdgeOverHangW",
                                                 "WorldEdgeOverHangE"};
        QTest::newRow("level") << "WorldEdgeLevelWithGround" << QStringList{"WorldEdgeLevelSmooth"};
        QTest::newRow("ftp") << "FtpToHost" << QStringList{"FtpHostURL", "FtpPassword", "FtpProxyPort"};
        QTest::newRow("cliff") << "CliffTextures" << QStringList{"CliffTextureName", "CliffTextureMin"};
        QTest::newRow("unique") << "UseUniqueTextures" << QStringList{"UniqueTexturePrefix"};
        QTest::newRow("double") << "DoubleSidedObject" << QStringList{"TextureRWXBottomName0", "TextureRWXBottomName31"};
        QTest::newRow("trees") << "GenerateTrees" << QStringList{"GenerateOnlyTrees", "TreeLowest0", "TreeObjectZone31",
                                                                  "TreeHead0", "TreeHead6"};
        QTest::newRow("single") << "SingleObjectGround" << QStringList{"UseTranslate"};
    }
    void enablingRules() {
        QFETCH(QString, sw);
        QFETCH(QStringList, dependents);
        MainWindow w;
        auto* box = child<QCheckBox>(&w, sw);
        QVERIFY(box);
        for (const QString& d : dependents) QVERIFY2(!child<QWidget>(&w, d)->isEnabled(), qPrintable(d));
        box->click();
        QVERIFY(w.workspace().SettingsModified);
        for (const QString& d : dependents) QVERIFY2(child<QWidget>(&w, d)->isEnabled(), qPrintable(d));
        box->click();
        for (const QString& d : dependents) QVERIFY2(!child<QWidget>(&w, d)->isEnabled(), qPrintable(d));
    }

    void switchesThatDisableOthers_data() {
        QTest::addColumn<QString>("sw");
        QTest::addColumn<QStringList>("dependents");
        QTest::newRow("no rwx") << "NoRWX" << QStringList{"RWXFile", "ZipIt", "ZipPassword", "Ambient", "FtpToHost",
                                                          "TextureLowest0", "CliffTextures"};
        QTest::newRow("zip") << "ZipIt" << QStringList{"ZipPassword"};
        QTest::newRow("no prop") << "NoPropfile" << QStringList{"PropFile", "PropCenterNS", "BuildWithRobot", "GenerateTrees"};
        QTest::newRow("no texture") << "NoObjectTextures" << QStringList{"TextureLowest5", "NumberOfTiles", "UseUniqueTextures"};
    }
    void switchesThatDisableOthers() {
        QFETCH(QString, sw);
        QFETCH(QStringList, dependents);
        MainWindow w;
        for (const QString& d : dependents) QVERIFY2(child<QWidget>(&w, d)->isEnabled(), qPrintable(d));
        child<QCheckBox>(&w, sw)->click();
        for (const QString& d : dependents) QVERIFY2(!child<QWidget>(&w, d)->isEnabled(), qPrintable(d));
        child<QCheckBox>(&w, sw)->click();
        for (const QString& d : dependents) QVERIFY2(child<QWidget>(&w, d)->isEnabled(), qPrintable(d));
    }

    // "No Propfile " off gives the bot fields back only as the bot switch says;
    // the world commands stay off with their reason.
    void botFieldsFollowTheBotSwitchThroughNoPropfile() {
        MainWindow w;
        auto* field = child<QWidget>(&w, "BotCitNumber");
        QPushButton* worldCommand = nullptr;
        for (QPushButton* b : w.findChildren<QPushButton*>())
            if (b->text() == "Delete Objects ....") worldCommand = b;
        QVERIFY(worldCommand);
        QVERIFY(!field->isEnabled());
        child<QCheckBox>(&w, "BuildWithRobot")->click();
        QVERIFY(field->isEnabled());
        QVERIFY(child<QWidget>(&w, "BotSpeedBar")->isEnabled());
        child<QCheckBox>(&w, "NoPropfile")->click();
        QVERIFY(!field->isEnabled());
        child<QCheckBox>(&w, "NoPropfile")->click();
        QVERIFY(field->isEnabled());
        child<QCheckBox>(&w, "BuildWithRobot")->click();
        child<QCheckBox>(&w, "NoPropfile")->click();
        child<QCheckBox>(&w, "NoPropfile")->click();
        QVERIFY(!field->isEnabled());
        QVERIFY(!worldCommand->isEnabled());
        QVERIFY(!worldCommand->toolTip().isEmpty());
    }

    void singleModelSwitchesOverhangOff() {
        MainWindow w;
        child<QCheckBox>(&w, "WorldEdgeOverHang")->click();
        QVERIFY(w.workspace().settings.WorldEdgeOverHang);
        child<QCheckBox>(&w, "SingleObjectGround")->click();
        QVERIFY(!w.workspace().settings.WorldEdgeOverHang);
        QVERIFY(!child<QCheckBox>(&w, "WorldEdgeOverHang")->isChecked());
        QVERIFY(!child<QCheckBox>(&w, "WorldEdgeOverHang")->isEnabled());
    }

    void objectSizeRebuildsTheScaleList() {
        MainWindow w;
        auto* scale = child<QComboBox>(&w, "Scaling");
        const QString before = scale->itemText(3);
        child<QComboBox>(&w, "ObjectSize")->setCurrentIndex(3);
        QVERIFY(scale->itemText(3) != before);
        QCOMPARE(w.workspace().settings.ObjectSize, 3);
        // Dynamic scaling rewrote the vertical scale field.
        QCOMPARE(child<QLineEdit>(&w, "VerticalScale")->text(), QString::fromStdString(w.workspace().settings.VerticalScale));
    }

    void clickInTheDemViewWritesTheSnappedBox() {
        MainWindow w;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        w.showFullPicture();
        AreaView* v = w.areaView();
        QVERIFY(v->isVisible());
        QWidget* canvas = v->canvas();
        const int W = v->picture().width, H = v->picture().height;
        const QPoint at = v->canvas()->pictureToView(60, 60);
        sendMouse(canvas, QEvent::MouseMove, at, Qt::NoButton);
        QVERIFY2(v->windowTitle().startsWith("CenterElev="), qPrintable(v->windowTitle()));
        QVERIFY2(v->windowTitle().contains(QString::asprintf("X=%4d Y=%4d CX=  70 CY=  70", W - 60, H - 60)),
                 qPrintable(v->windowTitle()));
        sendMouse(canvas, QEvent::MouseButtonPress, at, Qt::LeftButton);
        sendMouse(canvas, QEvent::MouseButtonRelease, at, Qt::LeftButton);
        // 200 x 200 world of 10 m objects, one cell each: a 20 x 21 outline
        // with the mouse at its lower right corner.
        QCOMPARE(child<QLineEdit>(&w, "FromSouth")->text(), QString::number(H - 60));
        QCOMPARE(child<QLineEdit>(&w, "FromWest")->text(), QString::number(W - 60));
        QCOMPARE(child<QLineEdit>(&w, "ToNorth")->text(), QString::number(H - 60 + 21));
        QCOMPARE(child<QLineEdit>(&w, "ToEast")->text(), QString::number(W - 60 + 20));
        QVERIFY2(v->readout().startsWith("Center elevation="), qPrintable(v->readout()));
        QCOMPARE(child<QLabel>(&w, QString("label%1").arg(int(Label::NS_Size)))->text(), QString("210m"));

        // The keyboard moves the outline and records it too.
        QTest::keyClick(canvas, Qt::Key_Left);
        QVERIFY2(v->windowTitle().contains(QString::asprintf("X=%4d Y=%4d", W - 59, H - 60)), qPrintable(v->windowTitle()));
        QTest::keyClick(canvas, Qt::Key_Return);
        QCOMPARE(child<QLineEdit>(&w, "FromWest")->text(), QString::number(W - 59));
        QCOMPARE(child<QLineEdit>(&w, "FromSouth")->text(), QString::number(H - 60));
        sendMouse(canvas, QEvent::MouseButtonPress, at, Qt::LeftButton);
        sendMouse(canvas, QEvent::MouseButtonRelease, at, Qt::LeftButton);

        // Area-only mode ignores the mouse.
        w.showSelectedArea();
        QVERIFY(v->areaOnly());
        QCOMPARE(v->picture().width, 21);
        sendMouse(canvas, QEvent::MouseButtonPress, v->canvas()->pictureToView(2, 2), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(&w, "FromSouth")->text(), QString::number(H - 60));
    }

    void viewSavesABitmapAndTheZoneView() {
        MainWindow w;
        QTemporaryDir dir;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        w.hooks.fileName = [&](const QString&, const QString& filter, const QString& suffix, bool save) {
            [&] {
                QVERIFY(save);
                QCOMPARE(filter, QString("Bitmaps (*.bmp)"));
                QCOMPARE(suffix, QString("bmp"));
            }();
            return dir.filePath("view.bmp");
        };
        w.showFullPicture();
        QVERIFY(w.areaView()->saveAs());
        QCOMPARE(w.areaView()->windowTitle(), dir.filePath("view.bmp"));
        const int W = w.areaView()->picture().width, H = w.areaView()->picture().height;
        QCOMPARE(readAll(dir.filePath("view.bmp")).size(), std::size_t(54 + (W * 3 + 3) / 4 * 4 * H));
        QVERIFY(w.zoneView()->isVisible());
        QVERIFY(!w.zoneView()->picture().empty());
        w.zoneView()->resize(300, 300);
        w.zoneView()->mouseMovedTo(150, 150);
        QVERIFY2(w.zoneView()->windowTitle().endsWith("a"), qPrintable(w.zoneView()->windowTitle()));
    }

    void stopEndsARunWithAValidPropdump() {
        MainWindow w;
        QTemporaryDir dir;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        ConversionSettings& s = w.workspace().settings;
        s.RWXFile = dir.filePath("z").toStdString();
        s.PropFile = dir.filePath("prop.txt").toStdString();
        s.LogFile = dir.filePath("run.log").toStdString();
        s.ZipIt = false;
        s.LogEnable = true;
        w.refreshControls();
        const int total = SelectionTileCount(w.workspace());
        QVERIFY(total > 10);
        // The stop button is pressed once the progress bar first moves, in the
        // middle of the run.
        int polls = 0;
        w.hooks.choose = [](const QString&, const QString&, const QStringList&) { return 0; };
        auto* bar = child<QProgressBar>(&w, "progress");
        QObject::connect(bar, &QProgressBar::valueChanged, &w, [&](int v) {
            if (v > 0 && w.running() && polls == 0) {
                ++polls;
                child<QPushButton>(&w, "Stop")->click();
            }
        });
        QTest::mousePress(child<QPushButton>(&w, "Generate"), Qt::LeftButton);
        QTest::mouseRelease(child<QPushButton>(&w, "Generate"), Qt::LeftButton);
        QCOMPARE(polls, 1);
        QVERIFY(!w.running());
        const std::string prop = readAll(dir.filePath("prop.txt"));
        QVERIFY(prop.rfind("propdump version 3", 0) == 0);
        const int lines = static_cast<int>(std::count(prop.begin(), prop.end(), '\n'));
        QVERIFY2(lines >= 2 && lines < total, qPrintable(QString("%1 lines of %2").arg(lines).arg(total)));
        QVERIFY(child<QPushButton>(&w, "Generate")->isEnabled());
        QVERIFY(!w.logPageText().isEmpty());
    }

    void saveAndLoadThroughTheMenus() {
        QTemporaryDir dir;
        const QString project = dir.filePath("job.gvl");
        MainWindow w;
        w.hooks.fileName = [&](const QString&, const QString& filter, const QString& suffix, bool) {
            [&] {
                QCOMPARE(filter, QString("Gorvale Settings (*.gvl);;All Files (*)"));
                QCOMPARE(suffix, QString("gvl"));
            }();
            return project;
        };
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        auto* ambient = child<QLineEdit>(&w, "Ambient");
        ambient->selectAll();
        QTest::keyClicks(ambient, "0.75");
        child<QCheckBox>(&w, "UseUniqueTextures")->click();
        QVERIFY(w.workspace().SettingsModified);
        menuAction(w, "S&ave Settings")->trigger();
        QVERIFY(!w.workspace().SettingsModified);
        QVERIFY(readAll(project).find("Ambient=0.75\r\n") != std::string::npos);

        MainWindow other;
        other.hooks.fileName = w.hooks.fileName;
        menuAction(other, "&Load Settings")->trigger();
        QCOMPARE(child<QLineEdit>(&other, "Ambient")->text(), QString("0.75"));
        QVERIFY(child<QCheckBox>(&other, "UseUniqueTextures")->isChecked());
        QVERIFY(child<QPushButton>(&other, "Generate")->isEnabled());
        QVERIFY(!other.workspace().SettingsModified);
        QCOMPARE(child<QTabWidget>(&other, "pages")->currentIndex(), 0);
    }

    void closePromptBothWays() {
        QTemporaryDir dir;
        for (int pressed : {0, 1}) {
            const QString project = dir.filePath(QString("close%1.gvl").arg(pressed));
            MainWindow w;
            QStringList asked;
            w.hooks.choose = [&](const QString& caption, const QString& text, const QStringList& buttons) {
                asked << caption << text << buttons;
                return pressed;
            };
            w.hooks.fileName = [&](const QString&, const QString&, const QString&, bool) { return project; };
            w.show();
            w.close();  // nothing changed: no prompt
            QVERIFY(asked.isEmpty());
            w.show();
            child<QCheckBox>(&w, "NoRWX")->click();
            w.close();
            QCOMPARE(asked, (QStringList{"Warning!", "Some of your settings changed!", "Save Settings", "Ignore"}));
            QCOMPARE(QFile::exists(project), pressed == 0);
            QVERIFY(!w.workspace().SettingsModified);
        }
    }

    void saveTerrainDialogDefaultsAndResult() {
        MainWindow w;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        QTemporaryDir dir;
        SaveTerrainDialog d(w.workspace());
        QCOMPARE(d.windowTitle(), QString("Save Terrain database"));
        QCOMPARE(d.type->currentText(), QString("Terragen"));
        QCOMPARE(d.scale->value(), 1);
        QCOMPARE(d.scale->minimum(), 1);
        QCOMPARE(d.scale->maximum(), 100);
        QVERIFY(!d.squareAvg->isChecked());
        QVERIFY(!d.upDown->isEnabled());
        QCOMPARE(d.upDown->toolTip(), QString("Not implemented yet"));
        QCOMPARE(d.save(), -1);  // no file name: nothing written
        d.fileName = [&](const QString&, const QString& suffix) { return dir.filePath("t." + suffix); };
        QCOMPARE(d.save(), 0);
        QVERIFY(readAll(dir.filePath("t.ter")).rfind("TERRAGEN", 0) == 0);
    }

    void dtedSizeDialogReadouts() {
        DtedSizeDialog d("121", nullptr, "Please provide the horizontal size of the grid:\nTotal Points: 14641");
        QCOMPARE(d.windowTitle(), QString("DTED grid size"));
        QCOMPARE(d.value(), QString("121"));
        QCOMPARE(d.totalPoints->text(), QString("14641"));
        QCOMPARE(d.verticalGrid->text(), QString("?"));
        d.field->setText("11");
        QCOMPARE(d.verticalGrid->text(), QString("1331"));
        d.field->setText("x");
        QCOMPARE(d.verticalGrid->text(), QString("?"));
        // The merge part shows with its switch; without "Merge..." there is no merge.
        QVERIFY(d.east->isHidden() || !d.east->isVisibleTo(&d));
        d.mergeSwitch->click();
        QVERIFY(d.east->isVisibleTo(&d) && d.mergeButton->isVisibleTo(&d));
        QVERIFY(!d.mergeAnswer());
        QCOMPARE((QStringList{d.east->text(), d.north->text(), d.numgrid->text()}), (QStringList{"87", "27", "5"}));
    }

    // The one dialog answers the size and then the merge the reader asks next.
    void dtedDialogAnswersSizeAndMerge() {
        MainWindow w;
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<DtedSizeDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            d->field->setText("120");
            d->mergeSwitch->click();
            d->east->setText("86");
            d->numgrid->setText("3");
            d->mergeButton->click();
        });
        const auto size = w.ask({"DTED grid size", "Please provide the horizontal size of the grid:\nTotal Points: 14641",
                                 "121", Question::DtedGridSize});
        QVERIFY(size == std::optional<std::string>("120"));
        const AskRequest merge{"Merge multiple grids", {}, "87,27,5", Question::DtedMerge};
        QVERIFY(w.ask(merge) == std::optional<std::string>("86,27,3"));
        QVERIFY(!w.ask(merge));
        // Closed by "OK": the size only.
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<DtedSizeDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            d->field->setText("11");
            QTest::keyClick(d->field, Qt::Key_Return);
        });
        QVERIFY(w.ask({"DTED grid size", "Total Points: 1", "121", Question::DtedGridSize}) ==
                std::optional<std::string>("11"));
        QVERIFY(!w.ask(merge));
    }

    void errorDialogHasTheFixedLine() {
        MainWindow w;
        QStringList shown;
        w.hooks.choose = [&](const QString& caption, const QString& text, const QStringList& buttons) {
            shown << caption << text << buttons;
            return 0;
        };
        w.fileError("/no/such/file");
        QCOMPARE(shown, (QStringList{"Error", "Error occured when creating/reading/uploading file::\n/no/such/file", "OK"}));
        shown.clear();
        QCOMPARE(w.message("Sure?", "Question", MessageKind::Confirmation, Buttons::YesNo), Answer::Yes);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
