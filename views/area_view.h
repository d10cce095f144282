#pragma once
// The "View DEM area" window: the shaded picture of the grid, the outline
// of the world that follows the mouse, and the click that records the
// bounding box. Everything it computes comes from pipeline/area_picture.h;
// the window keeps only view state (the picture, zoom, outline position,
// button held, area-only).

#include <QMainWindow>
#include <QImage>

#include <optional>

#include "pipeline/area_picture.h"

class QComboBox;
class QLabel;
class QScrollArea;

namespace gorvale::gui {

struct DialogHooks;
class AreaCanvas;

class AreaView : public QMainWindow {
    Q_OBJECT
public:
    AreaView(Workspace& ws, QWidget* parent = nullptr);

    // A reader loaded a new grid: the full picture, picking on.
    void gridChanged();
    // "Show Full DEM Picture" and "Show Selected Area".
    void showFull();
    void showArea();
    // "ShowSelection": the remembered rectangle framed in blue.
    void showSelection();
    // "Save &As...": asks for the file, then writes the picture.
    bool saveAs();
    bool savePicture(const QString& path);

    // Mouse events in picture pixels (also what the tests call).
    void mouseMovedTo(int X, int Y);
    void leftPressed(int X, int Y);
    void rightPressed();
    void released();
    void leftPicture();
    // Where the keyboard outline stands: the last mouse position, else the middle.
    QPoint keyboardPosition() const;

    bool areaOnly() const { return areaOnly_; }
    const PixelImage& picture() const { return picture_; }
    QString readout() const;
    void setZoomStep(int step);
    int zoomStep() const { return zoomStep_; }
    AreaCanvas* canvas() const { return canvas_; }

    DialogHooks* hooks = nullptr;

signals:
    void areaPicked();
    void saveRequested();

private:
    friend class AreaCanvas;
    void setPicture(PixelImage image);

    Workspace& ws_;
    PixelImage picture_;
    QImage image_;  // shares picture_'s pixels
    GridRangeIndex index_;
    bool areaOnly_ = false;
    bool held_ = false;
    bool outlineShown_ = false;
    int lastX_ = -1;
    int lastY_ = -1;
    OutlineSize outline_;
    std::vector<QRect> marks_;  // blue frames, in picture pixels
    RememberedRect remembered_;
    int zoomStep_ = 3;
    AreaCanvas* canvas_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QLabel* label_ = nullptr;
    QComboBox* zoom_ = nullptr;
};

// The picture widget: paints the zoomed picture, the outline and the marks,
// and turns mouse positions into picture pixels.
class AreaCanvas : public QWidget {
    Q_OBJECT
public:
    explicit AreaCanvas(AreaView& view);
    void pictureChanged();
    QPoint pictureToView(int x, int y) const;
    // A rectangle of picture pixels in view coordinates.
    QRect viewRect(const QRect& pictureRect) const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    // Arrow keys move the outline by one grid point (ten with Shift);
    // Enter or Space records it, as a click does.
    void keyPressEvent(QKeyEvent* e) override;
    // Ctrl + wheel zooms in and out.
    void wheelEvent(QWheelEvent* e) override;

private:
    AreaView& view_;
    QPixmap scaled_;
};

}  // namespace gorvale::gui
