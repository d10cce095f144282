#include "app/gui/terrain_dialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/text_convert.h"

namespace gorvale::gui {
namespace {

// Distances are whole grid points (10 m cells of the world); the sign is the choice.
constexpr int kLargestDistance = 9999999;

struct Side {
    const char* edit;
    const char* choice;
    const char* hint;
    bool northSouth;
};

// One distance field with its choice; index 1 of the choice is S (or E), the negative side.
QLineEdit* makeSide(QGridLayout* g, int row, int col, const Side& side, const SignedField& value,
                    QComboBox*& choice, QWidget* parent) {
    auto* edit = new QLineEdit(QString::number(value.magnitude), parent);
    edit->setObjectName(side.edit);
    edit->setValidator(new QIntValidator(0, kLargestDistance, edit));
    edit->setToolTip(side.hint);
    edit->setMaximumWidth(90);
    choice = new QComboBox(parent);
    choice->setObjectName(side.choice);
    choice->addItems(side.northSouth ? QStringList{"N", "S"} : QStringList{"W", "E"});
    choice->setCurrentIndex(value.negative ? 1 : 0);
    choice->setToolTip(side.northSouth ? "North or south of the centre" : "West or east of the centre");
    g->addWidget(edit, row, col);
    g->addWidget(choice, row, col + 1);
    return edit;
}

SignedField readSide(const QLineEdit* edit, const QComboBox* choice, SignedField opened) {
    SignedField f = opened;
    scanInt(edit->text().toStdString(), f.magnitude);
    f.negative = choice->currentIndex() == 1;
    return f;
}

}  // namespace

TerrainAreaDialog::TerrainAreaDialog(const TerrainSelectionDialog& opened, QWidget* parent)
    : QDialog(parent), opened_(opened) {
    setObjectName("TForm12");
    setWindowTitle(QString::fromStdString(opened.caption));
    auto* g = new QGridLayout(this);
    g->addWidget(new QLabel("<b>Lower Right</b>"), 0, 0, 1, 2);
    g->addWidget(new QLabel("<b>Upper Left</b>"), 0, 2, 1, 2);
    FromSouthEdit = makeSide(g, 1, 0, {"FromSouthEdit", "FromSouthNS", "South edge: grid points from the centre", true},
                             opened.south, FromSouthNS, this);
    FromWestEdit = makeSide(g, 2, 0, {"FromWestEdit", "FromWestWE", "East edge: grid points from the centre", false},
                            opened.west, FromWestWE, this);
    ToNorthEdit = makeSide(g, 1, 2, {"ToNorthEdit", "ToNorthNS", "North edge: grid points from the centre", true},
                           opened.north, ToNorthNS, this);
    ToEastEdit = makeSide(g, 2, 2, {"ToEastEdit", "ToEastWE", "West edge: grid points from the centre", false},
                          opened.east, ToEastWE, this);
    centre = new QLabel(QString("Centre: grid row %1, column %2")
                            .arg(opened.centreRow)
                            .arg(opened.centreCol));
    centre->setObjectName("Centre");
    g->addWidget(centre, 3, 0, 1, 4);

    auto* buttons = new QHBoxLayout;
    ok = new QPushButton("OK");
    ok->setObjectName("OK");
    ok->setDefault(true);
    cancel = new QPushButton("Cancel");
    cancel->setObjectName("Cancel");
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    g->addLayout(buttons, 4, 0, 1, 4);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TerrainSelectionDialog TerrainAreaDialog::values() const {
    TerrainSelectionDialog d = opened_;
    d.south = readSide(FromSouthEdit, FromSouthNS, opened_.south);
    d.west = readSide(FromWestEdit, FromWestWE, opened_.west);
    d.north = readSide(ToNorthEdit, ToNorthNS, opened_.north);
    d.east = readSide(ToEastEdit, ToEastWE, opened_.east);
    return d;
}

}  // namespace gorvale::gui
