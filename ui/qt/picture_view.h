// An image control on the toolkit: the picture file its text names, drawn
// scaled to the control with its proportions kept and centred.
//
// Pictures are decoded through images/ on a pool thread, at the control's
// size (a large JPEG is decoded at a reduced scale for a small control), so a
// 24-megapixel photo never holds the GUI thread. Metafiles (report page
// images, .WMF pictures) are played onto the toolkit's painter instead, so
// their text is drawn with real fonts, at the size they are shown and at the
// screen's device pixels (played again when that changes), so a page stays
// sharp at any zoom and scale. A file that cannot be shown leaves a
// neutral placeholder with the reason in it and as its tip, never a crash.
//
// Invariants: only the GUI thread touches the widget; a decode carries the
// generation it was started for, and a result whose generation is no longer
// current (the file changed, the control grew) is dropped, so a slow decode
// of an old file never replaces a newer picture.
#ifndef VORSANDT_UI_QT_PICTURE_VIEW_H_
#define VORSANDT_UI_QT_PICTURE_VIEW_H_

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

namespace vorsandt::ui::qt {

class PictureView : public QWidget {
  Q_OBJECT

 public:
  explicit PictureView(QWidget* parent = nullptr);

  // Shows `file` ("" shows nothing). The same file again changes nothing.
  void SetFile(const std::string& file);
  const std::string& file() const { return file_; }

  // What the control holds now: the decoded (or played) picture, null while
  // it is decoding or when the file could not be shown.
  const QImage& picture() const { return picture_; }
  // The reason shown instead of a picture ("" when there is none).
  const QString& error() const { return error_; }
  // True while a decode started for the current file has not come back.
  bool decoding() const { return pending_; }
  // A metafile as last drawn: played at its shown size in device pixels
  // (null before the first paint, and when it is drawn straight onto the
  // screen because it is shown too large to keep).
  const QImage& played() const { return played_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Load();
  void Decoded(uint64_t generation, QImage picture, QSize full, QString error);
  void PaintMetafile(QPainter& painter, const QRect& target, const QRect& exposed);

  std::string file_;
  QImage picture_;
  QString error_;
  uint64_t generation_ = 0;
  bool pending_ = false;
  bool metafile_ = false;
  QSize full_;  // the picture's own size, when it was decoded smaller
  std::vector<uint8_t> bytes_;  // a metafile's records, played at each new size
  QImage played_;               // ... and the picture of the last size
};

}  // namespace vorsandt::ui::qt

#endif  // VORSANDT_UI_QT_PICTURE_VIEW_H_
