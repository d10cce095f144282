#pragma once
// The two dialogs of the "Building Robot Parameters" group: "Builder Bot
// Parameters" (build the objects of an object list inside a rectangle) and
// "Object Delete Parameters" (delete the objects of a rectangle by name
// pattern). Both close when their command starts, so the main window's stop
// button can end it while the bot window shows the progress.

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

#include "world/propdump_build.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace gorvale::gui {

class MainWindow;

// The four corner fields with their N/S and W/E choices.
class CornerFields {
public:
    // Adds the group "Bounding Box Coordinates in AW Units (10m):" to `dialog`;
    // `lowerSouthEast` starts the lower corner's choices at "S" and "E".
    CornerFields(QDialog* dialog, bool lowerSouthEast);
    QWidget* group() const { return group_; }
    // Both corners in centimetres, each axis ordered.
    BuildRectangle rectangle() const;

    QLineEdit* upperNS = nullptr;  // BotN_NS
    QLineEdit* upperWE = nullptr;  // BotN_WE
    QLineEdit* lowerNS = nullptr;  // BotS_NS
    QLineEdit* lowerWE = nullptr;  // BotS_WE
    QRadioButton* upperSouth = nullptr;
    QRadioButton* upperEast = nullptr;
    QRadioButton* lowerSouth = nullptr;
    QRadioButton* lowerEast = nullptr;

private:
    QWidget* group_ = nullptr;
};

// "Builder Bot Parameters".
class BuildBotDialog : public QDialog {
    Q_OBJECT
public:
    BuildBotDialog(MainWindow& main, QWidget* parent = nullptr);

    // "Select Propfile": asks for the file; "Build NOW!" is enabled when it opens.
    void selectPropfile();
    // "Build NOW!": closes the dialog and builds with the bot window shown.
    PropdumpBuildOutcome buildNow();
    const QString& propfile() const { return propfile_; }

    CornerFields corners;
    QPushButton* buildButton = nullptr;
    QPushButton* selectButton = nullptr;

private:
    MainWindow& main_;
    QString propfile_;
};

// "Object Delete Parameters".
class DeleteObjectsDialog : public QDialog {
    Q_OBJECT
public:
    DeleteObjectsDialog(MainWindow& main, QWidget* parent = nullptr);

    // "Delete NOW!": closes the dialog and starts the walk (false when
    // nothing was started); the bot window's timer does the rest.
    bool deleteNow();
    // The lines of ObjectsMemo (a last line break adds no empty pattern).
    std::vector<std::string> patterns() const;

    CornerFields corners;
    QPlainTextEdit* objectsMemo = nullptr;
    QCheckBox* byCitizen = nullptr;
    QLabel* citizenLabel = nullptr;
    QLineEdit* citizen = nullptr;
    QPushButton* deleteButton = nullptr;

private:
    MainWindow& main_;
};

}  // namespace gorvale::gui
