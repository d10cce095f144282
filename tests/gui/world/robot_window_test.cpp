// The bot window and the build and delete dialogs of the desktop program,
// driven offscreen against a gorvale-world on a free loopback port: a
// Generate run that builds, a refused login, saving the robot log, the close
// prompt, building from an object list and deleting by pattern, each also
// ended by the stop button.
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <functional>
#include <sstream>
#include <thread>

#include "app/gui/main_window.h"
#include "app/gui/robot_window.h"
#include "app/gui/world_dialogs.h"
#include "base/text_convert.h"
#include "tests/support/test_support.h"
#include "tests/world/local_world.h"

namespace gorvale::gui {
namespace {

template <typename T>
T* child(QWidget* w, const QString& name) {
    T* c = w->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << "no child " << name.toStdString();
    return c;
}

// The lines of a text, CR LF or LF.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

int countWith(const std::vector<std::string>& lines, const std::string& part) {
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

// Runs window events until `done` or the time is up.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(RobotWindowLayout, TheWindowItsFiltersAndTheBotGroup) {
    MainWindow w;
    RobotWindow* robot = w.robotWindow();
    ASSERT_NE(robot, nullptr);
    EXPECT_EQ(robot->windowTitle(), "Robot");
    EXPECT_EQ(robot->actionText(), "No Robot is Running");
    bool labelled = false;
    for (QLabel* l : robot->findChildren<QLabel*>()) labelled |= l->text() == "Robot log messages";
    EXPECT_TRUE(labelled);
    auto* memo = child<QPlainTextEdit>(robot, "Memo");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());
    EXPECT_TRUE(child<QLabel>(robot, "RobotActionLabel")->font().bold());
    auto* timer = robot->findChild<QTimer*>("DeleteTimer");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 100);

    EXPECT_EQ(qtFileFilter("Log files (*.log)|*.log|all files *.*|*.*"), "Log files (*.log);;all files *.* (*.*)");
    EXPECT_EQ(qtFileFilter("Propfile (*.txt)|*.txt|Any file (*.*)|*.*"), "Propfile (*.txt);;Any file (*.*)");

    bool captioned = false;
    for (QGroupBox* g : w.findChildren<QGroupBox*>()) captioned |= g->title() == "Building Robot Parameters";
    EXPECT_TRUE(captioned);
    auto* withBot = child<QCheckBox>(&w, "BuildWithRobot");
    for (const char* name : {"DeleteObjects", "BuildFromPropfile"}) {
        auto* button = child<QPushButton>(&w, name);
        EXPECT_FALSE(button->isEnabled()) << name;
        withBot->click();
        EXPECT_TRUE(button->isEnabled()) << name;
        withBot->click();
        EXPECT_FALSE(button->isEnabled()) << name;
    }
}

TEST(RobotWindowLayout, CornerValuesBecomeCentimetres) {
    const struct {
        const char* text;
        bool negative;
        std::int32_t cm;
    } cases[] = {{"12", false, 12000},  {"12", true, -12000}, {"", false, 0},       {"7x", true, -7000},
                 {"-3", false, -3000},  {"abc", false, 0},    {"9999999", false, 2147483647}};
    for (const auto& c : cases) EXPECT_EQ(AwUnitsToCm(c.text, c.negative), c.cm) << c.text;
}

TEST(RobotWindowLayout, DialogDefaultsAndTheCitizenSwitch) {
    MainWindow w;
    BuildBotDialog build(w);
    EXPECT_EQ(build.windowTitle(), "Builder Bot Parameters");
    EXPECT_FALSE(build.buildButton->isEnabled());
    DeleteObjectsDialog del(w);
    EXPECT_EQ(del.windowTitle(), "Object Delete Parameters");
    // Build: the lower corner starts at S and E; delete: every choice at N and W.
    const struct {
        CornerFields* corners;
        bool lowerSouthEast;
    } dialogs[] = {{&build.corners, true}, {&del.corners, false}};
    for (const auto& d : dialogs) {
        for (QLineEdit* f : {d.corners->upperNS, d.corners->upperWE, d.corners->lowerNS, d.corners->lowerWE})
            EXPECT_EQ(f->text(), "0");
        EXPECT_FALSE(d.corners->upperSouth->isChecked());
        EXPECT_FALSE(d.corners->upperEast->isChecked());
        EXPECT_EQ(d.corners->lowerSouth->isChecked(), d.lowerSouthEast);
        EXPECT_EQ(d.corners->lowerEast->isChecked(), d.lowerSouthEast);
    }
    build.corners.upperNS->setText("5");
    build.corners.upperWE->setText("4");
    build.corners.lowerNS->setText("2");
    build.corners.lowerWE->setText("3");
    const BuildRectangle r = build.corners.rectangle();
    EXPECT_EQ(r.zLow, -2000);
    EXPECT_EQ(r.zHigh, 5000);
    EXPECT_EQ(r.xLow, -3000);
    EXPECT_EQ(r.xHigh, 4000);

    EXPECT_EQ(del.objectsMemo->toolTip(),
              "List all the objects you want to delete within the bounding box. * and ? can be used in filenames.");
    del.show();
    EXPECT_FALSE(del.citizen->isVisible());
    del.byCitizen->click();
    EXPECT_TRUE(del.citizen->isVisible());
    EXPECT_EQ(del.citizenLabel->text(), "Cit#:");
    del.byCitizen->click();
    EXPECT_FALSE(del.citizen->isVisible());
    del.objectsMemo->setPlainText("tree*\n\nrock?\n");
    EXPECT_EQ(del.patterns(), (std::vector<std::string>{"tree*", "", "rock?"}));
    del.hide();
}

