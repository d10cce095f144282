#include "app/gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <utility>

#include "app/core/conversion_job.h"
#include "app/core/project_file.h"
#include "app/core/project_paths.h"
#include "app/core/project_hooks.h"
#include "app/gui/robot_window.h"
#include "app/gui/settings_dialogs.h"
#include "app/gui/terrain_dialogs.h"
#include "app/gui/world_dialogs.h"
#include "import/expand_grid.h"
#include "import/format_dispatch.h"
#include "import/grid_operations.h"
#include "import/open_elevation_file.h"
#include "pipeline/area_picture.h"
#include "pipeline/window_values.h"
#include "views/area_view.h"
#include "views/zone_view.h"
#include "world/terrain_selection.h"

namespace gorvale::gui {
namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s8(const QString& s) { return s.toStdString(); }

constexpr const char* kRobotBusyText =
    "The builder bot is still at work.\nPress STOP!! I changed my mind! or wait until it has finished.";


// Qt's filter for one of the open dialog's file types ("USGS DEM (*.dem *.DEM)").
QString qtFilter(const char* name, const char* patterns) {
    return QString("%1 (%2)").arg(name, QString(patterns).replace(';', ' '));
}

QString openDialogFilters() {
    QStringList f;
    for (const OpenDialogFileType& t : kOpenDialogFileTypes) f << qtFilter(t.name, t.pattern);
    return f.join(";;");
}

constexpr const char* kProjectFilters = "Gorvale Settings (*.gvl);;All Files (*)";

void fillSwatch(QPushButton* b, Colour c) {
    const QColor col(static_cast<int>(c & 0xff), static_cast<int>((c >> 8) & 0xff), static_cast<int>((c >> 16) & 0xff));
    b->setStyleSheet(QString("background-color: %1; border: 1px solid #555;").arg(col.name()));
}

}  // namespace

void installToolTipTime() {
    for (QWidget* w : QApplication::allWidgets()) w->setToolTipDuration(8000);
}

void showEscapedError(const char* what) {
    QMessageBox::critical(QApplication::activeWindow(), "Error", QString::fromLocal8Bit(what));
}

QString fileVersion() {
    QStringList parts = QString(GORVALE_VERSION).split('.');
    while (parts.size() < 4) parts << "0";
    return parts.mid(0, 4).join('.');
}

QString mainWindowTitle() {
    return QString("Gorvale Terrain Converter ") + QString::asprintf("  Ver: %s", fileVersion().toUtf8().constData());
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      ws_(*this, defaultSettings(std::filesystem::current_path())) {
    // Qt has taken the user's locale by now; numbers in files and fields keep the point.
    std::setlocale(LC_NUMERIC, "C");
    setObjectName("MainWindow");
    QMainWindow::setWindowTitle(mainWindowTitle());
    labels_.fill(nullptr);

    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    pages_ = new QTabWidget(central);
    pages_->setObjectName("pages");
    pages_->addTab(buildElevationPage(), "Elevation Model");
    pages_->addTab(buildWorldPage(), "World parameters");
    pages_->addTab(buildRwxPage(), "RWX options");
    pages_->addTab(buildTexturePage(), "RWX Texture Zones");
    pages_->addTab(buildPropPage(), "Prop/Build Options");
    pages_->addTab(buildTreePage(), "Tree Zones");
    pages_->addTab(buildLogPage(), "Log options");
    outer->addWidget(pages_, 1);

    auto* bottom = new QHBoxLayout;
    generateButton_ = new QPushButton("Generate", central);
    generateButton_->setObjectName("Generate");
    generateButton_->setEnabled(false);
    generateButton_->setToolTip("Convert the selected area (open an elevation model first)");
    // The command acts when the button goes down, as the original did.
    connect(generateButton_, &QPushButton::pressed, this, &MainWindow::generate);
    commandWidgets_.push_back({Command::Generate, generateButton_});
    bottom->addWidget(generateButton_);
    auto* relaxGrid = new QGridLayout;
    check(relaxGrid, 0, 0, "Relax to Other Apps", ws_.settings.RelaxToOtherApps, "RelaxToOtherApps");
    bottom->addLayout(relaxGrid);
    stopButton_ = new QPushButton("STOP!! I changed my mind!", central);
    stopButton_->setObjectName("Stop");
    connect(stopButton_, &QPushButton::clicked, this, &MainWindow::requestStop);
    bottom->addWidget(stopButton_);
    bottom->addStretch(1);
    outer->addLayout(bottom);
    setCentralWidget(central);

    for (int i = 0; i < 2; ++i) {
        statusPanels_[i] = new QLabel(this);
        statusPanels_[i]->setObjectName(QString("status%1").arg(i));
        statusPanels_[i]->setMinimumWidth(i == 0 ? 400 : 50);
        statusBar()->addWidget(statusPanels_[i], i == 0 ? 1 : 0);
    }
    buildMenus();

    areaView_ = new AreaView(ws_, this);
    zoneView_ = new ZoneView(ws_, this);
    connect(areaView_, &AreaView::areaPicked, this, [this] { refreshControls(); });
    connect(areaView_, &AreaView::saveRequested, this, [this] { showZones(); });
    areaView_->hooks = &hooks;
    zoneView_->hooks = &hooks;
    robot_ = new RobotWindow(*this, &hooks, this);

    // The start-up defaults stand as they are: no change handler has run yet.
    ws_.shaping.ObjectUnits = ObjectUnitsFromChoice(ws_.settings.ObjectSize);
    ws_.shaping.ScalingStep = scalingStep(ws_.settings);
    ApplyWorldSizeChoice(ws_.settings, ws_.shaping);
    rebuildScaleList();
    refreshControls();
    ws_.SettingsModified = false;

    QSettings geometry;
    restoreGeometry(geometry.value("MainWindow/geometry").toByteArray());
}

// The bot window goes first: its timer and bot use this window as their user interface.
MainWindow::~MainWindow() { delete robot_; }

int MainWindow::pageCount() const { return pages_->count(); }

QString MainWindow::logPageText() const { return logPage_->toPlainText(); }

// ---- binding -------------------------------------------------------------

void MainWindow::changed() {
    if (refreshing_) return;
    ws_.SettingsModified = true;
    applyRules();
    // Every change refreshes the read-outs, the texture page's elevation ranges among them.
    gridFactsChanged();
}

void MainWindow::applyRules() {
    for (RuleTarget& r : rules_) r.widget->setEnabled(r.enabled());
}

QCheckBox* MainWindow::check(QGridLayout* grid, int row, int col, const QString& caption, bool& member,
                             const QString& objectName) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(objectName.isEmpty() ? caption : objectName);
    grid->addWidget(box, row, col, 1, 2);
    refreshers_.push_back([box, &member] {
        box->blockSignals(true);
        box->setChecked(member);
        box->blockSignals(false);
    });
    connect(box, &QCheckBox::toggled, this, [this, &member](bool on) {
        member = on;
        changed();
    });
    return box;
}

QLineEdit* MainWindow::text(QGridLayout* grid, int row, int col, const QString& caption, std::string& member,
                            const QString& hint, const QString& objectName) {
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName.isEmpty() ? caption : objectName);
    if (!hint.isEmpty()) edit->setToolTip(hint);
    if (!caption.isEmpty()) {
        auto* l = new QLabel(caption);
        l->setBuddy(edit);
        grid->addWidget(l, row, col);
    }
    grid->addWidget(edit, row, col + 1);
    refreshers_.push_back([edit, &member] {
        if (edit->text() != q(member)) {
            edit->blockSignals(true);
            edit->setText(q(member));
            edit->blockSignals(false);
        }
    });
    connect(edit, &QLineEdit::textEdited, this, [this, &member](const QString& t) {
        member = s8(t);
        changed();
    });
    return edit;
}

