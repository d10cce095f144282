#include "views/area_view.h"

#include <algorithm>

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "pipeline/workspace.h"
#include "views/dialog_hooks.h"
#include "import/grid_operations.h"

namespace gorvale::gui {

AreaView::AreaView(Workspace& ws, QWidget* parent) : QMainWindow(parent, Qt::Window), ws_(ws) {
    setObjectName("AreaView");
    setWindowTitle("View DEM area");
    QMenu* file = menuBar()->addMenu("File");
    file->addAction("Save &As...", this, [this] { saveAs(); });
    file->addAction("ShowSelection", this, &AreaView::showSelection);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    zoom_ = new QComboBox;
    zoom_->setObjectName("zoom");
    for (const ViewZoom z : kViewZooms)
        zoom_->addItem(z.den == 1 ? QString("%1 : 1").arg(z.num) : QString("1 : %1").arg(z.den));
    zoom_->setCurrentIndex(zoomStep_);
    zoom_->setToolTip("Screen pixels per grid point");
    connect(zoom_, &QComboBox::currentIndexChanged, this, [this](int i) { setZoomStep(i); });
    auto* zoomLabel = new QLabel("&Zoom");
    zoomLabel->setBuddy(zoom_);
    top->addWidget(zoomLabel);
    top->addWidget(zoom_);
    label_ = new QLabel;
    label_->setObjectName("readout");
    QFont fixed("monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    label_->setFont(fixed);
    top->addWidget(label_, 1);
    layout->addLayout(top);

    canvas_ = new AreaCanvas(*this);
    scroll_ = new QScrollArea;
    scroll_->setWidget(canvas_);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(scroll_, 1);
    setCentralWidget(central);
    resize(700, 600);
}

void AreaView::setPicture(PixelImage image) {
    picture_ = std::move(image);
    image_ = picture_.empty() ? QImage()
                              : QImage(reinterpret_cast<const uchar*>(picture_.pixels.data()), picture_.width,
                                       picture_.height, picture_.width * 4, QImage::Format_RGB32);
    marks_.clear();
    outlineShown_ = false;
    lastX_ = lastY_ = -1;
    canvas_->pictureChanged();
}

void AreaView::gridChanged() {
    index_.build(ws_.grid);
    areaOnly_ = false;
    setPicture(DrawElevationPicture(ws_, true));
    // Large grids start zoomed out so the whole picture fits the screen.
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1600, 1000);
    setZoomStep(FittingZoomStep(picture_.width, picture_.height, std::max(200, screen.width() - 200),
                                std::max(200, screen.height() - 250)));
}

void AreaView::showFull() {
    areaOnly_ = false;
    setPicture(ShowFullPicture(ws_, remembered_));
    const PictureRect f = RememberedFrame(remembered_, picture_.width, picture_.height);
    marks_.push_back(QRect(QPoint(f.left, f.top), QPoint(f.right, f.bottom)));
    held_ = false;
    show();
    raise();
}

void AreaView::showArea() {
    areaOnly_ = true;
    setPicture(DrawElevationPicture(ws_, false));
    show();
    raise();
}

void AreaView::showSelection() {
    marks_.clear();
    if (!areaOnly_) {
        const PictureRect f = RememberedFrame(remembered_, picture_.width, picture_.height);
        marks_.push_back(QRect(QPoint(f.left, f.top), QPoint(f.right, f.bottom)));
    }
    held_ = false;
    canvas_->update();
}

bool AreaView::saveAs() {
    QString path;
    if (hooks && hooks->fileName) {
        path = hooks->fileName("Save As", "Bitmaps (*.bmp)", "bmp", true);
    } else {
        QFileDialog dialog(this, "Save As", QString(), "Bitmaps (*.bmp)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("bmp");
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) path = dialog.selectedFiles().first();
    }
    if (path.isEmpty()) return false;
    emit saveRequested();
    return savePicture(path);
}

bool AreaView::savePicture(const QString& path) {
    std::string why;
    if (!WriteBitmap24(picture_, path.toStdString(), why)) {
        ws_.ui->fileError(path.toStdString() + ": " + why);
        return false;
    }
    setWindowTitle(path);
    return true;
}

QString AreaView::readout() const { return label_->text(); }

void AreaView::setZoomStep(int step) {
    zoomStep_ = std::clamp(step, 0, kViewZoomCount - 1);
    if (zoom_->currentIndex() != zoomStep_) {
        zoom_->blockSignals(true);
        zoom_->setCurrentIndex(zoomStep_);
        zoom_->blockSignals(false);
    }
    canvas_->pictureChanged();
}

void AreaView::mouseMovedTo(int X, int Y) {
    if (areaOnly_ || held_ || picture_.empty() || (X == lastX_ && Y == lastY_ && outlineShown_)) return;
    const int W = picture_.width, H = picture_.height;
    outline_ = AreaOutlineSize(ws_);
    const AreaReadout r = ReadAreaUnderMouse(ws_.grid, &index_, W, H, outline_, X, Y);
    setWindowTitle(QString::fromStdString(AreaCaption(r, W, H, outline_, X, Y)));
    const QRect before = QRect(QPoint(lastX_ - outline_.w, lastY_ - outline_.h), QPoint(lastX_, lastY_));
    const bool wasShown = outlineShown_;
    lastX_ = X;
    lastY_ = Y;
    outlineShown_ = true;
    const QRect now = QRect(QPoint(X - outline_.w, Y - outline_.h), QPoint(X, Y));
    if (wasShown) canvas_->update(canvas_->viewRect(before).adjusted(-3, -3, 3, 3));
    canvas_->update(canvas_->viewRect(now).adjusted(-3, -3, 3, 3));
}

void AreaView::leftPressed(int X, int Y) {
    if (areaOnly_ || picture_.empty()) return;
    held_ = true;
    const int W = picture_.width, H = picture_.height;
    outline_ = AreaOutlineSize(ws_);
    label_->setText(QString::fromStdString(PickArea(ws_, W, H, X, Y)));
    marks_.clear();
    marks_.push_back(QRect(QPoint(X - outline_.w, Y - outline_.h), QPoint(X, Y)));
    marks_.push_back(QRect(QPoint(X - outline_.w / 2 - 1, Y - outline_.h / 2 - 1),
                           QPoint(X - outline_.w / 2 + 1, Y - outline_.h / 2 + 1)));
    outlineShown_ = false;
    canvas_->update();
    emit areaPicked();
}

void AreaView::rightPressed() { showSelection(); }

void AreaView::released() { held_ = false; }

QPoint AreaView::keyboardPosition() const {
    if (lastX_ >= 0 && lastY_ >= 0) return QPoint(lastX_, lastY_);
    return QPoint(picture_.width / 2, picture_.height / 2);
}

void AreaView::leftPicture() {
    if (!outlineShown_) return;
    outlineShown_ = false;
    canvas_->update();
}

// ---- canvas ----------------------------------------------------------------

AreaCanvas::AreaCanvas(AreaView& view) : view_(view) {
    setObjectName("AreaCanvas");
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setToolTip("Click to record the bounding box coordinates.");
    setFocusPolicy(Qt::StrongFocus);
}

void AreaCanvas::pictureChanged() {
    const ViewZoom z = kViewZooms[view_.zoomStep_];
    const QSize size(ViewFromPicture(view_.picture_.width, z), ViewFromPicture(view_.picture_.height, z));
    if (view_.image_.isNull())
        scaled_ = QPixmap();
    else
        scaled_ = QPixmap::fromImage(z.num == z.den ? view_.image_ : view_.image_.scaled(size));
    resize(size.isEmpty() ? QSize(1, 1) : size);
    update();
}

QRect AreaCanvas::viewRect(const QRect& r) const {
    const ViewZoom z = kViewZooms[view_.zoomStep_];
    return QRect(QPoint(ViewFromPicture(r.left(), z), ViewFromPicture(r.top(), z)),
                 QPoint(ViewFromPicture(r.right(), z), ViewFromPicture(r.bottom(), z)));
}

QPoint AreaCanvas::pictureToView(int x, int y) const {
    const ViewZoom z = kViewZooms[view_.zoomStep_];
    // The middle of the picture pixel, so a click there lands on it.
    return QPoint(ViewFromPicture(x, z) + std::max(0, z.num / z.den / 2), ViewFromPicture(y, z) + std::max(0, z.num / z.den / 2));
}

void AreaCanvas::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    if (!scaled_.isNull()) p.drawPixmap(e->rect(), scaled_, e->rect());
    p.setPen(QPen(QColor(0, 0, 255), 1));
    for (const QRect& m : view_.marks_) p.drawRect(viewRect(m));
    if (view_.outlineShown_) {
        // Inverted dots, like the exclusive-or focus rectangle: visible on
        // any shade and gone when drawn again.
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QPen(Qt::white, 1, Qt::DotLine));
        const int X = view_.lastX_, Y = view_.lastY_, w = view_.outline_.w, h = view_.outline_.h;
        p.drawRect(viewRect(QRect(QPoint(X - w, Y - h), QPoint(X, Y))));
        const int cx = X - w / 2, cy = Y - h / 2;
        p.drawRect(viewRect(QRect(QPoint(cx - 2, cy - 2), QPoint(cx + 2, cy + 2))));
    }
}

