#include "ui/qt/picture_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "images/testing/test_pictures.h"
#include "ui/qt/window_view.h"

namespace vorsandt::ui::qt {
namespace {

using images::Image;
namespace pictures = images::testing;

// Left half red, right half blue: shows both scaling and which way round the
// picture came out.
Image RedBlue(int width, int height) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = image.Pixel(x, y);
      const bool left = x < width / 2;
      p[0] = left ? 255 : 0;
      p[1] = 0;
      p[2] = left ? 0 : 255;
      p[3] = 255;
    }
  }
  return image;
}

class PictureViewTest : public ::testing::Test {
 protected:
  std::string Write(const char* name, const std::vector<uint8_t>& bytes) {
    QString path = dir_.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path.toStdString();
  }
  static bool Settle(PictureView& view) {
    return QTest::qWaitFor([&] { return !view.decoding(); }, 10000);
  }
  static bool Near(QColor have, QColor want) {
    return std::abs(have.red() - want.red()) < 40 && std::abs(have.green() - want.green()) < 40 &&
           std::abs(have.blue() - want.blue()) < 40;
  }
  QTemporaryDir dir_;
};

TEST_F(PictureViewTest, ALargeJpegIsDecodedSmallerAndPaintedScaledKeepingItsAspect) {
  const std::string jpeg = Write("photo.jpg", pictures::EncodeJpeg(RedBlue(1600, 800)));
  PictureView view;
  view.resize(200, 200);
  view.SetFile(jpeg);
  ASSERT_TRUE(Settle(view));
  ASSERT_FALSE(view.picture().isNull()) << view.error().toStdString();
  EXPECT_LT(view.picture().width(), 1600) << "decoded at a reduced scale for a small control";
  EXPECT_GE(view.picture().width(), 200);
  EXPECT_TRUE(view.error().isEmpty());

  QImage shown = view.grab().toImage();
  // 2:1 in a square: 200 x 100 centred, bands above and below left blank.
  EXPECT_TRUE(Near(shown.pixelColor(50, 100), Qt::red));
  EXPECT_TRUE(Near(shown.pixelColor(150, 100), Qt::blue));
  EXPECT_FALSE(Near(shown.pixelColor(50, 20), Qt::red)) << "no stretching into the top band";
  EXPECT_FALSE(Near(shown.pixelColor(150, 180), Qt::blue));
}

TEST_F(PictureViewTest, AReducedPictureIsDecodedAgainWhenTheControlOutgrowsIt) {
  const std::string jpeg = Write("wide.jpg", pictures::EncodeJpeg(RedBlue(1600, 800)));
  PictureView view;
  view.resize(100, 100);
  view.show();
  view.SetFile(jpeg);
  ASSERT_TRUE(Settle(view));
  const int small = view.picture().width();
  ASSERT_LT(small, 1600);
  view.resize(150, 150);  // shown 150 wide: the reduced picture still does
  QApplication::processEvents();
  EXPECT_FALSE(view.decoding());
  EXPECT_EQ(view.picture().width(), small);
  view.resize(1000, 1000);
  ASSERT_TRUE(Settle(view));
  EXPECT_GT(view.picture().width(), small);
  EXPECT_GE(view.picture().width(), 1000);
}

TEST_F(PictureViewTest, ABmpAndThenAnotherFileFollowTheText) {
  pictures::BmpSpec bmp;
  bmp.bits = 24;
  bmp.width = 40;
  bmp.height = 40;
  bmp.image = RedBlue(40, 40);
  const std::string first = Write("ITEM.BMP", pictures::EncodeBmp(bmp));
  const std::string second = Write("other.png", pictures::EncodePng(RedBlue(10, 10)));
  PictureView view;
  view.resize(80, 80);
  view.SetFile(first);
  view.SetFile(second);  // before the first came back: only the last may show
  ASSERT_TRUE(Settle(view));
  EXPECT_EQ(view.picture().size(), QSize(10, 10));
  view.SetFile(first);
  ASSERT_TRUE(Settle(view));
  EXPECT_EQ(view.picture().size(), QSize(40, 40));
  QImage shown = view.grab().toImage();
  EXPECT_TRUE(Near(shown.pixelColor(10, 40), Qt::red));
  EXPECT_TRUE(Near(shown.pixelColor(70, 40), Qt::blue));
}

TEST_F(PictureViewTest, MissingDamagedAndUnknownFilesShowTheReasonNotAPicture) {
  std::vector<uint8_t> jpeg = pictures::EncodeJpeg(RedBlue(64, 64));
  jpeg.resize(jpeg.size() / 2);
  const std::string cases[] = {
      dir_.filePath("NOPE.JPG").toStdString(),
      Write("half.jpg", jpeg),
      Write("notes.bmp", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'}),
  };
  for (const std::string& file : cases) {
    PictureView view;
    view.resize(120, 90);
    view.SetFile(file);
    ASSERT_TRUE(Settle(view)) << file;
    EXPECT_TRUE(view.picture().isNull()) << file;
    EXPECT_FALSE(view.error().isEmpty()) << file;
    EXPECT_EQ(view.toolTip(), view.error()) << file;
    QImage shown = view.grab().toImage();  // the placeholder paints
    EXPECT_FALSE(shown.isNull());
  }
}

// The image control of a window is this view, and paints the decoded pixels
// of the file its text names.
TEST_F(PictureViewTest, AnImageControlPaintsTheDecodedPicture) {
  const std::string jpeg = Write("chair.jpg", pictures::EncodeJpeg(RedBlue(300, 300)));
  WindowState state;
  state.id = 4;
  state.caption = "Pictures";
  state.at = Rect{kNotGiven, kNotGiven, 200, 150};
  ControlState image;
  image.field = 1;
  image.kind = Kind::kImage;
  image.at = {10, 10, 100, 100};
  image.text = jpeg;
  state.controls.push_back(image);
  WindowView window(state, [](WindowId, const Input&) {});
  window.show();
  auto* view = qobject_cast<PictureView*>(window.ControlWidget(1));
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Settle(*view));
  QImage shown = view->grab().toImage();
  const int h = shown.height() / 2;
  EXPECT_TRUE(Near(shown.pixelColor(shown.width() / 4, h), Qt::red));
  EXPECT_TRUE(Near(shown.pixelColor(shown.width() * 3 / 4, h), Qt::blue));

  state.controls[0].text = dir_.filePath("GONE.JPG").toStdString();
  window.Apply(state);
  ASSERT_TRUE(Settle(*view));
  EXPECT_TRUE(view->picture().isNull());
  EXPECT_FALSE(view->error().isEmpty());
}

}  // namespace
}  // namespace vorsandt::ui::qt