// A zone-table cell: the bound control alone in its column (no caption
// label beside it, as every row repeats the column's heading).
QCheckBox* MainWindow::zoneCheck(QGridLayout* grid, int row, int col, const QString& caption, bool& member,
                                 const QString& objectName) {
    QCheckBox* box = check(grid, row, col, caption, member, objectName);
    grid->removeWidget(box);
    grid->addWidget(box, row, col);
    return box;
}

QLineEdit* MainWindow::zoneText(QGridLayout* grid, int row, int col, std::string& member, const QString& objectName,
                                int maxWidth) {
    QLineEdit* edit = text(grid, row, col - 1, {}, member, {}, objectName);
    grid->removeWidget(edit);
    grid->addWidget(edit, row, col);
    edit->setMaximumWidth(maxWidth);
    return edit;
}

QComboBox* MainWindow::choice(QGridLayout* grid, int row, int col, const QString& caption, const QStringList& items,
                              int& member, const QString& objectName) {
    auto* combo = new QComboBox;
    combo->setObjectName(objectName.isEmpty() ? caption : objectName);
    combo->addItems(items);
    auto* l = new QLabel(caption);
    l->setBuddy(combo);
    grid->addWidget(l, row, col);
    grid->addWidget(combo, row, col + 1);
    refreshers_.push_back([combo, &member] {
        combo->blockSignals(true);
        combo->setCurrentIndex(member >= 0 && member < combo->count() ? member : -1);
        combo->blockSignals(false);
    });
    connect(combo, &QComboBox::currentIndexChanged, this, [this, &member](int i) {
        if (i < 0) return;
        member = i;
        changed();
    });
    return combo;
}

QLabel* MainWindow::readout(QGridLayout* grid, int row, int col, const QString& caption, Label which) {
    grid->addWidget(new QLabel(caption), row, col);
    auto* value = new QLabel;
    value->setObjectName(QString("label%1").arg(static_cast<int>(which)));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(value, row, col + 1);
    if (!labels_[static_cast<int>(which)])
        labels_[static_cast<int>(which)] = value;
    else
        extraLabels_[static_cast<int>(which)].push_back(value);
    return value;
}

QPushButton* MainWindow::swatch(Colour& member, const QString& objectName) {
    auto* b = new QPushButton;
    b->setObjectName(objectName);
    b->setFixedSize(28, 20);
    b->setToolTip("Display colour of the zone (click to choose)");
    refreshers_.push_back([b, &member] { fillSwatch(b, member); });
    connect(b, &QPushButton::clicked, this, [this, b, &member] {
        const QColor now(static_cast<int>(member & 0xff), static_cast<int>((member >> 8) & 0xff),
                         static_cast<int>((member >> 16) & 0xff));
        const QColor c = QColorDialog::getColor(now, this);
        if (!c.isValid()) return;
        member = static_cast<Colour>(c.red()) | static_cast<Colour>(c.green()) << 8 |
                 static_cast<Colour>(c.blue()) << 16;
        fillSwatch(b, member);
        changed();
    });
    return b;
}

void MainWindow::refreshControls() {
    refreshing_ = true;
    for (auto& r : refreshers_) r();
    refreshing_ = false;
    applyRules();
    gridFactsChanged();
    const SingleObjectGroundControls single = ws_.settings.SingleObjectGround
                                                  ? SingleObjectGroundControls{"NamePrefix", false, true}
                                                  : SingleObjectGroundControls{"Target Rwx Prefix", true, false};
    if (rwxPrefixLabel_) rwxPrefixLabel_->setText(single.PrefixButtonText);
    applyNativeTerrainView();
}

// ---- pages ---------------------------------------------------------------

QWidget* MainWindow::buildElevationPage() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);
    ConversionSettings& s = ws_.settings;

    auto* fileBox = new QGroupBox("Elevation Model File");
    auto* g = new QGridLayout(fileBox);
    QLineEdit* dem = text(g, 0, 0, "DEM File", s.DEMFile, "DEM File Full Path", "DEMFile");
    dem->setMinimumWidth(360);
    connect(dem, &QLineEdit::returnPressed, this, [this] {
        openElevationFile(q(ws_.settings.DEMFile), ws_.settings.FileType);
    });
    auto* open = new QPushButton("Open Elevation Model");
    open->setObjectName("OpenElevationModel");
    connect(open, &QPushButton::clicked, this, &MainWindow::chooseAndOpen);
    g->addWidget(open, 0, 2);
    readout(g, 1, 0, "Name:", Label::DemName);
    readout(g, 2, 0, "Rowns(N/S):", Label::Rows);
    readout(g, 3, 0, "Columns (E/W):", Label::Columns);
    readout(g, 4, 0, "Elevation Range:", Label::ElevationRange);
    layout->addWidget(fileBox, 0, 0, 1, 2);

    auto* box = new QGroupBox("Bounding Rectangle");
    auto* b = new QGridLayout(box);
    b->addWidget(new QLabel("<b>Lower Right</b>"), 0, 0, 1, 2);
    b->addWidget(new QLabel("<b>Upper Left</b>"), 0, 2, 1, 2);
    QLineEdit* south = text(b, 1, 0, "S", s.FromSouth, "First row (south edge) of the area", "FromSouth");
    QLineEdit* east = text(b, 2, 0, "E", s.FromWest, "First column (east edge) of the area", "FromWest");
    QLineEdit* north = text(b, 1, 2, "N", s.ToNorth, "Last row (north edge) of the area", "ToNorth");
    QLineEdit* west = text(b, 2, 2, "W", s.ToEast, "Last column (west edge) of the area", "ToEast");
    // Typed edges are snapped to whole objects inside the grid when the field is left.
    for (QLineEdit* e : {south, north})
        connect(e, &QLineEdit::editingFinished, this, [this] {
            if (!ws_.gridLoaded || refreshing_) return;
            SnapNorthSouth(ws_);
            ComputeSelectionStats(ws_);
            refreshControls();
        });
    for (QLineEdit* e : {east, west})
        connect(e, &QLineEdit::editingFinished, this, [this] {
            if (!ws_.gridLoaded || refreshing_) return;
            SnapEastWest(ws_);
            ComputeSelectionStats(ws_);
            refreshControls();
        });
    readout(b, 3, 0, "Range:", Label::BoxElev);
    readout(b, 4, 0, "Min:", Label::BoxMin);
    readout(b, 5, 0, "Max:", Label::BoxMax);
    readout(b, 3, 2, "N-S size:", Label::NS_Size);
    readout(b, 4, 2, "W-E size:", Label::WE_Size);
    auto* selected = new QPushButton("Show Selected Area");
    selected->setObjectName("ShowSelectedArea");
    auto* full = new QPushButton("Show Full DEM Picture");
    full->setObjectName("ShowFullPicture");
    for (QPushButton* p : {selected, full}) p->setEnabled(false);
    connect(selected, &QPushButton::clicked, this, &MainWindow::showSelectedArea);
    connect(full, &QPushButton::clicked, this, &MainWindow::showFullPicture);
    commandWidgets_.push_back({Command::ShowSelectedArea, selected});
    commandWidgets_.push_back({Command::ShowFullPicture, full});
    b->addWidget(full, 6, 0, 1, 2);
    b->addWidget(selected, 6, 2, 1, 2);
    auto* excluded = new QPushButton("Set Excluded Rectangle ...");
    excluded->setObjectName("SetExcludedRectangle");
    excluded->setToolTip("Place the exclusion rectangle around the centre, in grid points");
    // Shown by the core once an elevation dump was opened with "Exclude Rectangle" on.
    excluded->hide();
    connect(excluded, &QPushButton::clicked, this, &MainWindow::setExcludedRectangle);
    commandWidgets_.push_back({Command::SetExcludedRectangle, excluded});
    b->addWidget(excluded, 7, 0, 1, 2);
    check(b, 7, 2, "Exclude Rectangle", s.ExcludeRectangle, "ExcludeRectangle");
    layout->addWidget(box, 1, 0);

    auto* readBox = new QGroupBox("Reading");
    auto* r = new QGridLayout(readBox);
    check(r, 0, 0, "Invert Elevation", s.InvertElevation, "InvertElevation");
    check(r, 1, 0, "RespectWorldSize", s.RespectWorldSize, "RespectWorldSize");
    check(r, 2, 0, "Skip every other grid elements", s.SkipElevation, "SkipElevation");
    QCheckBox* odd = check(r, 3, 0, "Skip from second Vert", s.SkipElevationOdd, "SkipElevationOdd");
    QCheckBox* oddHor = check(r, 4, 0, "Skip from second Hor", s.SkipElevationOddHor, "SkipElevationOddHor");
    ruled(odd, ControlGroup::SkipFromSecond);
    ruled(oddHor, ControlGroup::SkipFromSecond);
    text(r, 5, 0, "Terragen vertical reading offset", s.TerragenReadingOffset, {}, "TerragenReadingOffset");
    check(r, 6, 0, "Fix GZ", s.FixGZ, "FixGZ");
    text(r, 7, 0, "Row", s.RowGZ, "Grid row of ground zero", "RowGZ");
    text(r, 8, 0, "Column", s.ColGZ, "Grid column of ground zero", "ColGZ");
    auto* expand = new QPushButton("ExpandDEM");
    expand->setObjectName("ExpandDEM");
    expand->setEnabled(false);
    expand->setToolTip("Double the grid's resolution (values in tenths afterwards)");
    connect(expand, &QPushButton::clicked, this, &MainWindow::expandDem);
    commandWidgets_.push_back({Command::ExpandDEM, expand});
    r->addWidget(expand, 9, 0, 1, 2);
    layout->addWidget(readBox, 1, 1);

    progress_ = new QProgressBar;
    progress_->setObjectName("progress");
    progress_->setRange(0, UserInterface::kProgressMax);
    progress_->setValue(0);
    layout->addWidget(progress_, 2, 0, 1, 2);
    layout->setRowStretch(3, 1);
    return page;
}