void AreaCanvas::mouseMoveEvent(QMouseEvent* e) {
    const ViewZoom z = kViewZooms[view_.zoomStep_];
    const QPoint pos = e->position().toPoint();
    view_.mouseMovedTo(PictureFromView(pos.x(), z), PictureFromView(pos.y(), z));
}

void AreaCanvas::mousePressEvent(QMouseEvent* e) {
    const ViewZoom z = kViewZooms[view_.zoomStep_];
    const QPoint pos = e->position().toPoint();
    if (e->button() == Qt::LeftButton)
        view_.leftPressed(PictureFromView(pos.x(), z), PictureFromView(pos.y(), z));
    else if (e->button() == Qt::RightButton)
        view_.rightPressed();
}

void AreaCanvas::mouseReleaseEvent(QMouseEvent*) { view_.released(); }

void AreaCanvas::wheelEvent(QWheelEvent* e) {
    if (!(e->modifiers() & Qt::ControlModifier)) {
        e->ignore();  // the scroll area scrolls
        return;
    }
    view_.setZoomStep(view_.zoomStep() + (e->angleDelta().y() > 0 ? 1 : -1));
    e->accept();
}

void AreaCanvas::keyPressEvent(QKeyEvent* e) {
    const int step = e->modifiers() & Qt::ShiftModifier ? 10 : 1;
    QPoint p = view_.keyboardPosition();
    switch (e->key()) {
        case Qt::Key_Left: p.rx() -= step; break;
        case Qt::Key_Right: p.rx() += step; break;
        case Qt::Key_Up: p.ry() -= step; break;
        case Qt::Key_Down: p.ry() += step; break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            view_.leftPressed(p.x(), p.y());
            view_.released();
            return;
        default: QWidget::keyPressEvent(e); return;
    }
    p.setX(std::clamp(p.x(), 0, std::max(0, view_.picture().width - 1)));
    p.setY(std::clamp(p.y(), 0, std::max(0, view_.picture().height - 1)));
    view_.mouseMovedTo(p.x(), p.y());
    if (QScrollArea* area = view_.scroll_) area->ensureVisible(pictureToView(p.x(), p.y()).x(), pictureToView(p.x(), p.y()).y());
}

void AreaCanvas::leaveEvent(QEvent*) { view_.leftPicture(); }

}  // namespace gorvale::gui
