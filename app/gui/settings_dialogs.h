#pragma once
// The small dialogs of the conversion: "Save Terrain database" (terrain
// export) and "DTED grid size".

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

#include "pipeline/workspace.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace gorvale::gui {

class SaveTerrainDialog : public QDialog {
    Q_OBJECT
public:
    SaveTerrainDialog(Workspace& ws, QWidget* parent = nullptr);
    // Asks for the target file (filter, default suffix); empty when cancelled.
    std::function<QString(const QString& filter, const QString& suffix)> fileName;
    // "Save ...": asks for the name and writes the file; 0 when written.
    int save();

    QComboBox* type = nullptr;
    QSpinBox* scale = nullptr;
    QCheckBox* squareAvg = nullptr;
    QComboBox* upDown = nullptr;

private:
    Workspace& ws_;
};

class DtedSizeDialog : public QDialog {
    Q_OBJECT
public:
    // prompt: the core's question, whose last line carries "Total Points: N".
    DtedSizeDialog(const QString& initial, QWidget* parent = nullptr, const QString& prompt = {});
    QString value() const;
    QString verticalGridText() const;
    // "EAST,NORTH,NUMGRID" when the dialog was closed by "Merge...", else none.
    std::optional<std::string> mergeAnswer() const;

    QLineEdit* field = nullptr;
    QLabel* totalPoints = nullptr;
    QLabel* verticalGrid = nullptr;
    QCheckBox* mergeSwitch = nullptr;
    QPushButton* mergeButton = nullptr;
    QLineEdit* east = nullptr;
    QLineEdit* north = nullptr;
    QLineEdit* numgrid = nullptr;

private:
    long long total_ = 0;
    bool mergePressed_ = false;
};

}  // namespace gorvale::gui
