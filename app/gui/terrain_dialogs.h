#pragma once
// The native-terrain area dialog (TForm12): "AW Terrain Selection" places the
// bounding rectangle, "AW Terrain Exclusion" the exclusion rectangle, each as
// four distances from a centre with their N/S and W/E choices. The window
// only shows and reads the fields; the centre and what OK writes back are
// the core's (world/terrain_selection.h).

#include <QDialog>

#include "world/terrain_selection.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace gorvale::gui {

class TerrainAreaDialog : public QDialog {
    Q_OBJECT
public:
    // Shows `opened` (OpenTerrainSelection's result); its caption is the window title.
    explicit TerrainAreaDialog(const TerrainSelectionDialog& opened, QWidget* parent = nullptr);

    // The dialog's values as the fields now hold them. A field that does not
    // read as a number keeps the value the dialog opened with.
    TerrainSelectionDialog values() const;

    // "Lower Right": the south edge and the east edge (FromWest, the first column).
    QLineEdit* FromSouthEdit = nullptr;
    QComboBox* FromSouthNS = nullptr;
    QLineEdit* FromWestEdit = nullptr;
    QComboBox* FromWestWE = nullptr;
    // "Upper Left": the north edge and the west edge (ToEast, the last column).
    QLineEdit* ToNorthEdit = nullptr;
    QComboBox* ToNorthNS = nullptr;
    QLineEdit* ToEastEdit = nullptr;
    QComboBox* ToEastWE = nullptr;
    QLabel* centre = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

private:
    TerrainSelectionDialog opened_;
};

}  // namespace gorvale::gui
