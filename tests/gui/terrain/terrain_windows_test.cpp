// The desktop program's native-terrain and FTP side, driven offscreen: the
// terrain area dialog, the native-terrain mode of the main window, the
// "FTP parameters" group with its status box during a run against a
// loopback FTP server, and the message boxes of both.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/core/project_file.h"
#include "app/gui/main_window.h"
#include "app/gui/terrain_dialogs.h"
#include "base/user_interface.h"
#include "import/format_dispatch.h"
#include "tests/delivery/ftp_test_server.h"

using namespace gorvale;
using namespace gorvale::gui;
namespace fs = std::filesystem;

namespace {

constexpr int kCentreOfN43 = 60;    // (122 - 1) / 2 for the sample's 122 rows and columns
constexpr int kCentreOfDump = 192;  // origin of a dump whose pages run from -1 to 1
constexpr int kTilesOfN43 = 49;     // the sample in steps of 16 cells

QString sampleDem() { return QString(GORVALE_SOURCE_DIR) + "/examples/n43.dem"; }

template <typename T>
T* child(QWidget* w, const QString& name) {
    T* c = w->findChild<T*>(name);
    if (!c) qWarning() << "no child" << name;
    return c;
}

// An elevation dump of pages -1 to 1 in both directions (one flat node in two corners).
QString writeDump(const QTemporaryDir& dir) {
    const QString path = dir.filePath("terrain.txt");
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << "elevdump version 1\r\n-1 -1 0 0 64 1 1 0 10\r\n1 1 0 0 64 1 1 0 20\r\n";
    return path;
}

// Runs `act` on the modal widget of type T once it is up; a watchdog closes
// it should `act` fail half-way, so a failing test never hangs.
template <typename T>
void whenModal(const std::function<void(T&)>& act) {
    QTimer::singleShot(0, [act] {
        auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
        QVERIFY2(d, "the modal window did not open");
        QTimer::singleShot(5000, d, [d] { d->reject(); });
        act(*d);
    });
}

// Every FTP control of the group: fields, their captions, the status box.
QList<QWidget*> ftpControls(QWidget& w) {
    QList<QWidget*> list;
    for (const char* name : {"FtpHostURL", "FtpHostPort", "FtpUserID", "FtpPassword", "FtpDirectory", "FtpProxy",
                             "FtpProxyPort", "FtpStatus"})
        list << child<QWidget>(&w, name);
    for (QLabel* l : child<QGroupBox>(&w, "FtpGroup")->findChildren<QLabel*>()) list << l;
    return list;
}

QStringList lines(const QString& text) { return text.split('\n', Qt::SkipEmptyParts); }

struct Shown {
    QString caption, text;
    QStringList buttons;
};

// Records every message box instead of showing it; answers with `press`.
std::shared_ptr<std::vector<Shown>> recordBoxes(MainWindow& w, int press = 0) {
    auto shown = std::make_shared<std::vector<Shown>>();
    w.hooks.choose = [shown, press](const QString& caption, const QString& text, const QStringList& buttons) {
        shown->push_back({caption, text, buttons});
        return press;
    };
    return shown;
}

// A zipped conversion of the sample with the FTP settings of `port`.
void ftpJob(MainWindow& w, const QTemporaryDir& dir, int port) {
    ConversionSettings& s = w.workspace().settings;
    s.RWXFile = dir.filePath("models/z").toStdString();
    s.PropFile = dir.filePath("prop.txt").toStdString();
    s.ZipIt = true;
    s.Scaling = 15;
    s.FtpToHost = true;
    s.FtpHostURL = "127.0.0.1";
    s.FtpHostPort = std::to_string(port);
    s.FtpUserID = "builder";
    s.FtpPassword = "secret";
    s.FtpDirectory = "aw/models";
    fs::create_directories(dir.filePath("models").toStdString());
}

// Files in a folder (none when it does not exist).
int filesIn(const fs::path& folder) { return static_cast<int>(test::filesIn(folder).size()); }

}  // namespace

class TerrainWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("GorvaleTests");
        std::setlocale(LC_NUMERIC, "C");
    }

    // The dialog shows each bound as a distance from the centre with its side;
    // OK writes the bounds (and for the selection the prop centre and the
    // vertical scale) back, Cancel changes nothing.
    void areaDialog_data() {
        QTest::addColumn<bool>("dump");
        QTest::addColumn<bool>("exclusion");
        QTest::addColumn<bool>("pressOk");
        QTest::newRow("grid, selection, OK") << false << false << true;
        QTest::newRow("dump, selection, OK") << true << false << true;
        QTest::newRow("dump, selection, Cancel") << true << false << false;
        QTest::newRow("grid, exclusion, OK") << false << true << true;
        QTest::newRow("dump, exclusion, OK") << true << true << true;
    }
    void areaDialog() {
        QFETCH(bool, dump);
        QFETCH(bool, exclusion);
        QFETCH(bool, pressOk);
        QTemporaryDir dir;
        MainWindow w;
        ConversionSettings& s = w.workspace().settings;
        s.ExcludeRectangle = exclusion;
        QVERIFY(dump ? w.openElevationFile(writeDump(dir), kFileTypeElevdump) : w.openElevationFile(sampleDem(), 1));
        const int c = dump ? kCentreOfDump : kCentreOfN43;
        if (exclusion) {
            s.FromSouthExcl = c - 10, s.FromWestExcl = c - 4, s.ToNorthExcl = c + 20, s.ToEastExcl = c + 30;
        } else {
            s.FromSouth = std::to_string(c - 10), s.FromWest = std::to_string(c - 4);
            s.ToNorth = std::to_string(c + 20), s.ToEast = std::to_string(c + 30);
        }
        s.VerticalScale = "0.5";
        s.DVerticalScale = true;
        w.refreshControls();
        w.workspace().SettingsModified = false;
        const std::string before = projectFileText(s);

        QString caption;
        QStringList shown;
        whenModal<TerrainAreaDialog>([&](TerrainAreaDialog& d) {
            caption = d.windowTitle();
            for (QLineEdit* e : {d.FromSouthEdit, d.FromWestEdit, d.ToNorthEdit, d.ToEastEdit}) shown << e->text();
            for (QComboBox* b : {d.FromSouthNS, d.FromWestWE, d.ToNorthNS, d.ToEastWE}) shown << b->currentText();
            d.FromSouthEdit->setText("7");
            d.FromWestEdit->setText("2");
            d.FromWestWE->setCurrentIndex(0);  // W
            d.ToNorthEdit->setText("12");
            d.ToEastEdit->setText("9");
            (pressOk ? d.ok : d.cancel)->click();
        });
        // The buttons are shown for an opened dump only (the exclusion's with "Exclude Rectangle").
        auto* button = child<QPushButton>(&w, exclusion ? "SetExcludedRectangle" : "PresetTerrain");
        QCOMPARE(button->isHidden(), !dump);
        if (dump)
            button->click();
        else if (exclusion)
            w.setExcludedRectangle();
        else
            w.presetTerrain();

        QCOMPARE(caption, exclusion ? QString("AW Terrain Exclusion") : QString("AW Terrain Selection"));
        QCOMPARE(shown, (QStringList{"10", "4", "20", "30", "S", "E", "N", "W"}));
        if (!pressOk) {
            QCOMPARE(projectFileText(s), before);
            QVERIFY(!w.workspace().SettingsModified);
            return;
        }
        QVERIFY(w.workspace().SettingsModified);
        if (exclusion) {
            QCOMPARE((QList<int>{s.FromSouthExcl, s.FromWestExcl, s.ToNorthExcl, s.ToEastExcl}),
                     (QList<int>{c - 7, c + 2, c + 12, c + 9}));
            QCOMPARE(s.VerticalScale, std::string("0.5"));
            QVERIFY(s.DVerticalScale);
            return;
        }
        for (auto [field, value] : {std::pair{"FromSouth", c - 7}, {"FromWest", c + 2}, {"ToNorth", c + 12},
                                    {"ToEast", c + 9}})
            QCOMPARE(child<QLineEdit>(&w, field)->text(), QString::number(value));
        // (⌊(12 - -7) / 2⌋ - 7) * 1000 + 500 and (⌊(9 - 2) / 2⌋ + 2) * 1000 + 500
        QCOMPARE(child<QLineEdit>(&w, "PropCenterNS")->text(), QString("2500"));
        QCOMPARE(child<QLineEdit>(&w, "PropCenterWE")->text(), QString("5500"));
        QCOMPARE(child<QLineEdit>(&w, "VerticalScale")->text(), QString("0.01"));
        QVERIFY(!child<QCheckBox>(&w, "DVerticalScale")->isChecked());
    }

    // Every item of the mode's table, switched on and off, and right after a
    // project saved in native-terrain mode is loaded.
    void nativeTerrainMode_data() {
        QTest::addColumn<bool>("loaded");
        QTest::newRow("switched") << false;
        QTest::newRow("loaded") << true;
    }
    void nativeTerrainMode() {
        QFETCH(bool, loaded);
        QTemporaryDir dir;
        auto first = std::make_unique<MainWindow>();
        ConversionSettings& s = first->workspace().settings;
        s.WorldEdgeOverHang = s.DoubleSidedObject = s.GenerateTrees = s.GenerateOnlyTrees = s.FixGZ = true;
        s.CliffTextureName = "rock";
        first->refreshControls();
        child<QComboBox>(first.get(), "ObjectSize")->setCurrentIndex(3);
        child<QCheckBox>(first.get(), "AW_Terrain")->click();
        std::unique_ptr<MainWindow> second;
        MainWindow* w = first.get();
        if (loaded) {
            const QString project = dir.filePath("terrain.gvl");
            QVERIFY(first->saveProject(project));
            second = std::make_unique<MainWindow>();
            // The project names no elevation file: its "Can't open" box is answered.
            second->hooks.choose = [](const QString&, const QString&, const QStringList&) { return 0; };
            QVERIFY(second->loadProject(project));
            w = second.get();
        }
        checkMode(*w, true);
        child<QCheckBox>(w, "AW_Terrain")->click();
        checkMode(*w, false);
    }

    // FtpToHost enables the whole group, labels and status box included; NoRWX disables it.
    void ftpGroupFollowsFtpToHostAndNoRwx() {
        MainWindow w;
        QCOMPARE(child<QGroupBox>(&w, "FtpGroup")->title(), QString("FTP parameters"));
        const QList<QWidget*> controls = ftpControls(w);
        QVERIFY(controls.size() > 8);  // the labels are there too
        const std::pair<const char*, bool> steps[] = {
            {nullptr, false}, {"FtpToHost", true}, {"NoRWX", false}, {"NoRWX", true}, {"FtpToHost", false}};
        for (const auto& [click, enabled] : steps) {
            if (click) child<QCheckBox>(&w, click)->click();
            for (QWidget* c : controls) QVERIFY2(c->isEnabled() == enabled, qPrintable(c->objectName() + " " + click));
            if (click && QString(click) == "NoRWX")
                QCOMPARE(child<QWidget>(&w, "FtpToHost")->isEnabled(), !w.workspace().settings.NoRWX);
        }
    }

    // A run's FTP status texts reach the status box line by line while the run goes on.
    void ftpStatusBoxIsFilledDuringTheRun() {
        test::FtpTestServer server;
        QVERIFY2(server.started(), server.failure().c_str());
        fs::create_directories(server.root() / "aw" / "models");
        QTemporaryDir dir;
        MainWindow w;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        ftpJob(w, dir, server.port());
        w.refreshControls();
        const auto boxes = recordBoxes(w);
        auto* box = child<QPlainTextEdit>(&w, "FtpStatus");
        int linesWhileRunning = 0;
        connect(box, &QPlainTextEdit::textChanged, &w, [&] { linesWhileRunning += w.running(); });
        w.generate();
        const QStringList got = lines(box->toPlainText());
        const QString where = QString("127.0.0.1:%1").arg(server.port());
        QVERIFY2(got.size() >= kTilesOfN43 + 3, qPrintable(got.join('\n')));
        QVERIFY2(got.first().startsWith("Connecting to " + where + " as builder"), qPrintable(got.first()));
        QVERIFY2(got[1].startsWith("Connected; directory \"aw/models\""), qPrintable(got[1]));
        QCOMPARE(got.filter(QRegularExpression("^Uploaded z\\w+\\.zip \\(\\d+ bytes\\)$")).size(), kTilesOfN43);
        QCOMPARE(got.last(), "Disconnected from " + where);
        QCOMPARE(linesWhileRunning, got.size());
        QCOMPARE(filesIn(server.root() / "aw" / "models"), kTilesOfN43);
        QVERIFY(boxes->empty());
        // The status bar keeps its own texts.
        QVERIFY(!child<QLabel>(&w, "status0")->text().startsWith("Disconnected"));
    }

    // The FTP failures a user can cause, each in its box with caption and button.
    void ftpMessageBoxes_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("dieAfterStores");
        QTest::addColumn<QString>("text");  // a pattern of the first box's text
        QTest::addColumn<bool>("runGoesOn");
        QTest::newRow("port") << "FtpHostPort" << "21x" << -1 << "^Port setting is invalid!$" << false;
        QTest::newRow("proxy port") << "FtpProxyPort" << "p1" << -1 << "^Proxy Port setting is invalid!$" << false;
        QTest::newRow("login refused") << "FtpPassword" << "wrong" << -1
                                       << "^FTP connection to 127\\.0\\.0\\.1:\\d+ failed: the server refused the "
                                          "login of builder"
                                       << false;
        QTest::newRow("upload fails twice") << "" << "" << 0
                                            << "^Error occured when creating/reading/uploading file::\\nFTP Upload "
                                               "error for z\\w+\\.zip:\\n\\d+ Upload of z\\w+\\.zip failed again: .+"
                                            << true;
    }
    void ftpMessageBoxes() {
        QFETCH(QString, setting);
        QFETCH(QString, value);
        QFETCH(int, dieAfterStores);
        QFETCH(QString, text);
        QFETCH(bool, runGoesOn);
        test::FtpServerOptions options;
        options.dieAfterStores = dieAfterStores;
        test::FtpTestServer server(options);
        QVERIFY2(server.started(), server.failure().c_str());
        fs::create_directories(server.root() / "aw" / "models");
        QTemporaryDir dir;
        MainWindow w;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        ftpJob(w, dir, server.port());
        ConversionSettings& s = w.workspace().settings;
        s.FtpProxy = "127.0.0.1";  // used only with a proxy port
        if (setting == "FtpHostPort") s.FtpHostPort = value.toStdString();
        if (setting == "FtpProxyPort") s.FtpProxyPort = value.toStdString();
        if (setting == "FtpPassword") s.FtpPassword = value.toStdString();
        const auto boxes = recordBoxes(w);
        w.generate();
        QVERIFY(!boxes->empty());
        const Shown& first = boxes->front();
        QCOMPARE(first.caption, QString("Error"));
        QVERIFY2(QRegularExpression(text).match(first.text).hasMatch(), qPrintable(first.text));
        QCOMPARE(first.buttons, QStringList{"OK"});
        QCOMPARE(filesIn(dir.filePath("models").toStdString()), runGoesOn ? kTilesOfN43 : 0);
    }

    // The elevation-limit question of a native-terrain run: its text, caption
    // and buttons; Cancel ends the run with no elevation dump, OK writes it.
    void elevationLimitWarning_data() {
        QTest::addColumn<int>("press");
        QTest::newRow("OK") << 0;
        QTest::newRow("Cancel") << 1;
    }
    void elevationLimitWarning() {
        QFETCH(int, press);
        QTemporaryDir dir;
        MainWindow w;
        QVERIFY(w.openElevationFile(sampleDem(), 1));
        child<QCheckBox>(&w, "AW_Terrain")->click();
        ConversionSettings& s = w.workspace().settings;
        s.VerticalScale = "100";  // a metre of the sample is 100 m high
        s.DVerticalScale = false;
        s.PropFile = dir.filePath("elev.txt").toStdString();
        s.LogEnable = false;
        w.refreshControls();
        const auto boxes = recordBoxes(w, press);
        w.generate();
        QCOMPARE(boxes->size(), std::size_t{1});
        const Shown& b = boxes->front();
        QCOMPARE(b.caption, QString("Elevation exceeds maximum buildable limits of yout world!"));
        QVERIFY2(QRegularExpression("^Max elevation=32764, Offending point at \\d+ \\d+ is -?\\d+\\.\\d\\n"
                                    "Do you want to continue anyway\\?$")
                     .match(b.text)
                     .hasMatch(),
                 qPrintable(b.text));
        QCOMPARE(b.buttons, (QStringList{"OK", "Cancel"}));
        QCOMPARE(QFile::exists(dir.filePath("elev.txt")), press == 0);
    }

    // Without the test hooks the questions are real message boxes with the
    // exact caption, text, buttons and an icon for their kind.
    void messageBoxesAsShown_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("icon");
        QTest::newRow("elevation limit, OK") << int(MessageKind::Warning) << int(Buttons::OkCancel)
                                             << QStringList{"OK", "Cancel"} << 0 << int(Answer::Ok)
                                             << int(QMessageBox::Warning);
        QTest::newRow("elevation limit, Cancel") << int(MessageKind::Warning) << int(Buttons::OkCancel)
                                                 << QStringList{"OK", "Cancel"} << 1 << int(Answer::Cancel)
                                                 << int(QMessageBox::Warning);
        QTest::newRow("port invalid") << int(MessageKind::Error) << int(Buttons::Ok) << QStringList{"OK"} << 0
                                      << int(Answer::Ok) << int(QMessageBox::Critical);
    }
    void messageBoxesAsShown() {
        QFETCH(int, kind);
        QFETCH(int, buttons);
        QFETCH(QStringList, names);
        QFETCH(int, press);
        QFETCH(int, answer);
        QFETCH(int, icon);
        MainWindow w;
        QString title, text;
        QStringList shown;
        int shownIcon = -1;
        whenModal<QMessageBox>([&](QMessageBox& box) {
            title = box.windowTitle();
            text = box.text();
            shownIcon = box.icon();
            for (QAbstractButton* b : box.buttons()) shown << b->text();
            for (QAbstractButton* b : box.buttons())
                if (b->text() == names[press]) b->click();
        });
        const Answer a = w.message("Max elevation=32764, Offending point at 3 4 is 40000.0\nDo you want to continue anyway?",
                                   "Elevation exceeds maximum buildable limits of yout world!", MessageKind(kind),
                                   gorvale::Buttons(buttons));
        QCOMPARE(int(a), answer);
        QCOMPARE(title, QString("Elevation exceeds maximum buildable limits of yout world!"));
        QCOMPARE(text, QString("Max elevation=32764, Offending point at 3 4 is 40000.0\nDo you want to continue anyway?"));
        shown.sort();
        names.sort();
        QCOMPARE(shown, names);
        QCOMPARE(shownIcon, icon);
    }