// A main window whose bot settings point at the local world, with the
// modal questions answered and recorded.
class RobotWithWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.Start());
        ConversionSettings& s = w.workspace().settings;
        s.BotCitNumber = "1001";
        s.BotPrivPassw = "secret";
        s.BotWorldName = "alpha";
        s.BotUniverseURL = "127.0.0.1";
        s.BotUniversePort = std::to_string(world.port());
        s.BotSpeedBar = 20;
        s.CitizenNumber = "1001";
        w.refreshControls();
        w.hooks.choose = [this](const QString& caption, const QString& text, const QStringList& buttons) {
            asked.push_back((caption + "|" + text + "|" + buttons.join(",")).toStdString());
            return answer;
        };
        w.hooks.fileName = [this](const QString& caption, const QString& filter, const QString& suffix, bool save) {
            files.push_back((caption + "|" + filter + "|" + suffix + (save ? "|save" : "|open")).toStdString());
            return fileAnswer;
        };
    }
    void TearDown() override { EXPECT_TRUE(world.Stop()); }

    std::vector<std::string> log() const { return linesOf(w.robotWindow()->logText().toStdString()); }

    // An object list of `count` records of layout C along x, 1 m apart, 10 m north.
    std::string objectList(int count, const std::string& model) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += format("1001 0 %d 0 1000 0 %d 0 0 %s\r\n", i * 100, static_cast<int>(model.size()), model.c_str());
        const std::string path = (world.dir() / (model + ".txt")).string();
        test::writeFileBytes(path, text);
        return path;
    }

    // Builds an object list into the world through the dialog.
    PropdumpBuildOutcome buildList(const std::string& path, const char* north, const char* west) {
        BuildBotDialog dialog(w);
        fileAnswer = QString::fromStdString(path);
        dialog.selectPropfile();
        EXPECT_TRUE(dialog.buildButton->isEnabled());
        dialog.corners.upperNS->setText(north);
        dialog.corners.upperWE->setText(west);
        return dialog.buildNow();
    }

    int objectsInWorld(const std::string& model) { return countWith(linesOf(world.Dump("alpha")), model); }

    // Presses the stop button when the robot log gets its `nth` line naming `model`.
    void stopAtLine(const std::string& model, int nth) {
        RobotLog& robotLog = w.robotWindow()->bot().Log();
        const auto shown = robotLog.OnLine;
        robotLog.OnLine = [this, shown, model, nth, seen = 0](const std::string& line) mutable {
            shown(line);
            if (line.find(model) != std::string::npos && ++seen == nth) child<QPushButton>(&w, "Stop")->click();
        };
    }

    test::LocalWorld world;
    MainWindow w;
    std::vector<std::string> asked, files;
    int answer = 0;  // the first button: Yes, OK
    QString fileAnswer;
};

TEST_F(RobotWithWorld, GenerateShowsTheBotWindowAndSavesItsLog) {
    test::ScratchDir out;
    ConversionSettings& s = w.workspace().settings;
    ASSERT_TRUE(w.openElevationFile(QString(GORVALE_SOURCE_DIR) + "/examples/n43.dem", 1));
    s.RWXFile = (out / "z").string();
    s.PropFile = (out / "prop.txt").string();
    s.ZipIt = false;
    s.Scaling = 15;  // 49 tiles
    s.BuildWithRobot = true;
    w.refreshControls();
    w.generate();
    RobotWindow* robot = w.robotWindow();
    EXPECT_TRUE(robot->isVisible());
    EXPECT_EQ(robot->actionText(), "No Robot is running");
    const std::vector<std::string> lines = log();
    EXPECT_EQ(countWith(lines, "0x"), 49);  // one per tile
    EXPECT_EQ(objectsInWorld(".rwx"), 49);

    // Save Log ...: every line of the window, CR LF, and the modified mark cleared.
    fileAnswer = QString::fromStdString((out / "robot.log").string());
    child<QPushButton>(robot, "SaveLog")->click();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], "Save Log|Log files (*.log);;all files *.* (*.*)|log|save");
    const std::string saved = test::readFileBytes(out / "robot.log");
    EXPECT_EQ(linesOf(saved), lines);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), std::count(saved.begin(), saved.end(), '\r'));
    EXPECT_FALSE(robot->bot().Log().Modified());
    // Nothing changed since: closing asks nothing.
    asked.clear();
    robot->close();
    EXPECT_TRUE(asked.empty()) << asked.front();
}

