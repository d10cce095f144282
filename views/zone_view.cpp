#include "views/zone_view.h"

#include <QFileDialog>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>

#include "pipeline/workspace.h"
#include "views/dialog_hooks.h"

namespace gorvale::gui {

// Paints the picture stretched over the whole area and reports mouse moves.
class ZoneArea : public QWidget {
public:
    explicit ZoneArea(ZoneView& view) : view_(view) {
        setObjectName("ZoneArea");
        setMouseTracking(true);
        setCursor(Qt::CrossCursor);
        setMinimumSize(64, 64);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (view_.image_.isNull())
            p.fillRect(rect(), Qt::black);
        else
            p.drawImage(rect(), view_.image_);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        const QPoint pos = e->position().toPoint();
        view_.mouseMovedTo(pos.x(), pos.y());
    }

private:
    ZoneView& view_;
};

ZoneView::ZoneView(Workspace& ws, QWidget* parent) : QMainWindow(parent, Qt::Window), ws_(ws) {
    setObjectName("ZoneView");
    setWindowTitle("Zone View");
    QMenu* file = menuBar()->addMenu("&File...");
    file->addAction("&Refresh", this, &ZoneView::refresh);
    file->addAction("&Save As ...", this, [this] { saveAs(); });
    area_ = new ZoneArea(*this);
    setCentralWidget(area_);
    resize(520, 520);
}

void ZoneView::refresh() {
    picture_ = BuildZonePicture(ws_);
    image_ = picture_.empty() ? QImage()
                              : QImage(reinterpret_cast<const uchar*>(picture_.pixels.data()), picture_.width,
                                       picture_.height, picture_.width * 4, QImage::Format_RGB32);
    area_->update();
}

bool ZoneView::saveAs() {
    QString path;
    if (hooks && hooks->fileName) {
        path = hooks->fileName("Save As ...", "Bitmaps (*.bmp)", "bmp", true);
    } else {
        QFileDialog dialog(this, "Save As ...", QString(), "Bitmaps (*.bmp)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("bmp");
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) path = dialog.selectedFiles().first();
    }
    return !path.isEmpty() && savePicture(path);
}

bool ZoneView::savePicture(const QString& path) {
    std::string why;
    if (!WriteBitmap24(picture_, path.toStdString(), why)) {
        ws_.ui->fileError(path.toStdString() + ": " + why);
        return false;
    }
    return true;
}

void ZoneView::mouseMovedTo(int x, int y) {
    const std::string caption = ZoneCaption(ws_, x, y, area_->width(), area_->height());
    if (!caption.empty()) setWindowTitle(QString::fromStdString(caption));
}

}  // namespace gorvale::gui