private:
    // The table of the native-terrain mode, checked for one state.
    void checkMode(MainWindow& w, bool on) {
        const char* terrainOnly[] = {"RotateBot2", "DontRotate", "WorldVersion4", "DeleteOldTerrain", "FixGZ", "RowGZ"};
        const char* objectOnly[] = {"RotateBot1",        "RotateWorld",        "WorldEdgeOverHang",
                                    "WorldEdgeOverHangN", "DoubleSidedObject",  "SingleObjectGround",
                                    "TextureRWXName0",   "TextureRWXBottomName31", "TextureHead3"};
        for (const char* name : terrainOnly) QVERIFY2(child<QWidget>(&w, name)->isHidden() != on, name);
        for (const char* name : objectOnly) QVERIFY2(child<QWidget>(&w, name)->isHidden() == on, name);
        // A field's caption goes with it.
        int captions = 0;
        for (QLabel* l : w.findChildren<QLabel*>())
            if (l->buddy() == child<QWidget>(&w, "RotateBot2")) {
                QCOMPARE(l->isHidden(), !on);
                ++captions;
            }
        QCOMPARE(captions, 1);
        // Turned off by switching on and left so; FixGZ goes off with the mode.
        for (const char* name : {"WorldEdgeOverHang", "DoubleSidedObject", "GenerateTrees", "GenerateOnlyTrees"})
            QVERIFY2(!child<QCheckBox>(&w, name)->isChecked(), name);
        QCOMPARE(child<QCheckBox>(&w, "FixGZ")->isChecked(), on);
        QCOMPARE(child<QComboBox>(&w, "ObjectSize")->currentIndex(), 0);
        QCOMPARE(child<QComboBox>(&w, "Scaling")->currentIndex(), 0);
        QCOMPARE(child<QLineEdit>(&w, "CliffTextureName")->text(), QString("terrain61"));

        const std::pair<const char*, QStringList> texts[] = {
            {"NoPropfile", {"No Elevation file", "No Propfile"}},
            {"PropFileButton", {"Elev File", "Prop File"}},
            {"TextureOpacityZone0", {"Co", "Op"}},
            {"TextureObjectTagZone31", {"Edg", "Tag"}},
            {"TextureHead8", {"<b>Transition Texture</b>", "<b>Opacity</b>"}},
        };
        for (const auto& [name, both] : texts) {
            auto* b = w.findChild<QAbstractButton*>(name);
            const QString t = b ? b->text() : child<QLabel>(&w, name)->text();
            QCOMPARE(t, both[on ? 0 : 1]);
        }
        const std::pair<const char*, const char*> terrainHints[] = {
            {"TextureOpacityZone4", "Enable corner transition from this to the next zone"},
            {"TextureObjectTagZone4", "Enable edge transition from this to the next zone"},
            {"TextureOpacityValue4", "Transitional corner piece texture number"},
            {"TextureTagStartValue4", "Transitional edge piece texture number"},
            {"TextureNameSuffixFrom4", "Starting texture number for terrainxx.jpg (range is 0-61)"},
            {"TextureNumberOfTexts4", "Number of different textures\nstarting with the texture number\nfor gradient texturing"},
            {"VerticalOffset", "Lowers the terrain with the given amount (in centimeters)."},
        };
        for (const auto& [name, hint] : terrainHints) {
            const QString tip = child<QWidget>(&w, name)->toolTip();
            QVERIFY2(!tip.isEmpty() && (tip == hint) == on, qPrintable(QString(name) + ": " + tip));
        }
        auto* pages = child<QTabWidget>(&w, "pages");
        QCOMPARE(pages->tabText(2), on ? QString() : QString("RWX Option"));
        QCOMPARE(pages->tabText(5), on ? QString() : QString("Tree Zones"));
    }
};

QTEST_MAIN(TerrainWindowsTest)
#include "terrain_windows_test.moc"