void MainWindow::rebuildScaleList() {
    if (!scaleList_) return;
    const auto entries = ScaleListEntries(ws_.shaping.ObjectUnits);
    scaleList_->blockSignals(true);
    for (int k = 0; k < kScaleListEntries; ++k) {
        if (scaleList_->count() <= k)
            scaleList_->addItem(q(entries[k]));
        else
            scaleList_->setItemText(k, q(entries[k]));
    }
    scaleList_->setCurrentIndex(ws_.settings.Scaling);
    scaleList_->blockSignals(false);
}

QWidget* MainWindow::buildWorldPage() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);
    ConversionSettings& s = ws_.settings;

    auto* box = new QGroupBox("World");
    auto* g = new QGridLayout(box);
    text(g, 0, 0, "Vertical Offset", s.VerticalOffset, kObjectVerticalOffsetHint, "VerticalOffset");
    QStringList sizes;
    for (int i = 1; i <= 12; ++i) sizes << QString("%1 m").arg(i * 10);
    QComboBox* size = choice(g, 1, 0, "Object Size", sizes, s.ObjectSize, "ObjectSize");
    scaleList_ = choice(g, 2, 0, "Scale (Vertex Distance) # of Vertices", {}, s.Scaling, "Scaling");
    QFont fixed("monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    scaleList_->setFont(fixed);
    QStringList worlds = {"Not specified",           "200x200      (PS8/P10-x)",  "400x400      (PS8XE/P20-x)",
                          "500x500      (PS16)",     "600x600      (P30-x)",      "800x800      (P40-x)",
                          "1000x1000  (PS16XE/P50-x)", "1200x1200  (P60-x)",    "1400x1400  (P70-x)",
                          "1600x1600  (P80-x)",      "1800x1800  (P90-x)",        "2000x2000  (CX5/P100-x)"};
    QComboBox* world = choice(g, 3, 0, "World Size for Graphical Selection", worlds, s.WorldSize, "WorldSize");
    QLineEdit* vscale = text(g, 4, 0, "Vertical Scale", s.VerticalScale, "Factor from elevation units to world units",
                             "VerticalScale");
    check(g, 5, 0, "DynamicScaling", s.DVerticalScale, "DVerticalScale");
    choice(g, 6, 0, "Vertical prescaling for Leveller", {"*1", "*10", "*100", "*1000"}, s.VerticalPreScale,
           "VerticalPreScale");
    readout(g, 7, 0, "N-S size:", Label::NS_Size2);
    readout(g, 8, 0, "W-E size:", Label::WE_Size2);
    layout->addWidget(box, 0, 0);
    (void)vscale;

    connect(size, &QComboBox::currentIndexChanged, this, [this](int) {
        if (refreshing_) return;
        ApplyObjectSizeChoice(ws_.settings, ws_.shaping);
        rebuildScaleList();
        RefreshScaling(ws_);
        refreshControls();
    });
    connect(scaleList_, &QComboBox::currentIndexChanged, this, [this](int) {
        if (refreshing_) return;
        RefreshScaling(ws_);
        if (ws_.gridLoaded) ComputeSelectionStats(ws_);
        refreshControls();
    });
    connect(world, &QComboBox::currentIndexChanged, this, [this](int) {
        if (refreshing_) return;
        ApplyWorldSizeChoice(ws_.settings, ws_.shaping);
    });

    auto* edges = new QGroupBox("Edges");
    auto* e = new QGridLayout(edges);
    check(e, 0, 0, "Leveled with ground", s.LeveledWithGround, "LeveledWithGround");
    QCheckBox* level = check(e, 1, 0, "Level World Edges With Ground", s.WorldEdgeLevelWithGround,
                             "WorldEdgeLevelWithGround");
    connect(level, &QCheckBox::toggled, this, [this] {
        ApplyLevelEdgeRule(ws_.settings);  // smoothing goes off with levelling
        refreshControls();
    });
    ruled(check(e, 2, 0, "Smooth Leveling", s.WorldEdgeLevelSmooth, "WorldEdgeLevelSmooth"), ControlGroup::SmoothLevelling);
    ruled(check(e, 3, 0, "OverHang", s.WorldEdgeOverHang, "WorldEdgeOverHang"), ControlGroup::OverhangSwitch);
    const QStringList objects = {"None", "1 Object", "2 Objects"};
    int row = 4;
    for (auto [caption, member] : {std::pair<const char*, int*>{"North", &s.WorldEdgeOverHangN},
                                   {"South", &s.WorldEdgeOverHangS},
                                   {"West", &s.WorldEdgeOverHangW},
                                   {"East", &s.WorldEdgeOverHangE}}) {
        QComboBox* c = choice(e, row++, 0, caption, objects, *member, QString("WorldEdgeOverHang") + QLatin1Char(caption[0]));
        ruled(c, ControlGroup::OverhangChoices);
    }
    layout->addWidget(edges, 0, 1);

    auto* terrain = new QGroupBox("AW Terrain");
    auto* t = new QGridLayout(terrain);
    QCheckBox* awTerrain = check(t, 0, 0, "Create AW Terrain", s.AW_Terrain, "AW_Terrain");
    QCheckBox* version4 = check(t, 1, 0, "Target world is 4.x", s.WorldVersion4, "WorldVersion4");
    version4->setToolTip("The world takes heights up to 1000 m (else 327.64 m)");
    // One handler serves both switches.
    for (QCheckBox* b : {awTerrain, version4})
        connect(b, &QCheckBox::toggled, this, &MainWindow::switchNativeTerrainMode);
    auto* preset = new QPushButton("Preset Terrain in AW ...");
    preset->setObjectName("PresetTerrain");
    preset->setToolTip("Place the terrain's area around the elevation dump's origin, in grid points");
    // Shown by the core once an elevation dump was opened.
    preset->hide();
    connect(preset, &QPushButton::clicked, this, &MainWindow::presetTerrain);
    commandWidgets_.push_back({Command::PresetTerrain, preset});
    t->addWidget(preset, 2, 0, 1, 2);
    layout->addWidget(terrain, 1, 1);
    layout->setRowStretch(2, 1);
    return page;
}

