#include "app/gui/world_dialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "app/gui/main_window.h"
#include "app/gui/robot_window.h"
#include "base/c_file.h"
#include "base/text_convert.h"
#include "world/object_deletion.h"

namespace gorvale::gui {
namespace {

constexpr const char* kBoxCaption = "Bounding Box Coordinates in AW Units (10m):";
constexpr const char* kBoxHint = "Sepcify the bounding rectangle coordinates.";
constexpr const char* kPropfileFilter = "Propfile (*.txt)|*.txt|Any file (*.*)|*.*";
constexpr const char* kPropfileDefaultName = "propfile.txt";
constexpr const char* kObjectsCaption = "Objects to Delete (wildchars are ok):";
constexpr const char* kObjectsHint =
    "List all the objects you want to delete within the bounding box. * and ? can be used in filenames.";

std::string s8(const QString& s) { return s.toStdString(); }

// A value field with its two choices; the second choice starts checked when `second`.
QLineEdit* cornerValue(QGridLayout* grid, int row, int col, const QString& name, const QString& a,
                       const QString& b, bool second, QRadioButton*& secondButton) {
    auto* field = new QLineEdit("0");
    field->setObjectName(name);
    field->setMaximumWidth(90);
    auto* choices = new QGroupBox;
    choices->setObjectName(name + "Group");
    auto* row1 = new QHBoxLayout(choices);
    row1->setContentsMargins(4, 0, 4, 0);
    auto* first = new QRadioButton(a);
    secondButton = new QRadioButton(b);
    first->setObjectName(name + "Group" + a);
    secondButton->setObjectName(name + "Group" + b);
    (second ? secondButton : first)->setChecked(true);
    row1->addWidget(first);
    row1->addWidget(secondButton);
    grid->addWidget(field, row, col);
    grid->addWidget(choices, row, col + 1);
    return field;
}

}  // namespace

CornerFields::CornerFields(QDialog* dialog, bool lowerSouthEast) {
    auto* box = new QGroupBox(kBoxCaption, dialog);
    box->setObjectName("BoundingBox");
    box->setToolTip(kBoxHint);
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Upper Left Corner (N-W)"), 0, 0, 1, 4);
    upperNS = cornerValue(grid, 1, 0, "BotN_NS", "N", "S", false, upperSouth);
    upperWE = cornerValue(grid, 1, 2, "BotN_WE", "W", "E", false, upperEast);
    grid->addWidget(new QLabel("Lower Right Corner (S-E)"), 2, 0, 1, 4);
    lowerNS = cornerValue(grid, 3, 0, "BotS_NS", "N", "S", lowerSouthEast, lowerSouth);
    lowerWE = cornerValue(grid, 3, 2, "BotS_WE", "W", "E", lowerSouthEast, lowerEast);
    group_ = box;
}

BuildRectangle CornerFields::rectangle() const {
    const std::int32_t z1 = AwUnitsToCm(s8(upperNS->text()), upperSouth->isChecked());
    const std::int32_t x1 = AwUnitsToCm(s8(upperWE->text()), upperEast->isChecked());
    const std::int32_t z2 = AwUnitsToCm(s8(lowerNS->text()), lowerSouth->isChecked());
    const std::int32_t x2 = AwUnitsToCm(s8(lowerWE->text()), lowerEast->isChecked());
    return RectangleFromCorners(z1, x1, z2, x2);
}

// ---- Builder Bot Parameters ------------------------------------------------

BuildBotDialog::BuildBotDialog(MainWindow& main, QWidget* parent)
    : QDialog(parent), corners(this, true), main_(main) {
    setObjectName("BuilderBotParameters");
    setWindowTitle("Builder Bot Parameters");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(corners.group());
    auto* buttons = new QHBoxLayout;
    selectButton = new QPushButton("Select Propfile");
    selectButton->setObjectName("SelectPropfile");
    buildButton = new QPushButton("Build NOW!");
    buildButton->setObjectName("BuildNow");
    buildButton->setEnabled(false);
    buttons->addWidget(selectButton);
    buttons->addStretch(1);
    buttons->addWidget(buildButton);
    layout->addLayout(buttons);
    connect(selectButton, &QPushButton::clicked, this, &BuildBotDialog::selectPropfile);
    connect(buildButton, &QPushButton::clicked, this, [this] { buildNow(); });
}

void BuildBotDialog::selectPropfile() {
    buildButton->setEnabled(false);
    const QString filter = qtFileFilter(kPropfileFilter);
    QString path;
    if (main_.hooks.fileName) {
        path = main_.hooks.fileName("Select Propfile", filter, "txt", false);
    } else {
        QFileDialog dialog(this, "Select Propfile", {}, filter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix("txt");
        dialog.selectFile(kPropfileDefaultName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().first();
    }
    if (path.isEmpty()) return;
    if (!openFile(s8(path), "r")) {
        main_.message(format("Cannot open %s: %s", s8(path).c_str(), std::strerror(errno)), "Select Propfile",
                      MessageKind::Error, Buttons::Ok);
        return;
    }
    propfile_ = path;
    buildButton->setEnabled(true);
}

PropdumpBuildOutcome BuildBotDialog::buildNow() {
    // Closed first: the stop button of the main window must be reachable.
    const BuildRectangle rect = corners.rectangle();
    accept();
    main_.clearStop();
    return BuildFromPropdump(main_.workspace().settings, main_.robotWindow()->bot(), main_, s8(propfile_), rect);
}

// ---- Object Delete Parameters ----------------------------------------------

DeleteObjectsDialog::DeleteObjectsDialog(MainWindow& main, QWidget* parent)
    : QDialog(parent), corners(this, false), main_(main) {
    setObjectName("ObjectDeleteParameters");
    setWindowTitle("Object Delete Parameters");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(corners.group());
    auto* objectsLabel = new QLabel(kObjectsCaption);
    layout->addWidget(objectsLabel);
    objectsMemo = new QPlainTextEdit;
    objectsMemo->setObjectName("ObjectsMemo");
    objectsMemo->setToolTip(kObjectsHint);
    objectsMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    objectsLabel->setBuddy(objectsMemo);
    layout->addWidget(objectsMemo, 1);
    auto* owner = new QHBoxLayout;
    byCitizen = new QCheckBox("Delete by Citizen Number");
    byCitizen->setObjectName("DeleteByCitizen");
    citizenLabel = new QLabel("Cit#:");
    citizen = new QLineEdit;
    citizen->setObjectName("CitizenNumber");
    citizen->setMaximumWidth(90);
    citizenLabel->setBuddy(citizen);
    citizenLabel->hide();
    citizen->hide();
    owner->addWidget(byCitizen);
    owner->addWidget(citizenLabel);
    owner->addWidget(citizen);
    owner->addStretch(1);
    deleteButton = new QPushButton("Delete NOW!");
    deleteButton->setObjectName("DeleteNow");
    owner->addWidget(deleteButton);
    layout->addLayout(owner);
    connect(byCitizen, &QCheckBox::toggled, this, [this](bool on) {
        citizenLabel->setVisible(on);
        citizen->setVisible(on);
    });
    connect(deleteButton, &QPushButton::clicked, this, [this] { deleteNow(); });
    resize(460, 380);
}

std::vector<std::string> DeleteObjectsDialog::patterns() const {
    QString text = objectsMemo->toPlainText();
    std::vector<std::string> lines;
    if (text.isEmpty()) return lines;
    if (text.endsWith('\n')) text.chop(1);
    for (const QString& line : text.split('\n')) lines.push_back(s8(line));
    return lines;
}

bool DeleteObjectsDialog::deleteNow() {
    const BuildRectangle rect = corners.rectangle();
    const std::vector<std::string> lines = patterns();
    const std::string owner = s8(citizen->text());
    const bool onlyOwner = byCitizen->isChecked();
    accept();
    main_.clearStop();
    RobotWindow* robot = main_.robotWindow();
    return DeleteObjects(main_.workspace().settings, robot->bot(), main_, robot->deletion(), rect, lines, owner,
                         onlyOwner);
}

}  // namespace gorvale::gui