TEST_F(RobotWithWorld, AWrongPasswordShowsTheReasonLine) {
    ConversionSettings& s = w.workspace().settings;
    ASSERT_TRUE(w.openElevationFile(QString(GORVALE_SOURCE_DIR) + "/examples/n43.dem", 1));
    test::ScratchDir out;
    s.RWXFile = (out / "z").string();
    s.PropFile = (out / "prop.txt").string();
    s.BuildWithRobot = true;
    s.BotPrivPassw = "wrong";
    w.generate();
    EXPECT_TRUE(w.robotWindow()->isVisible());
    EXPECT_EQ(countWith(log(), "Unable to login  (reason 13) INVALID_PASSWORD"), 1);
    EXPECT_EQ(w.robotWindow()->actionText(), "No Robot is running");
    EXPECT_EQ(objectsInWorld(".rwx"), 0);
}

TEST_F(RobotWithWorld, TheClosePromptOffersAModifiedLog) {
    RobotWindow* robot = w.robotWindow();
    test::ScratchDir out;
    const struct {
        int answer;  // 0 Yes, 1 No
        bool saved;
    } cases[] = {{1, false}, {0, true}};
    for (const auto& c : cases) {
        robot->bot().LogReason("Unable to login", 13);
        robot->show();
        asked.clear();
        answer = c.answer;
        const std::string path = (out / (c.saved ? "yes.log" : "no.log")).string();
        fileAnswer = QString::fromStdString(path);
        child<QPushButton>(robot, "Close")->click();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], "Robot|Robot Log changed! \n Do you want to save it?|Yes,No");
        EXPECT_FALSE(robot->isVisible());
        EXPECT_EQ(std::filesystem::exists(path), c.saved);
        EXPECT_EQ(robot->bot().Log().Modified(), !c.saved);
    }
    // At program exit too, after the settings prompt.
    robot->bot().LogReason("Unable to login", 13);
    asked.clear();
    answer = 1;
    w.workspace().SettingsModified = false;
    w.close();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Robot|Robot Log changed! \n Do you want to save it?|Yes,No");
}

TEST_F(RobotWithWorld, BuildFromAnObjectListInsideTheRectangle) {
    // 12 objects 1 m apart from x = 0; the rectangle ends at 10 m west: 11 are built (border included).
    const PropdumpBuildOutcome o = buildList(objectList(12, "hut1.rwx"), "1", "1");
    EXPECT_EQ(files.back(), "Select Propfile|Propfile (*.txt);;Any file (*.*)|txt|open");
    EXPECT_TRUE(o.started);
    EXPECT_EQ(o.built, 11);
    EXPECT_EQ(asked.front(), "Confirm|Are you sure?\nI'll build all objects within the rectangle!|Yes,Cancel");
    EXPECT_TRUE(w.robotWindow()->isVisible());
    EXPECT_EQ(objectsInWorld("hut1.rwx"), 11);
    EXPECT_EQ(countWith(log(), "hut1.rwx"), 11);
}

TEST_F(RobotWithWorld, BuildMessagesForBadParametersAndARefusedLogin) {
    {
        // A file that does not open leaves "Build NOW!" disabled, and says why.
        BuildBotDialog dialog(w);
        fileAnswer = QString::fromStdString((world.dir() / "missing.txt").string());
        dialog.selectPropfile();
        EXPECT_FALSE(dialog.buildButton->isEnabled());
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], "Select Propfile|Cannot open " + fileAnswer.toStdString() +
                                ": No such file or directory|OK");
    }
    const std::string list = objectList(2, "hut2.rwx");
    const struct {
        const char* password;
        const char* north;
        std::string message;
    } cases[] = {
        {"secret", "0", "Error|Syntax error in the parameters.\nRequest cancelled.|OK"},
        {"", "1", "Error|Syntax error in the parameters.\nRequest cancelled.|OK"},
        {"wrong", "1", "Error|Robot failed to start.\nRequest cancelled.|OK"},
    };
    for (const auto& c : cases) {
        w.workspace().settings.BotPrivPassw = c.password;
        asked.clear();
        const PropdumpBuildOutcome o = buildList(list, c.north, c.north);
        EXPECT_FALSE(o.started);
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.back(), c.message);
    }
    EXPECT_EQ(objectsInWorld("hut2.rwx"), 0);
}