QWidget* MainWindow::buildRwxPage() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);
    ConversionSettings& s = ws_.settings;

    auto* box = new QGroupBox("Models");
    auto* g = new QGridLayout(box);
    check(g, 0, 0, "No RWX", s.NoRWX, "NoRWX");
    QLineEdit* prefix = text(g, 1, 0, "Target Rwx Prefix", s.RWXFile, "Path and name prefix of the model files", "RWXFile");
    rwxPrefixLabel_ = qobject_cast<QLabel*>(g->itemAtPosition(1, 0)->widget());
    ruled(prefix, ControlGroup::ModelOption);
    ruled(check(g, 2, 0, "Zip It", s.ZipIt, "ZipIt"), ControlGroup::ZipSwitch);
    QLineEdit* zipPass = text(g, 3, 0, "Password:", s.ZipPassword, "Password of the zip archives", "ZipPassword");
    zipPass->setEchoMode(QLineEdit::Password);
    ruled(zipPass, ControlGroup::ZipPassword);
    ruled(check(g, 4, 0, "Optimize Polygons", s.OptimizePolygons, "OptimizePolygons"), ControlGroup::ModelOption);
    QCheckBox* single = check(g, 5, 0, "SingleObjectGround", s.SingleObjectGround, "SingleObjectGround");
    connect(single, &QCheckBox::toggled, this, [this] {
        ApplySingleObjectGroundRule(ws_.settings);
        refreshControls();
    });
    ruled(check(g, 6, 0, "Double Sided Object", s.DoubleSidedObject, "DoubleSidedObject"), ControlGroup::ModelOption);
    ruled(check(g, 7, 0, "Generate Triangles Only", s.UseTriangle, "UseTriangle"), ControlGroup::ModelOption);
    QCheckBox* translate = check(g, 8, 0, "UseTranslate", s.UseTranslate, "UseTranslate");
    ruled(translate, ControlGroup::UseTranslate);
    ruled(check(g, 9, 0, "SolidOff", s.SolidOff, "SolidOff"), ControlGroup::ModelOption);
    layout->addWidget(box, 0, 0);

    auto* look = new QGroupBox("Surface");
    auto* l = new QGridLayout(look);
    ruled(check(l, 0, 0, "Lit", s.TextureModesLit, "TextureModesLit"), ControlGroup::ModelOption);
    ruled(check(l, 1, 0, "Foreshorten", s.TextureModesForeShorten, "TextureModesForeShorten"), ControlGroup::ModelOption);
    ruled(check(l, 2, 0, "Filter", s.TextureModesFilter, "TextureModesFilter"), ControlGroup::ModelOption);
    ruled(check(l, 3, 0, "Gradient Elevation Colour", s.GradientColouring, "GradientColouring"), ControlGroup::ModelOption);
    ruled(check(l, 4, 0, "Materialmodes Double", s.MaterialModesDouble, "MaterialModesDouble"), ControlGroup::ModelOption);
    ruled(choice(l, 5, 0, "Lightsampling", {"Vertex", "Facet"}, s.LightSampling, "LightSampling"), ControlGroup::ModelOption);
    ruled(text(l, 6, 0, "Ambient", s.Ambient, {}, "Ambient"), ControlGroup::ModelOption);
    ruled(text(l, 7, 0, "Diffuse", s.Diffuse, {}, "Diffuse"), ControlGroup::ModelOption);
    ruled(text(l, 8, 0, "Specular", s.Specular, {}, "Specular"), ControlGroup::ModelOption);
    ruled(check(l, 9, 0, "UsePrelight", s.UsePrelight, "UsePrelight"), ControlGroup::ModelOption);
    int row = 10;
    for (auto [caption, member] : {std::pair<const char*, std::string*>{"R", &s.PrelightR}, {"G", &s.PrelightG},
                                   {"B", &s.PrelightB}}) {
        QLineEdit* e = text(l, row++, 0, caption, *member, "Prelight colour component, 0 to 1",
                            QString("Prelight") + caption);
        ruled(e, ControlGroup::PrelightComponent);
    }
    layout->addWidget(look, 0, 1);

    auto* ftp = new QGroupBox("FTP parameters");
    ftp->setObjectName("FtpGroup");
    auto* f = new QGridLayout(ftp);
    ruled(check(f, 0, 0, "FtpToHost", s.FtpToHost, "FtpToHost"), ControlGroup::FtpSwitch);
    const auto ftpGroup = ControlGroup::FtpParameters;
    ruled(text(f, 1, 0, "Host URL:", s.FtpHostURL, {}, "FtpHostURL"), ftpGroup);
    ruled(text(f, 2, 0, "Port:", s.FtpHostPort, {}, "FtpHostPort"), ftpGroup);
    ruled(text(f, 3, 0, "UserID:", s.FtpUserID, {}, "FtpUserID"), ftpGroup);
    ruled(text(f, 4, 0, "Passw:", s.FtpPassword, {}, "FtpPassword"), ftpGroup)->setEchoMode(QLineEdit::Password);
    ruled(text(f, 5, 0, "Ftp Target Directory:", s.FtpDirectory, {}, "FtpDirectory"), ftpGroup);
    ruled(text(f, 6, 0, "Proxy:", s.FtpProxy, {}, "FtpProxy"), ftpGroup);
    ruled(text(f, 7, 0, "ProxyPort:", s.FtpProxyPort, {}, "FtpProxyPort"), ftpGroup);
    // Each FTP status text of a run, one line each.
    ftpStatus_ = new QPlainTextEdit;
    ftpStatus_->setObjectName("FtpStatus");
    ftpStatus_->setReadOnly(true);
    ftpStatus_->setToolTip("What the FTP session did during the last runs");
    ftpStatus_->setMinimumHeight(90);
    f->addWidget(ruled(ftpStatus_, ftpGroup), 8, 0, 1, 2);
    // The fields' captions go grey with their fields.
    for (QLabel* label : ftp->findChildren<QLabel*>())
        if (label->buddy()) ruled(label, ftpGroup);
    layout->addWidget(ftp, 0, 2);
    layout->setRowStretch(1, 1);
    return page;
}

