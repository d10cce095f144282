// The main window's native-terrain side: the AW_Terrain mode switch with
// what it shows, hides and re-captions, and the area dialog behind
// "Preset Terrain in AW ..." and "Set Excluded Rectangle ...". What the mode
// turns off and what the dialog writes are the core's (world/terrain_selection.h).
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "app/gui/main_window.h"
#include "app/gui/terrain_dialogs.h"
#include "import/grid_operations.h"
#include "pipeline/area_picture.h"
#include "pipeline/window_values.h"

namespace gorvale::gui {
namespace {

// What one widget does in the mode switch.
enum TerrainRole {
    kTerrainOnly,      // shown in native-terrain mode only
    kObjectOnly,       // shown in object mode only
    kNameColumn,       // zone columns RWXName and RWXBottomName with their heads
    kOpacitySwitch,    // zone switch OpacityZone: caption and hint
    kTagSwitch,        // zone switch ObjectTagZone: caption and hint
    kOpacityHead,      // the heads over those switches and over OpacityValue
    kTagHead,
    kOpacityValueHead,
    kOpacityValueField,  // hints of the zone fields
    kTagValueField,
    kSuffixField,
    kCountField,
};

constexpr int kRwxPage = 2;
constexpr int kTreePage = 5;
// Columns of the zone table's heads.
constexpr int kHeadRwxName = 3;
constexpr int kHeadBottomName = 4;
constexpr int kHeadOpacityValue = 8;
constexpr int kHeadOpacity = 9;
constexpr int kHeadTag = 12;

QString bold(const std::string& text) { return QString("<b>%1</b>").arg(QString::fromStdString(text)); }

}  // namespace

void MainWindow::applyNativeTerrainView() {
    if (terrainItems_.empty()) {
        // The widgets live as long as the window: look them up once.
        auto add = [this](QWidget* w, int role) {
            if (!w) return;
            terrainItems_.push_back({w, role});
            // A field's caption goes with it.
            for (QLabel* l : findChildren<QLabel*>())
                if (l->buddy() == w) terrainItems_.push_back({l, role});
        };
        for (const char* name : {"RotateBot2", "DontRotate", "WorldVersion4", "DeleteOldTerrain", "FixGZ", "RowGZ",
                                 "ColGZ"})
            add(findChild<QWidget*>(name), kTerrainOnly);
        for (const char* name : {"RotateBot1", "RotateWorld", "WorldEdgeOverHang", "WorldEdgeOverHangN",
                                 "WorldEdgeOverHangS", "WorldEdgeOverHangW", "WorldEdgeOverHangE", "DoubleSidedObject",
                                 "SingleObjectGround"})
            add(findChild<QWidget*>(name), kObjectOnly);
        for (const auto& [head, role] : {std::pair{kHeadRwxName, kNameColumn}, {kHeadBottomName, kNameColumn},
                                         {kHeadOpacityValue, kOpacityValueHead}, {kHeadOpacity, kOpacityHead},
                                         {kHeadTag, kTagHead}})
            add(findChild<QWidget*>(QString("TextureHead%1").arg(head)), role);
        for (int n = 0; n < kZoneRows; ++n) {
            const std::pair<const char*, int> fields[] = {{"RWXName", kNameColumn},
                                                          {"RWXBottomName", kNameColumn},
                                                          {"OpacityZone", kOpacitySwitch},
                                                          {"ObjectTagZone", kTagSwitch},
                                                          {"OpacityValue", kOpacityValueField},
                                                          {"TagStartValue", kTagValueField},
                                                          {"NameSuffixFrom", kSuffixField},
                                                          {"NumberOfTexts", kCountField}};
            for (const auto& [name, role] : fields) add(findChild<QWidget*>(QString("Texture%1%2").arg(name).arg(n)), role);
        }
    }

    // The view alone: only the switch's own handler changes settings.
    ConversionSettings copy = ws_.settings;
    const NativeTerrainView v = SwitchNativeTerrainMode(copy);
    if (ws_.settings.AW_Terrain) terrainCaptionsApplied_ = true;
    const bool captions = terrainCaptionsApplied_;
    auto hint = [&v](std::size_t i) {
        return i < v.zoneHints.size() ? QString::fromStdString(v.zoneHints[i]) : QString();
    };
    for (const auto& [w, role] : terrainItems_) {
        switch (role) {
            case kTerrainOnly: w->setVisible(v.terrainControlsShown); break;
            case kObjectOnly: w->setVisible(v.objectControlsShown); break;
            case kNameColumn: w->setVisible(v.rwxNameColumnsShown); break;
            case kOpacitySwitch:
                if (captions) static_cast<QCheckBox*>(w)->setText(QString::fromStdString(v.opacityZoneCaption));
                w->setToolTip(hint(0));
                break;
            case kTagSwitch:
                if (captions) static_cast<QCheckBox*>(w)->setText(QString::fromStdString(v.tagZoneCaption));
                w->setToolTip(hint(1));
                break;
            case kOpacityHead:
                if (captions) static_cast<QLabel*>(w)->setText(bold(v.opacityZoneCaption));
                break;
            case kTagHead:
                if (captions) static_cast<QLabel*>(w)->setText(bold(v.tagZoneCaption));
                break;
            case kOpacityValueHead:
                if (captions) static_cast<QLabel*>(w)->setText(bold(v.opacityColumnCaption));
                break;
            case kOpacityValueField: w->setToolTip(hint(2)); break;
            case kTagValueField: w->setToolTip(hint(3)); break;
            case kSuffixField: w->setToolTip(hint(4)); break;
            case kCountField: w->setToolTip(hint(5)); break;
        }
    }
    if (QWidget* offset = findChild<QWidget*>("VerticalOffset"))
        offset->setToolTip(QString::fromStdString(v.verticalOffsetHint));
    if (!captions) return;
    if (auto* noProp = findChild<QCheckBox*>("NoPropfile")) noProp->setText(QString::fromStdString(v.noPropfileCaption));
    if (propFileButton_) propFileButton_->setText(QString::fromStdString(v.propFileButtonCaption));
    // The pages keep their (empty) tabs: "No RWX", which also governs the
    // zone table, stays within reach.
    pages_->setTabText(kRwxPage, QString::fromStdString(v.rwxPageCaption));
    pages_->setTabText(kTreePage, QString::fromStdString(v.treePageCaption));
}

void MainWindow::switchNativeTerrainMode() {
    if (refreshing_) return;
    ConversionSettings& s = ws_.settings;
    const int size = s.ObjectSize, scaling = s.Scaling;
    SwitchNativeTerrainMode(s);
    terrainCaptionsApplied_ = true;
    // Native terrain is one node per grid point: the size and scale lists follow the 10 m choice.
    if (s.ObjectSize != size || s.Scaling != scaling) {
        ApplyObjectSizeChoice(s, ws_.shaping);
        rebuildScaleList();
        RefreshScaling(ws_);
    }
    changed();
    refreshControls();
}

void MainWindow::terrainAreaDialog(bool exclusion) {
    TerrainAreaDialog dialog(OpenTerrainSelection(ws_, presetShown_, exclusion), this);
    if (dialog.exec() != QDialog::Accepted) return;
    AcceptTerrainSelection(ws_, dialog.values(), exclusion);
    ws_.SettingsModified = true;
    if (!exclusion && ws_.gridLoaded) {
        ComputeSelectionStats(ws_);
        UpdateSelectionSizeLabels(ws_);
    }
    refreshControls();
}

void MainWindow::presetTerrain() { terrainAreaDialog(false); }

void MainWindow::setExcludedRectangle() { terrainAreaDialog(true); }

}  // namespace gorvale::gui
