#include "ui/qt/picture_view.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "images/decode.h"
#include "images/metafile_file.h"
#include "runtime/env/env.h"
#include "ui/qt/mappings.h"
#include "ui/qt/report_render.h"

namespace vorsandt::ui::qt {
namespace {

// A page image or .WMF picture is first played this small: enough to know
// that it plays and its proportions; it is played again at its shown size.
constexpr int kMetafileWidth = 200;
// Up to this many device pixels a played metafile is kept between paints
// (a page on a large screen, at twice its pixels); a zoomed page shown
// larger is played straight onto the screen, only its exposed part drawn.
constexpr int64_t kKeptPixels = 12'000'000;

QImage ToQImage(const images::Image& image) {
  QImage out(image.width, image.height, QImage::Format_RGBA8888);
  if (out.isNull()) return out;
  const size_t row = static_cast<size_t>(image.width) * 4;
  for (int y = 0; y < image.height; ++y) {
    std::copy_n(image.rgba.data() + row * static_cast<size_t>(y), row, out.scanLine(y));
  }
  return out;
}

}  // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureView::SetFile(const std::string& file) {
  if (file == file_) return;
  file_ = file;
  Load();
}

void PictureView::Load() {
  ++generation_;
  picture_ = QImage();
  error_.clear();
  full_ = QSize();
  bytes_.clear();
  played_ = QImage();
  pending_ = false;
  setToolTip(QString());
  metafile_ = !file_.empty() && LooksLikeMetafile(file_);
  if (file_.empty()) {
    update();
    return;
  }
  if (metafile_) {
    // Played here: the player is bounded and draws with the toolkit's fonts,
    // which belong to the GUI thread.
    picture_ = MetafileImage(file_, kMetafileWidth);
    if (picture_.isNull()) {
      error_ = QStringLiteral("The picture file is damaged.");
    } else if (std::optional<std::vector<uint8_t>> bytes = images::ReadMetafileFile(file_)) {
      bytes_ = std::move(*bytes);
    }
    setToolTip(error_);
    update();
    return;
  }
  pending_ = true;
  const qreal ratio = devicePixelRatioF();
  images::DecodeOptions options;
  options.target_width = std::max(1, static_cast<int>(width() * ratio));
  options.target_height = std::max(1, static_cast<int>(height() * ratio));
  const uint64_t generation = generation_;
  const std::string path = file_;
  QPointer<PictureView> self(this);
  QThreadPool::globalInstance()->start([self, generation, path, options] {
    images::DecodeResult result = images::DecodeImageFile(*env::Env::Default(), path, options);
    QImage picture;
    QString error;
    if (result.ok()) {
      picture = ToQImage(result.image);
      if (picture.isNull()) error = QStringLiteral("Not enough memory to show the picture.");
    } else {
      error = ToQt(result.Message());
    }
    const QSize full(result.full_width, result.full_height);
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;  // the program is ending
    QMetaObject::invokeMethod(
        app,
        [self, generation, picture = std::move(picture), full, error = std::move(error)]() mutable {
          if (self) self->Decoded(generation, std::move(picture), full, std::move(error));
        },
        Qt::QueuedConnection);
  });
  update();
}

void PictureView::Decoded(uint64_t generation, QImage picture, QSize full, QString error) {
  if (generation != generation_) return;  // an older file or size
  pending_ = false;
  picture_ = std::move(picture);
  full_ = full;
  error_ = std::move(error);
  setToolTip(error_);
  update();
}

void PictureView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // A picture decoded at a reduced scale for a smaller control is decoded
  // again when the control outgrows it; one shown whole never is.
  if (metafile_ || picture_.isNull() || !full_.isValid()) return;
  const qreal ratio = devicePixelRatioF();
  const bool reduced = picture_.width() < full_.width() || picture_.height() < full_.height();
  const QSize wanted = full_.scaled(size() * ratio, Qt::KeepAspectRatio);
  const bool outgrown = picture_.width() < wanted.width() && picture_.height() < wanted.height();
  if (reduced && outgrown) Load();
}

void PictureView::PaintMetafile(QPainter& painter, const QRect& target, const QRect& exposed) {
  const qreal ratio = devicePixelRatioF();
  const QSize device(static_cast<int>(std::lround(target.width() * ratio)),
                     static_cast<int>(std::lround(target.height() * ratio)));
  if (int64_t{device.width()} * device.height() > kKeptPixels) {
    played_ = QImage();
    painter.save();
    painter.setClipRect(exposed);
    painter.fillRect(target, Qt::white);
    DrawMetafile(painter, QRectF(target), bytes_);
    painter.restore();
    return;
  }
  if (played_.size() != device) {
    played_ = QImage(device, QImage::Format_RGB32);
    played_.fill(Qt::white);
    QPainter player(&played_);
    DrawMetafile(player, QRectF(QPointF(0, 0), QSizeF(device)), bytes_);
    player.end();
    played_.setDevicePixelRatio(ratio);
  }
  painter.drawImage(target.topLeft(), played_);
}

void PictureView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect box = rect();
  if (!picture_.isNull()) {
    QSize size = picture_.size().scaled(box.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(box.center());
    if (metafile_ && !bytes_.empty()) {
      PaintMetafile(painter, target, event->rect());
      return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
    return;
  }
  if (error_.isEmpty()) return;  // nothing named, or still decoding
  // The placeholder: a neutral panel with the reason, readable at any size.
  painter.fillRect(box, palette().color(QPalette::Window).darker(110));
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(box.adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, error_);
}

}  // namespace vorsandt::ui::qt