QWidget* MainWindow::buildTexturePage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    ConversionSettings& s = ws_.settings;

    auto* top = new QGridLayout;
    ruled(check(top, 0, 0, "No Texture", s.NoObjectTextures, "NoObjectTextures"), ControlGroup::ModelOption);
    ruled(text(top, 1, 0, "Number of Tiles", s.NumberOfTiles, "Texture repeats per object", "NumberOfTiles"),
          ControlGroup::ZoneColumns);
    QCheckBox* unique = ruled(check(top, 2, 0, "Use UniqueTextures", s.UseUniqueTextures, "UseUniqueTextures"),
                              ControlGroup::UniqueTexturesSwitch);
    connect(unique, &QCheckBox::toggled, this, [this] {
        ApplyUniqueTexturesSwitched(ws_.settings);
        refreshControls();
    });
    ruled(text(top, 3, 0, "Texture Prefix:", s.UniqueTexturePrefix, {}, "UniqueTexturePrefix"),
          ControlGroup::UniqueTexturePrefix);
    ruled(check(top, 0, 2, "CliffTexturing", s.CliffTextures, "CliffTextures"), ControlGroup::CliffSwitch);
    ruled(text(top, 1, 2, "Cliff Texture", s.CliffTextureName, {}, "CliffTextureName"), ControlGroup::CliffFields);
    ruled(text(top, 2, 2, "Cliff minimum", s.CliffTextureMin, {}, "CliffTextureMin"), ControlGroup::CliffFields);
    top->addWidget(new QLabel("Cliff colour"), 3, 2);
    top->addWidget(swatch(s.CliffColour, "CliffColour"), 3, 3);
    QCheckBox* percent = ruled(check(top, 0, 4, "Ranges in %", s.RangeInPercent, "RangeInPercent"), ControlGroup::ZoneColumns);
    ruled(check(top, 1, 4, "UseAvgHeight", s.UseAvgHeight, "UseAvgHeight"), ControlGroup::ZoneColumns);
    check(top, 2, 4, "Dont Use Rotate", s.DontRotate, "DontRotate");
    auto* show = new QPushButton("Show Zones");
    show->setObjectName("ShowZones");
    show->setEnabled(false);
    connect(show, &QPushButton::clicked, this, &MainWindow::showZones);
    commandWidgets_.push_back({Command::ShowZones, show});
    top->addWidget(show, 3, 4, 1, 2);
    // The elevations the zone bounds are chosen against.
    const std::pair<const char*, Label> ranges[] = {{"Elevation Range:", Label::ElevationRange},
                                                    {"Selection Range:", Label::BoxElev},
                                                    {"Min:", Label::BoxMin},
                                                    {"Max:", Label::BoxMax}};
    for (int i = 0; i < 4; ++i)
        readout(top, i, 6, ranges[i].first, ranges[i].second)->setObjectName(QString("TextureRange%1").arg(i));
    layout->addLayout(top);

    // The 32 rows, cloned from one template row.
    std::vector<std::pair<QLineEdit*, bool>> boundFields;
    auto* rowsWidget = new QWidget;
    auto* t = new QGridLayout(rowsWidget);
    const QStringList heads = {"Object Zones", "Low",     "High",    "TextureTop", "Bottom", "Suffix", "# of Textures",
                               "TagValue",     "Opacity", "Op",      "Flat",       "High",   "Tag",    "Colour"};
    for (int c = 0; c < heads.size(); ++c) {
        auto* head = new QLabel("<b>" + heads[c] + "</b>");
        head->setObjectName(QString("TextureHead%1").arg(c));
        t->addWidget(head, 0, c);
    }
    for (int n = 0; n < kZoneRows; ++n) {
        TextureZoneRow& z = s.TextureZones[n];
        const int r = n + 1;
        auto addCheck = [&](int col, const QString& caption, bool& member, const QString& name) {
            ruled(zoneCheck(t, r, col, caption, member, QString("Texture%1%2").arg(name).arg(n)),
                  ControlGroup::ZoneColumns);
        };
        auto addText = [&](int col, std::string& member, const QString& name) {
            QLineEdit* edit = zoneText(t, r, col, member, QString("Texture%1%2").arg(name).arg(n), 90);
            ruled(edit, name == "RWXBottomName" ? ControlGroup::BottomNames : ControlGroup::ZoneColumns);
            if (name == "Lowest" || name == "Highest") boundFields.push_back({edit, name == "Lowest"});
        };
        addCheck(0, QString::asprintf("Zone%d", n + 1), z.ObjectZone, "ObjectZone");
        addText(1, z.Lowest, "Lowest");
        addText(2, z.Highest, "Highest");
        addText(3, z.RWXName, "RWXName");
        addText(4, z.RWXBottomName, "RWXBottomName");
        addText(5, z.NameSuffixFrom, "NameSuffixFrom");
        addText(6, z.NumberOfTexts, "NumberOfTexts");
        addText(7, z.TagStartValue, "TagStartValue");
        addText(8, z.OpacityValue, "OpacityValue");
        addCheck(9, "Op", z.OpacityZone, "OpacityZone");
        addCheck(10, "Flat", z.ObjectFlatZone, "ObjectFlatZone");
        addCheck(11, "High", z.ObjectFlatZoneHigh, "ObjectFlatZoneHigh");
        addCheck(12, "Tag", z.ObjectTagZone, "ObjectTagZone");
        t->addWidget(ruled(swatch(z.ColourValue, QString("TextureColourValue%1").arg(n)), ControlGroup::ZoneColumns), r, 13);
    }
    // The bound fields' hints follow "Ranges in %".
    auto hints = [this, boundFields] {
        const BoundHints h = ZoneBoundHints(ws_.settings.RangeInPercent);
        for (auto [edit, lowest] : boundFields) edit->setToolTip(QString::fromStdString(lowest ? h.lowest : h.highest));
    };
    hints();
    connect(percent, &QCheckBox::toggled, this, hints);
    auto* scroll = new QScrollArea;
    scroll->setWidget(rowsWidget);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll, 1);
    return page;
}

