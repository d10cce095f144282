#include "app/gui/settings_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

#include "base/text_convert.h"
#include "import/dted_merge.h"
#include "import/terrain_export.h"

namespace gorvale::gui {

SaveTerrainDialog::SaveTerrainDialog(Workspace& ws, QWidget* parent) : QDialog(parent), ws_(ws) {
    setWindowTitle("Save Terrain database");
    auto* g = new QGridLayout(this);
    type = new QComboBox;
    type->setObjectName("SaveType");
    type->addItems({"Terragen", "VistaPro ASCII"});
    type->setToolTip("Select the file type you want to save the elevation datas");
    g->addWidget(new QLabel("File type:"), 0, 0);
    g->addWidget(type, 0, 1);
    scale = new QSpinBox;
    scale->setObjectName("CSpinEdit");
    scale->setRange(kMinExportBlockSize, kMaxExportBlockSize);
    scale->setValue(1);
    auto* scaleLabel = new QLabel("Hor/Vert Scale :");
    scaleLabel->setBuddy(scale);
    g->addWidget(scaleLabel, 1, 0);
    g->addWidget(scale, 1, 1);
    squareAvg = new QCheckBox("SquareAvg");
    squareAvg->setObjectName("SquareAvg");
    squareAvg->setToolTip("Check the box if you want to average based on the square for the elevation model");
    g->addWidget(squareAvg, 2, 0, 1, 2);
    upDown = new QComboBox;
    upDown->setObjectName("ScaleUpDown");
    upDown->addItems({"Down (Reduce)", "Up (Enlarge)"});
    upDown->setEnabled(false);
    upDown->setToolTip("Not implemented yet");
    g->addWidget(upDown, 3, 0, 1, 2);
    auto* saveButton = new QPushButton("Save ...");
    saveButton->setObjectName("Save");
    g->addWidget(saveButton, 4, 0, 1, 2);
    connect(saveButton, &QPushButton::clicked, this, [this] {
        if (save() == 0) accept();
    });
}

int SaveTerrainDialog::save() {
    const bool terragen = type->currentIndex() == 0;
    const QString filter = terragen ? "Terragen (*.ter);;All Files (*)" : "VistaPro ASCII (*.txt);;All Files (*)";
    const QString path = fileName ? fileName(filter, terragen ? "ter" : "txt") : QString();
    if (path.isEmpty()) return -1;
    return ExportTerrain(ws_, terragen ? ExportFormat::Terragen : ExportFormat::VistaPro, path.toStdString(),
                         scale->value(), squareAvg->isChecked());
}

DtedSizeDialog::DtedSizeDialog(const QString& initial, QWidget* parent, const QString& prompt) : QDialog(parent) {
    setWindowTitle("DTED grid size");
    const QRegularExpressionMatch m = QRegularExpression("Total Points: (\\d+)").match(prompt);
    if (m.hasMatch()) total_ = m.captured(1).toLongLong();
    auto* g = new QGridLayout(this);
    g->addWidget(new QLabel("Please provide the horizontal size of the grid:"), 0, 0, 1, 2);
    field = new QLineEdit(initial);
    field->setObjectName("GridSize");
    g->addWidget(field, 1, 0, 1, 2);
    g->addWidget(new QLabel("Total Points:"), 2, 0);
    totalPoints = new QLabel(QString::number(total_));
    g->addWidget(totalPoints, 2, 1);
    g->addWidget(new QLabel("Vert. grid:"), 3, 0);
    verticalGrid = new QLabel("?");
    verticalGrid->setObjectName("VertGrid");
    g->addWidget(verticalGrid, 3, 1);
    auto* ok = new QPushButton("OK");
    ok->setDefault(true);
    g->addWidget(ok, 4, 0, 1, 2);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(field, &QLineEdit::returnPressed, this, &QDialog::accept);
    connect(field, &QLineEdit::textChanged, this, [this] { verticalGrid->setText(verticalGridText()); });

    // The merge part: hidden until its switch is on; "Merge..." closes the
    // dialog with the tiles to merge, which then replace the opened file.
    mergeSwitch = new QCheckBox("Merge multiple grids");
    mergeSwitch->setObjectName("MergeSwitch");
    g->addWidget(mergeSwitch, 5, 0, 1, 2);
    const DtedMergeRequest defaults;
    auto* mergePart = new QWidget;
    auto* mg = new QGridLayout(mergePart);
    mg->setContentsMargins(0, 0, 0, 0);
    auto addField = [&](int row, const char* caption, int initial) {
        auto* edit = new QLineEdit(QString::number(initial));
        edit->setObjectName(caption);
        edit->setValidator(new QIntValidator(0, 999, edit));
        auto* label = new QLabel(caption);
        label->setBuddy(edit);
        mg->addWidget(label, row, 0);
        mg->addWidget(edit, row, 1);
        return edit;
    };
    east = addField(0, "East", defaults.East);
    north = addField(1, "North", defaults.North);
    numgrid = addField(2, "Numgrid", defaults.Numgrid);
    numgrid->setToolTip(QString("Tiles along each side, at most %1").arg(kDtedMaxNumgrid));
    mergeButton = new QPushButton("Merge...");
    mergeButton->setObjectName("Merge");
    mg->addWidget(mergeButton, 3, 0, 1, 2);
    g->addWidget(mergePart, 6, 0, 1, 2);
    mergePart->setVisible(false);
    connect(mergeSwitch, &QCheckBox::toggled, mergePart, &QWidget::setVisible);
    connect(mergeButton, &QPushButton::clicked, this, [this] {
        mergePressed_ = true;
        accept();
    });
}

std::optional<std::string> DtedSizeDialog::mergeAnswer() const {
    if (!mergePressed_) return std::nullopt;
    DtedMergeRequest r;
    scanInt(east->text().toStdString(), r.East);
    scanInt(north->text().toStdString(), r.North);
    scanInt(numgrid->text().toStdString(), r.Numgrid);
    return dtedMergeAnswerText(r);
}

QString DtedSizeDialog::value() const { return field->text(); }

QString DtedSizeDialog::verticalGridText() const {
    int n = 0;
    if (!scanInt(field->text().toStdString(), n) || n <= 0) return "?";
    return QString::number(total_ / n);
}

}  // namespace gorvale::gui
