#pragma once
// The main window: seven option pages bound to the job's settings, the
// Generate and stop buttons, progress and status, the menus, and the Qt side
// of the core's user-interface contract. Every rule lives in the core; the
// handlers here only move values between widgets and ConversionSettings.

#include <QMainWindow>

#include <array>
#include <functional>
#include <optional>
#include <memory>
#include <utility>
#include <vector>

#include "base/user_interface.h"
#include "views/dialog_hooks.h"
#include "pipeline/control_rules.h"
#include "pipeline/workspace.h"
#include "world/terrain_selection.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QWidget;

namespace gorvale::gui {

class AreaView;
class RobotWindow;
class ZoneView;

// Tool tips stay 8 s on every widget that exists now.
void installToolTipTime();
// The message box for an error that escaped a command.
void showEscapedError(const char* what);

// The program's version as four numbers joined by points.
QString fileVersion();
// "Gorvale Terrain Converter " followed by "  Ver: %s".
QString mainWindowTitle();

class MainWindow : public QMainWindow, public UserInterface {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Workspace& workspace() { return ws_; }
    AreaView* areaView() const { return areaView_; }
    ZoneView* zoneView() const { return zoneView_; }
    // The bot window with the program's one builder bot.
    RobotWindow* robotWindow() const { return robot_; }
    DialogHooks hooks;

    // Commands, also used by the menus and buttons.
    bool openElevationFile(const QString& path, int fileType);
    bool loadProject(const QString& path);
    bool saveProject(const QString& path);
    void generate();
    void requestStop() { stop_ = true; }
    // A command that polls the stop button starts with it released.
    void clearStop() { stop_ = false; }
    // "Delete Objects ....", "BuildFromPropfile".
    void deleteObjects();
    void buildFromPropfile();
    bool running() const { return running_; }
    void showSelectedArea();
    void showFullPicture();
    void showZones();
    // "Preset Terrain in AW ..." and "Set Excluded Rectangle ...": the modal
    // area dialog; OK applies it, Cancel changes nothing.
    void presetTerrain();
    void setExcludedRectangle();
    // Every control from the settings (after loading, picking, snapping).
    void refreshControls();
    int pageCount() const;
    QString logPageText() const;

    // UserInterface
    Answer message(const std::string& text, const std::string& caption, MessageKind kind, Buttons buttons) override;
    void fileError(const std::string& detail) override;
    std::optional<std::string> ask(const AskRequest& request) override;
    void setLabel(Label which, const std::string& text) override;
    void setStatus(int panel, const std::string& text) override;
    void setWindowTitle(const std::string& text) override;
    void setProgress(int position) override;
    void setCommandEnabled(Command which, bool enabled) override;
    void setBusy(bool busy) override;
    void gridChanged() override;
    void processEvents() override;
    bool stopRequested() const override { return stop_; }
    void gridFactsChanged() override;
    void appendLogPage(const std::string& line) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Binding of one control to one settings member.
    QCheckBox* check(QGridLayout* grid, int row, int col, const QString& caption, bool& member,
                     const QString& objectName = {});
    QLineEdit* text(QGridLayout* grid, int row, int col, const QString& caption, std::string& member,
                    const QString& hint = {}, const QString& objectName = {});
    QComboBox* choice(QGridLayout* grid, int row, int col, const QString& caption, const QStringList& items,
                      int& member, const QString& objectName = {});
    QLabel* readout(QGridLayout* grid, int row, int col, const QString& caption, Label which);
    // One cell of a zone-table row (texture or tree zones).
    QCheckBox* zoneCheck(QGridLayout* grid, int row, int col, const QString& caption, bool& member,
                         const QString& objectName);
    QLineEdit* zoneText(QGridLayout* grid, int row, int col, std::string& member, const QString& objectName,
                        int maxWidth);
    QPushButton* swatch(Colour& member, const QString& objectName);
    // The widget is enabled as the core's rule for its group says.
    template <typename W>
    W* ruled(W* widget, ControlGroup group) {
        rules_.push_back({widget, [this, group] { return ControlEnabled(ws_.settings, group); }});
        return widget;
    }
    void changed();  // a control changed a setting
    // True, after telling so, while a command has the builder bot.
    bool robotBusy();
    void applyRules();

    QWidget* buildElevationPage();
    QWidget* buildWorldPage();
    QWidget* buildRwxPage();
    QWidget* buildTexturePage();
    QWidget* buildPropPage();
    QWidget* buildTreePage();
    QWidget* buildLogPage();
    void buildMenus();
    void showAbout();
    void showHelp();
    void chooseAndOpen();
    void exportTerrain();
    void expandDem();
    void rebuildScaleList();

    QString askFileName(const QString& caption, const QString& filter, const QString& suffix, bool save);
    // icon: a QMessageBox::Icon value for the box (none by default).
    int choose(const QString& caption, const QString& text, const QStringList& buttons, int icon = 0);
    // Native-terrain mode: the AW_Terrain (and WorldVersion4) switch handler,
    // and what the window shows for the current settings.
    void switchNativeTerrainMode();
    void applyNativeTerrainView();
    void terrainAreaDialog(bool exclusion);

    Workspace ws_;
    std::optional<std::string> pendingDtedMerge_;  // kept from the "DTED grid size" dialog
    bool stop_ = false;
    bool running_ = false;
    bool refreshing_ = false;
    int tilesDone_ = 0;
    int tilesTotal_ = 0;
    std::vector<std::function<void()>> refreshers_;
    std::array<QLabel*, kLabelCount> labels_{};
    std::array<std::vector<QLabel*>, kLabelCount> extraLabels_{};

    QTabWidget* pages_ = nullptr;
    QPushButton* generateButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* statusPanels_[2] = {nullptr, nullptr};
    QPlainTextEdit* logPage_ = nullptr;
    QComboBox* scaleList_ = nullptr;
    QPlainTextEdit* ftpStatus_ = nullptr;
    QPushButton* propFileButton_ = nullptr;
    // The widgets the native-terrain mode shows, hides or re-captions, with their role.
    std::vector<std::pair<QWidget*, int>> terrainItems_;
    // The core shows the preset button once an elevation dump was opened;
    // the area dialog's centre is then the dump's origin.
    bool presetShown_ = false;
    // The mode's captions stay as built until the mode was first applied.
    bool terrainCaptionsApplied_ = false;
    QLabel* rwxPrefixLabel_ = nullptr;
    std::vector<std::pair<Command, QWidget*>> commandWidgets_;
    struct RuleTarget {
        QWidget* widget;
        std::function<bool()> enabled;
    };
    std::vector<RuleTarget> rules_;
    AreaView* areaView_ = nullptr;
    ZoneView* zoneView_ = nullptr;
    RobotWindow* robot_ = nullptr;
};

}  // namespace gorvale::gui