QWidget* MainWindow::buildPropPage() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);
    ConversionSettings& s = ws_.settings;

    auto* box = new QGroupBox("Propdump");
    auto* g = new QGridLayout(box);
    check(g, 0, 0, "No Propfile ", s.NoPropfile, "NoPropfile");
    const auto prop = ControlGroup::PropOptions;
    ruled(check(g, 1, 0, "Flush with Ground", s.FlushWithGround, "FlushWithGround"), prop);
    ruled(check(g, 2, 0, "CreateBumpAtGZ", s.CreateBumpAtGZ, "CreateBumpAtGZ"), prop);
    ruled(text(g, 3, 0, "Citizen Number:", s.CitizenNumber, {}, "CitizenNumber"), prop);
    ruled(text(g, 4, 0, {}, s.PropFile, "Path of the propdump file", "PropFile"), ControlGroup::PropFile);
    // Its caption says which file it is: the propdump, or the elevation dump of native terrain.
    propFileButton_ = new QPushButton("Prop File");
    propFileButton_->setObjectName("PropFileButton");
    propFileButton_->setToolTip("Choose the file");
    g->addWidget(ruled(propFileButton_, ControlGroup::PropFile), 4, 0);
    connect(propFileButton_, &QPushButton::clicked, this, [this] {
        const QString f = askFileName(propFileButton_->text(), "Text files (*.txt);;All Files (*)", "txt", true);
        if (f.isEmpty()) return;
        ws_.settings.PropFile = s8(f);
        changed();
        refreshControls();
    });
    ruled(text(g, 5, 0, "Prop Elevation:", s.PropElevation, "Elevation of the placement, in centimetres", "PropElevation"),
          prop);
    g->addWidget(new QLabel("Prop Center (in cm)"), 6, 0, 1, 2);
    ruled(text(g, 7, 0, "N-S", s.PropCenterNS, {}, "PropCenterNS"), prop);
    ruled(text(g, 8, 0, "W-E", s.PropCenterWE, {}, "PropCenterWE"), prop);
    ruled(choice(g, 9, 0, "Rotate around PropCenter by:", {"0", "90", "180", "270"}, s.RotateWorld, "RotateWorld"), prop);
    layout->addWidget(box, 0, 0, Qt::AlignTop);

    auto* bot = new QGroupBox("Building Robot Parameters");
    auto* b = new QGridLayout(bot);
    QCheckBox* withBot = check(b, 0, 0, "BuildWithRobot", s.BuildWithRobot, "BuildWithRobot");
    withBot->setToolTip("Build every generated object into the world with the builder bot");
    ruled(withBot, ControlGroup::PropOptions);
    text(b, 1, 0, "Citizen Number", s.BotCitNumber,
         "Citizen number the bot logs in under; objects of other owners need the world's eminent-domain right",
         "BotCitNumber");
    text(b, 2, 0, "Priviledge Passw:", s.BotPrivPassw, {}, "BotPrivPassw")->setEchoMode(QLineEdit::Password);
    text(b, 3, 0, "World to Build :", s.BotWorldName, {}, "BotWorldName");
    text(b, 4, 0, "Universe URL:", s.BotUniverseURL, {}, "BotUniverseURL");
    text(b, 5, 0, "Universe Port:", s.BotUniversePort, {}, "BotUniversePort");
    choice(b, 6, 0, "Rotate by:", {"    0 Deg.", "  90 Deg.", "180 Deg.", "270 Deg."}, s.RotateBot1, "RotateBot1");
    choice(b, 7, 0, "Rotate Terrain Around Center by:", {"0", "90", "180", "270"}, s.RotateBot2, "RotateBot2");
    b->addWidget(new QLabel("Center Coordinates in AW Units (10m):"), 8, 0, 1, 2);
    text(b, 9, 0, "", s.BotCenterN, {}, "BotCenterN");
    choice(b, 10, 0, "", {"N", "S"}, s.BotCenterNS, "BotCenterNS");
    text(b, 11, 0, "", s.BotCenterW, {}, "BotCenterW");
    choice(b, 12, 0, "", {"W", "E"}, s.BotCenterWE, "BotCenterWE");
    auto* speed = new QSlider(Qt::Horizontal);
    speed->setObjectName("BotSpeedBar");
    speed->setRange(0, 20);
    speed->setTickPosition(QSlider::TicksBelow);
    b->addWidget(new QLabel("Robot Building speed (2 Sec .. 1 Sec .. Max)"), 13, 0);
    b->addWidget(speed, 13, 1);
    refreshers_.push_back([speed, this] {
        speed->blockSignals(true);
        speed->setValue(ws_.settings.BotSpeedBar);
        speed->blockSignals(false);
    });
    connect(speed, &QSlider::valueChanged, this, [this](int v) {
        ws_.settings.BotSpeedBar = v;
        changed();
    });
    check(b, 14, 0, "Delete Old Terrain", s.DeleteOldTerrain, "DeleteOldTerrain");
    // Everything of the group but the switch itself follows the switch (and "No Propfile ").
    QWidget* terrainTurn = bot->findChild<QWidget*>("RotateBot2");
    for (QWidget* w : bot->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        auto* label = qobject_cast<QLabel*>(w);
        if (w != withBot && w != terrainTurn && !(label && label->buddy() == terrainTurn)) ruled(w, ControlGroup::BotFields);
    }
    struct WorldCommand {
        const char* caption;
        const char* name;
        const char* hint;
        void (MainWindow::*run)();
    };
    const WorldCommand worldCommands[] = {
        {"Delete Objects ....", "DeleteObjects", "Delete the objects of an area of the world by name pattern",
         &MainWindow::deleteObjects},
        {"BuildFromPropfile", "BuildFromPropfile",
         "Build the objects of an object list or a saved robot log into the world", &MainWindow::buildFromPropfile}};
    int row = 15;
    for (const WorldCommand& c : worldCommands) {
        auto* command = ruled(new QPushButton(c.caption), ControlGroup::BotFields);
        command->setObjectName(c.name);
        command->setToolTip(c.hint);
        connect(command, &QPushButton::clicked, this, c.run);
        b->addWidget(command, row++, 0, 1, 2);
    }
    layout->addWidget(bot, 0, 1);
    layout->setRowStretch(1, 1);
    return page;
}

QWidget* MainWindow::buildTreePage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    ConversionSettings& s = ws_.settings;
    auto* top = new QGridLayout;
    ruled(check(top, 0, 0, "Generate Trees", s.GenerateTrees, "GenerateTrees"), ControlGroup::PropOptions);
    ruled(check(top, 1, 0, "Trees Only", s.GenerateOnlyTrees, "GenerateOnlyTrees"), ControlGroup::TreeRows);
    check(top, 2, 0, "Tree Ranges in %", s.TreeRangeInPercent, "TreeRangeInPercent");
    check(top, 0, 2, "Build objects on every", s.TreeThinning, "TreeThinning");
    text(top, 1, 2, "th unit", s.TreeThinValue, {}, "TreeThinValue");
    ruled(text(top, 2, 2, "Optional Action line content:", s.TreeActionLine, {}, "TreeActionLine"), ControlGroup::TreeRows);
    ruled(text(top, 0, 4, "ScoreMin", s.TreeScoreMin, {}, "TreeScoreMin"), ControlGroup::TreeRows);
    ruled(text(top, 1, 4, "ScoreMax", s.TreeScoreMax, {}, "TreeScoreMax"), ControlGroup::TreeRows);
    layout->addLayout(top);

    auto* rowsWidget = new QWidget;
    auto* t = new QGridLayout(rowsWidget);
    const QStringList heads = {"Object Zones", "Lowest", "Highest", "RWX Name Pref.", "Suffix From", "#of Trees",
                               "Height Offs", "Random Actions", "", ""};
    // The column labels go grey with the rows beneath them.
    for (int c = 0; c < heads.size(); ++c) {
        auto* head = new QLabel("<b>" + heads[c] + "</b>");
        head->setObjectName(QString("TreeHead%1").arg(c));
        t->addWidget(ruled(head, ControlGroup::TreeRows), 0, c);
    }
    for (int n = 0; n < kZoneRows; ++n) {
        TreeZoneRow& z = s.TreeZones[n];
        const int r = n + 1;
        auto addCheck = [&](int col, const QString& caption, bool& member, const QString& name) {
            ruled(zoneCheck(t, r, col, caption, member, QString("Tree%1%2").arg(name).arg(n)), ControlGroup::TreeRows);
        };
        auto addText = [&](int col, std::string& member, const QString& name) {
            ruled(zoneText(t, r, col, member, QString("Tree%1%2").arg(name).arg(n), 110), ControlGroup::TreeRows);
        };
        addCheck(0, QString::asprintf("Zone%d", n + 1), z.ObjectZone, "ObjectZone");
        addText(1, z.Lowest, "Lowest");
        addText(2, z.Highest, "Highest");
        addText(3, z.RWXName, "RWXName");
        addText(4, z.NameSuffixFrom, "NameSuffixFrom");
        addText(5, z.NumberOfTrees, "NumberOfTrees");
        addText(6, z.HeightOffset, "HeightOffset");
        addCheck(7, "Rotate", z.ObjectRandomRotateZone, "ObjectRandomRotateZone");
        addCheck(8, "Object", z.ObjectRandomObjectRand, "ObjectRandomObjectRand");
        addCheck(9, "Score", z.ObjectRandomObjectVal, "ObjectRandomObjectVal");
    }
    auto* scroll = new QScrollArea;
    scroll->setWidget(rowsWidget);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll, 1);
    return page;
}

