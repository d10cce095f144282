#pragma once
// The "Zone View" window: the zone picture of the selection stretched over
// the window, with the position and height read-out in its caption.

#include <QImage>
#include <QMainWindow>

#include "pipeline/zone_picture.h"

namespace gorvale::gui {

struct DialogHooks;

class ZoneView : public QMainWindow {
    Q_OBJECT
public:
    ZoneView(Workspace& ws, QWidget* parent = nullptr);
    // "&Refresh": rebuilds the picture from the current settings.
    void refresh();
    bool saveAs();
    bool savePicture(const QString& path);
    const PixelImage& picture() const { return picture_; }
    QWidget* pictureArea() const { return area_; }
    // The caption for a mouse position in the picture area.
    void mouseMovedTo(int x, int y);

    DialogHooks* hooks = nullptr;

private:
    Workspace& ws_;
    PixelImage picture_;
    QImage image_;
    QWidget* area_ = nullptr;
    friend class ZoneArea;
};

}  // namespace gorvale::gui