TEST_F(RobotWithWorld, TheStopButtonEndsABuild) {
    w.workspace().settings.BotSpeedBar = 15;
    stopAtLine("hut3.rwx", 1);
    const PropdumpBuildOutcome o = buildList(objectList(40, "hut3.rwx"), "10", "10");
    EXPECT_TRUE(o.stopped);
    EXPECT_GE(o.built, 1);
    EXPECT_LT(o.built, 40);
    EXPECT_EQ(objectsInWorld("hut3.rwx"), o.built);
}

class DeleteWithWorld : public RobotWithWorld {
protected:
    // Starts a deletion of every object matching `pattern` inside 0..100 m west, -10..20 m north.
    bool startDeletion(const std::string& pattern, const char* citizen = nullptr) {
        DeleteObjectsDialog dialog(w);
        dialog.corners.upperNS->setText("2");
        dialog.corners.upperWE->setText("10");
        dialog.corners.lowerNS->setText("-1");
        dialog.corners.lowerWE->setText("-1");
        dialog.objectsMemo->setPlainText(QString::fromStdString(pattern));
        if (citizen) {
            dialog.byCitizen->setChecked(true);
            dialog.citizen->setText(citizen);
        }
        return dialog.deleteNow();
    }
};

TEST_F(DeleteWithWorld, MatchingObjectsOfTheOwnerVanish) {
    ASSERT_EQ(buildList(objectList(6, "tree1.rwx"), "10", "10").built, 6);
    ASSERT_EQ(buildList(objectList(3, "rock1.rwx"), "10", "10").built, 3);
    const struct {
        const char* pattern;
        const char* citizen;
        int treesLeft;
    } cases[] = {{"tree*", "1002", 6}, {"t?ee*\nnothing", nullptr, 0}};
    for (const auto& c : cases) {
        asked.clear();
        ASSERT_TRUE(startDeletion(c.pattern, c.citizen));
        EXPECT_EQ(asked.front(), "Confirm|Are you sure?\nI'll delete every matching objects!|Yes,Cancel");
        EXPECT_TRUE(w.robotWindow()->isVisible());
        ASSERT_TRUE(pumpUntil([&] { return !w.robotWindow()->deletion().Running(); }, 30000));
        EXPECT_EQ(objectsInWorld("tree1.rwx"), c.treesLeft) << c.pattern;
        EXPECT_EQ(objectsInWorld("rock1.rwx"), 3);
    }
    // Two sectors a walk; each deleted tree is logged as a record.
    EXPECT_EQ(countWith(log(), "Total objects found in Sector:"), 4);
    EXPECT_EQ(countWith(log(), "tree1.rwx"), 12);
    EXPECT_EQ(w.robotWindow()->actionText(), "No Robot is running");
}

TEST_F(DeleteWithWorld, TheStopButtonEndsAWalk) {
    ASSERT_EQ(buildList(objectList(30, "bush1.rwx"), "10", "10").built, 30);
    // Slower now; stopped when the first deletion is answered.
    w.workspace().settings.BotSpeedBar = 15;
    stopAtLine("bush1.rwx", 1);
    ASSERT_TRUE(startDeletion("bush*"));
    // While the walk has the bot, no other command may log it in again.
    asked.clear();
    w.buildFromPropfile();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].substr(0, 40), "Robot|The builder bot is still at work.\n");
    ASSERT_TRUE(pumpUntil([&] { return !w.robotWindow()->deletion().Running(); }, 30000));
    EXPECT_FALSE(w.robotWindow()->bot().Running());
    const int left = objectsInWorld("bush1.rwx");
    EXPECT_GT(left, 0);
    EXPECT_LT(left, 30);
}

TEST_F(DeleteWithWorld, BadParametersAreRefused) {
    const struct {
        const char* pattern;
        const char* citizen;
    } cases[] = {{"", nullptr}, {"tree*", "-4"}};
    for (const auto& c : cases) {
        asked.clear();
        EXPECT_FALSE(startDeletion(c.pattern, c.citizen));
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], "Error|Syntax error in the parameters.\nRequest cancelled.|OK");
    }
}

}  // namespace
}  // namespace gorvale::gui

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("GorvaleTests");
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