QWidget* MainWindow::buildLogPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    ConversionSettings& s = ws_.settings;
    auto* g = new QGridLayout;
    check(g, 0, 0, "LogEnable", s.LogEnable, "LogEnable");
    QCheckBox* detailed = check(g, 1, 0, "Detailed Log", s.DetailedLog, "DetailedLog");
    QLineEdit* file = text(g, 2, 0, "Log File", s.LogFile, "Path of the log file", "LogFile");
    auto* browse = new QPushButton("...");
    browse->setObjectName("LogFileBrowse");
    browse->setToolTip("Choose the log file");
    g->addWidget(browse, 2, 2);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString f = askFileName("Log File", "Log files (*.log);;All Files (*)", "log", true);
        if (f.isEmpty()) return;
        ws_.settings.LogFile = s8(f);
        changed();
        refreshControls();
    });
    for (QWidget* w : {static_cast<QWidget*>(detailed), static_cast<QWidget*>(file), static_cast<QWidget*>(browse)})
        ruled(w, ControlGroup::LogDetails);
    layout->addLayout(g);
    logPage_ = new QPlainTextEdit;
    logPage_->setObjectName("logPage");
    logPage_->setReadOnly(true);
    QFont fixed("monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    logPage_->setFont(fixed);
    layout->addWidget(logPage_, 1);
    return page;
}

// ---- menus and dialogs ---------------------------------------------------

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&DEM file to Process", this, &MainWindow::chooseAndOpen);
    file->addAction("&Rwx File Name", this, [this] {
        const QString f = askFileName("Rwx File Name", "All Files (*)", {}, true);
        if (f.isEmpty()) return;
        ws_.settings.RWXFile = s8(f);
        changed();
        refreshControls();
    });
    file->addAction("&Log File ", this, [this] {
        const QString f = askFileName("Log File", "Log files (*.log);;All Files (*)", "log", true);
        if (f.isEmpty()) return;
        ws_.settings.LogFile = s8(f);
        changed();
        refreshControls();
    });
    file->addAction("&Propdump File", this, [this] {
        const QString f = askFileName("Propdump File", "Text files (*.txt);;All Files (*)", "txt", true);
        if (f.isEmpty()) return;
        ws_.settings.PropFile = s8(f);
        changed();
        refreshControls();
    });
    QAction* exportAction = file->addAction("&Save Database As...", this, &MainWindow::exportTerrain);
    exportAction->setObjectName("SaveDatabaseAs");
    file->addSeparator();
    file->addAction("&Load Settings", this, [this] {
        const QString f = askFileName("Load Settings", kProjectFilters, kProjectExtension, false);
        if (!f.isEmpty()) loadProject(f);
    });
    file->addAction("S&ave Settings", this, [this] {
        const QString f = askFileName("Save Settings", kProjectFilters, kProjectExtension, true);
        if (!f.isEmpty()) saveProject(f);
    });
    file->addSeparator();
    file->addAction("E&xit", this, &QWidget::close);

    QMenu* view = menuBar()->addMenu("&View");
    view->addAction("View &DEM", this, &MainWindow::showSelectedArea);
    view->addAction("View &World", this, [this] {
        if (!ws_.gridLoaded) return;
        FinishGridLoadLastStep(ws_);
        refreshControls();
    });

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("Help", this, &MainWindow::showHelp);
    help->addAction("&About...", this, &MainWindow::showAbout);
}

QString MainWindow::askFileName(const QString& caption, const QString& filter, const QString& suffix, bool save) {
    if (hooks.fileName) return hooks.fileName(caption, filter, suffix, save);
    QFileDialog dialog(this, caption, QDir::currentPath(), filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

int MainWindow::choose(const QString& caption, const QString& text, const QStringList& buttons, int icon) {
    if (hooks.choose) return hooks.choose(caption, text, buttons);
    QMessageBox box(this);
    box.setIcon(static_cast<QMessageBox::Icon>(icon));
    box.setWindowTitle(caption);
    box.setText(text);
    std::vector<QAbstractButton*> made;
    for (const QString& b : buttons) made.push_back(box.addButton(b, QMessageBox::AcceptRole));
    box.exec();
    for (std::size_t i = 0; i < made.size(); ++i)
        if (box.clickedButton() == made[i]) return static_cast<int>(i);
    return -1;
}

void MainWindow::chooseAndOpen() {
    if (hooks.fileName) {
        const QString f = hooks.fileName("Open Elevation Model", openDialogFilters(), {}, false);
        if (!f.isEmpty()) openElevationFile(f, ws_.settings.FileType);
        return;
    }
    QFileDialog dialog(this, "Open Elevation Model", QDir::currentPath(), openDialogFilters());
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = openDialogFilters().split(";;");
    const int type = std::clamp(ws_.settings.FileType, 1, static_cast<int>(filters.size()));
    dialog.selectNameFilter(filters[type - 1]);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    openElevationFile(dialog.selectedFiles().first(), static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1);
}

void MainWindow::showAbout() {
    QMessageBox box(this);
    box.setWindowTitle("About Gorvale");
    box.setText(QString("<b>Gorvale Terrain Converter</b><br>Version:  %1<br><br>"
                        "Free software; see Credits/Licence.<br>"
                        "Converts elevation models into ground objects for AW worlds.")
                    .arg(fileVersion()));
    box.addButton("Ok", QMessageBox::AcceptRole);
    QPushButton* credits = box.addButton("Credits/Licence", QMessageBox::HelpRole);
    box.exec();
    if (box.clickedButton() == credits)
        QMessageBox::information(this, "Credits/Licence",
                                 "Gorvale is written from a published description of its behaviour.\n"
                                 "It uses Qt 6 (LGPL), libzip (BSD) and the C++ standard library.");
}

void MainWindow::showHelp() {
    auto* help = new QTextBrowser;
    help->setAttribute(Qt::WA_DeleteOnClose);
    help->setWindowTitle("Help");
    help->setHtml(
        "<h2>Gorvale</h2>"
        "<ol><li>Open an elevation model on the <i>Elevation Model</i> page.</li>"
        "<li>Press <i>Show Full DEM Picture</i> and click the area to convert; the rectangle follows the mouse.</li>"
        "<li>Choose object size, scale and world size on <i>World parameters</i>.</li>"
        "<li>Set the output paths and texture zones, then press <i>Generate</i>.</li></ol>"
        "<p>STOP ends a run after the current object; the propdump then holds the objects done.</p>");
    help->resize(520, 360);
    help->show();
}

void MainWindow::exportTerrain() {
    SaveTerrainDialog dialog(ws_, this);
    dialog.fileName = [this](const QString& filter, const QString& suffix) {
        return askFileName("Save Terrain database", filter, suffix, true);
    };
    dialog.exec();
}

void MainWindow::expandDem() {
    if (ExpandGrid(ws_) == 0) refreshControls();
}

// ---- commands ------------------------------------------------------------

bool MainWindow::openElevationFile(const QString& path, int fileType) {
    ws_.settings.DEMFile = s8(path);
    ws_.settings.FileType = fileType;
    const int rc = OpenElevationFile(ws_);
    refreshControls();
    return rc == kOpenElevationRead && ws_.gridLoaded;
}

bool MainWindow::loadProject(const QString& path) {
    ProjectLoadHooks h = standardProjectHooks();
    h.refreshControls = [this](Workspace&) {
        rebuildScaleList();
        refreshControls();
        pages_->setCurrentIndex(0);
    };
    // The project's relative file names are taken from its folder, as the
    // command line takes them, so a project opens from anywhere.
    bool resolved = false;
    const auto open = h.openElevationFile;
    h.openElevationFile = [&](Workspace& w) {
        resolveProjectPaths(w.settings, s8(path));
        resolved = true;
        return open(w);
    };
    const bool ok = LoadProject(ws_, s8(path), h);
    if (ok && !resolved) resolveProjectPaths(ws_.settings, s8(path));
    rebuildScaleList();
    refreshControls();
    generateButton_->setEnabled(ws_.gridLoaded);
    return ok;
}

bool MainWindow::saveProject(const QString& path) {
    const bool ok = SaveProject(ws_, s8(path));
    if (!ok) fileError(s8(path));
    return ok;
}

void MainWindow::generate() {
    if (running_ || !ws_.gridLoaded) return;
    if (ws_.settings.BuildWithRobot && robotBusy()) return;
    running_ = true;
    stop_ = false;
    logPage_->clear();
    tilesDone_ = 0;
    tilesTotal_ = SelectionTileCount(ws_);
    progress_->setValue(0);
    generateButton_->setEnabled(false);
    {
        ConversionJob job(ws_, robot_->bot());
        job.Generate();
    }
    running_ = false;
    generateButton_->setEnabled(ws_.gridLoaded);
    progress_->setValue(UserInterface::kProgressMax);
    if (!logPage_->toPlainText().isEmpty()) pages_->setCurrentIndex(6);
}

bool MainWindow::robotBusy() {
    // A second login would end the session of the command at work.
    if (!running_ && !robot_->bot().Running()) return false;
    message(kRobotBusyText, kRobotCaption, MessageKind::Warning, Buttons::Ok);
    return true;
}

void MainWindow::deleteObjects() {
    if (robotBusy()) return;
    DeleteObjectsDialog dialog(*this, this);
    dialog.exec();
}

void MainWindow::buildFromPropfile() {
    if (robotBusy()) return;
    // The core shifts each object by the bot centre when "Build NOW!" reads it.
    BuildBotDialog dialog(*this, this);
    dialog.exec();
}

void MainWindow::showSelectedArea() {
    if (!ws_.gridLoaded) return;
    ComputeSelectionStats(ws_);
    areaView_->showArea();
}

void MainWindow::showFullPicture() {
    if (!ws_.gridLoaded) return;
    areaView_->showFull();
    refreshControls();
}

void MainWindow::showZones() {
    if (!ws_.gridLoaded) return;
    zoneView_->refresh();
    zoneView_->show();
    zoneView_->raise();
    refreshControls();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (ws_.SettingsModified) {
        const int pressed = choose("Warning!", "Some of your settings changed!", {"Save Settings", "Ignore"});
        if (pressed == 0) {
            const QString f = askFileName("Save Settings", kProjectFilters, kProjectExtension, true);
            if (!f.isEmpty()) saveProject(f);
        }
        ws_.SettingsModified = false;
    }
    // The robot log is offered for saving; one that could not be saved keeps the program open.
    if (!robot_->offerToSave()) {
        event->ignore();
        return;
    }
    stop_ = true;  // a run in progress ends at its next tile
    if (robot_->deletion().Running()) robot_->deletion().StopWalk();
    robot_->hide();
    QSettings geometry;
    geometry.setValue("MainWindow/geometry", saveGeometry());
    areaView_->close();
    zoneView_->close();
    event->accept();
}

// ---- UserInterface -------------------------------------------------------

Answer MainWindow::message(const std::string& text, const std::string& caption, MessageKind kind, Buttons buttons) {
    QStringList names;
    std::vector<Answer> answers;
    switch (buttons) {
        case Buttons::Ok: names = {"OK"}; answers = {Answer::Ok}; break;
        case Buttons::OkCancel: names = {"OK", "Cancel"}; answers = {Answer::Ok, Answer::Cancel}; break;
        case Buttons::YesNo: names = {"Yes", "No"}; answers = {Answer::Yes, Answer::No}; break;
        case Buttons::YesCancel: names = {"Yes", "Cancel"}; answers = {Answer::Yes, Answer::Cancel}; break;
        case Buttons::YesNoCancel:
            names = {"Yes", "No", "Cancel"};
            answers = {Answer::Yes, Answer::No, Answer::Cancel};
            break;
    }
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
        case MessageKind::Information: icon = QMessageBox::Information; break;
        case MessageKind::Warning: icon = QMessageBox::Warning; break;
        case MessageKind::Error: icon = QMessageBox::Critical; break;
        case MessageKind::Confirmation: icon = QMessageBox::Question; break;
    }
    const int i = choose(q(caption), q(text), names, icon);
    if (i >= 0 && i < static_cast<int>(answers.size())) return answers[i];
    return answers.size() > 1 ? answers.back() : Answer::Ok;
}

void MainWindow::fileError(const std::string& detail) {
    choose("Error", QString(kFileErrorLine) + "\n" + q(detail), {"OK"}, QMessageBox::Critical);
}

std::optional<std::string> MainWindow::ask(const AskRequest& request) {
    if (hooks.ask) return hooks.ask(request);
    // One "DTED grid size" dialog answers both questions of the reader: the
    // size now, and the merge it asks next from what the dialog kept.
    if (request.id == Question::DtedMerge) return std::exchange(pendingDtedMerge_, std::nullopt);
    if (request.id == Question::DtedGridSize) {
        DtedSizeDialog dialog(q(request.initial), this, q(request.prompt));
        dialog.exec();
        pendingDtedMerge_ = dialog.mergeAnswer();
        // Closed without "OK" the field's text still stands.
        return s8(dialog.value());
    }
    bool ok = false;
    const QString v = QInputDialog::getText(this, q(request.caption), q(request.prompt), QLineEdit::Normal,
                                            q(request.initial), &ok);
    if (!ok) return std::nullopt;
    return s8(v);
}

void MainWindow::setLabel(Label which, const std::string& text) {
    const int i = static_cast<int>(which);
    if (which == Label::VerticalScale) {
        refreshControls();
        return;
    }
    if (labels_[i]) labels_[i]->setText(q(text));
    for (QLabel* l : extraLabels_[i]) l->setText(q(text));
}

void MainWindow::gridFactsChanged() {
    for (int i = 0; i < kLabelCount; ++i) {
        const QString t = q(ws_.facts.text(static_cast<Label>(i)));
        if (labels_[i]) labels_[i]->setText(t);
        for (QLabel* l : extraLabels_[i]) l->setText(t);
    }
}

void MainWindow::setStatus(int panel, const std::string& text) {
    if (panel == kStatusPanelFtp) {
        if (ftpStatus_) ftpStatus_->appendPlainText(q(text));
        return;
    }
    if (panel < 0 || panel > 1) return;
    statusPanels_[panel]->setText(q(text));
    // During a run the first panel shows each model's path before it is written.
    if (running_ && panel == 0 && text != "Working...." && text != "Done!" && tilesTotal_ > 0) {
        ++tilesDone_;
        progress_->setValue(static_cast<int>(std::int64_t{tilesDone_} * kProgressMax / tilesTotal_));
    }
}

void MainWindow::setWindowTitle(const std::string& text) { QMainWindow::setWindowTitle(q(text)); }

void MainWindow::setProgress(int position) { progress_->setValue(position); }

void MainWindow::setCommandEnabled(Command which, bool enabled) {
    // The two area-dialog buttons are shown or hidden rather than greyed.
    if (which == Command::PresetTerrain) presetShown_ = enabled;
    const bool shownNotGreyed = which == Command::PresetTerrain || which == Command::SetExcludedRectangle;
    for (auto& [c, w] : commandWidgets_) {
        if (c != which) continue;
        if (shownNotGreyed)
            w->setVisible(enabled);
        else
            w->setEnabled(enabled && !(c == Command::Generate && running_));
    }
}

void MainWindow::setBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void MainWindow::gridChanged() {
    areaView_->gridChanged();
    setCommandEnabled(Command::ExpandDEM, ws_.grid.hasStorage());
}

void MainWindow::processEvents() { QApplication::processEvents(); }

void MainWindow::appendLogPage(const std::string& line) {
    std::string l = line;
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
    logPage_->appendPlainText(q(l));
}

}  // namespace gorvale::gui
