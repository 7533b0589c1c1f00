#include "ui/qt/report_render.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "report/report_images.h"
#include "ui/qt/qt_platform.h"

namespace vorsandt::ui::qt {
namespace {

// A letter page with a title, a rule under it and a framed area.
Page SamplePage() {
  Page page;
  page.report = "SAMPLE$REPORT";
  page.number = 1;
  PageItem title;
  title.type = PageItem::Type::kText;
  title.x = 1000;
  title.y = 1000;
  title.w = 3000;
  title.h = 250;
  title.text = "MASTER INVENTORY REPORT";
  title.font = PageFont{"Sans Serif", 14, true, kDefaultColour};
  PageItem rule;
  rule.type = PageItem::Type::kLine;
  rule.x = 1000;
  rule.y = 1500;
  rule.w = 6000;
  PageItem frame;
  frame.type = PageItem::Type::kBox;
  frame.x = 1000;
  frame.y = 2000;
  frame.w = 6000;
  frame.h = 1000;
  frame.fill = 0x0000FF;  // red
  page.items = {title, rule, frame};
  return page;
}

// Pixels that are not white.
int Inked(const QImage& image, QRect area) {
  int count = 0;
  area = area.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixelColor(x, y) != QColor(Qt::white)) ++count;
    }
  }
  return count;
}

TEST(ReportRenderTest, PageIsDrawnAtTheFixedResolution) {
  QImage image = DrawPage(SamplePage());
  ASSERT_EQ(image.size(), QSize(850, 1100)) << "8.5 x 11 inches at 100 dots per inch";
  // The title's text is inked where it was placed, and nowhere above it.
  EXPECT_GT(Inked(image, QRect(100, 100, 300, 25)), 50);
  EXPECT_EQ(Inked(image, QRect(0, 0, 850, 95)), 0);
  // The rule at 1.5 inches, the red box from 2 to 3 inches.
  EXPECT_EQ(image.pixelColor(400, 150), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(400, 250), QColor(Qt::red));
  EXPECT_EQ(image.pixelColor(400, 350), QColor(Qt::white));
  EXPECT_EQ(Inked(image, QRect(0, 320, 850, 780)), 0) << "nothing below the box";
}

TEST(ReportRenderTest, EmptyPageIsWhiteAndWildItemsAreHarmless) {
  Page page;
  page.width = 4000;
  page.height = 2000;
  EXPECT_EQ(Inked(DrawPage(page), QRect(0, 0, 400, 200)), 0);
  PageItem far;
  far.type = PageItem::Type::kText;
  far.x = INT32_MAX;
  far.y = INT32_MIN + 1;
  far.text = "off the paper";
  PageItem missing;
  missing.type = PageItem::Type::kImage;
  missing.w = missing.h = 1000;
  missing.text = "/nonexistent/picture.png";
  page.items = {far, missing};
  QImage image = DrawPage(page);
  EXPECT_EQ(image.size(), QSize(400, 200));
  EXPECT_EQ(Inked(image, image.rect()), 0);
}

TEST(ReportRenderTest, PageImageIsAPngFileThatIsNeverOverwritten) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::string stem = dir.filePath("ZOR0001").toStdString();
  std::optional<std::string> name = WritePagePng(SamplePage(), stem);
  ASSERT_EQ(name, stem + ".png");
  QImage read(QString::fromStdString(*name));
  ASSERT_FALSE(read.isNull());
  EXPECT_EQ(read.size(), QSize(850, 1100));
  EXPECT_GT(Inked(read, read.rect()), 1000);
  EXPECT_EQ(WritePagePng(Page(), stem), std::nullopt) << "the name is taken";
  EXPECT_EQ(QImage(QString::fromStdString(*name)).size(), QSize(850, 1100));
}

// Pages of a PDF file as the toolkit writes them: one page object each.
int PdfPages(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  QByteArray pdf = file.readAll();
  if (!pdf.startsWith("%PDF")) return -1;
  return static_cast<int>(pdf.count("/Type /Page\n") + pdf.count("/Type /Page ") +
                          pdf.count("/Type /Page/") + pdf.count("/Type/Page\n"));
}

TEST(ReportRenderTest, PrintingPutsEachListedPageOnASheetOfItsOwn) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::vector<std::string> pages;
  for (int i = 1; i <= 3; ++i) {
    Page page = SamplePage();
    page.number = i;
    pages.push_back(*WritePagePng(page, dir.filePath(QString("ZOR%1").arg(i)).toStdString()));
  }
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  QString pdf = dir.filePath("job.pdf");
  printer.setOutputFileName(pdf);
  ASSERT_TRUE(PrintPageImages(printer, pages));
  EXPECT_EQ(PdfPages(pdf), 3);

  QString second = dir.filePath("second.pdf");
  printer.setOutputFileName(second);
  ASSERT_TRUE(PrintPageImages(printer, {pages[2]}));
  EXPECT_EQ(PdfPages(second), 1);
}

TEST(ReportRenderTest, AJobWithAPageImageThatCannotBeReadPrintsNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::string good = *WritePagePng(SamplePage(), dir.filePath("ZOR1").toStdString());
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  QString pdf = dir.filePath("job.pdf");
  printer.setOutputFileName(pdf);
  EXPECT_FALSE(PrintPageImages(printer, {good, good + ".gone"}));
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST(ReportRenderTest, QtPlatformWritesPngPageImagesAndPrintsOnItsPrinter) {
  QtPlatform platform;
  std::optional<std::string> stem = NewPageImageStem();
  ASSERT_TRUE(stem.has_value());
  std::optional<std::string> name = platform.RenderPage(SamplePage(), *stem);
  ASSERT_EQ(name, *stem + ".png");
  EXPECT_EQ(QImage(QString::fromStdString(*name)).size(), QSize(850, 1100));

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QString pdf = dir.filePath("platform.pdf");
  platform.printer()->setOutputFormat(QPrinter::PdfFormat);
  platform.printer()->setOutputFileName(pdf);
  EXPECT_TRUE(platform.PrintPages({*name, *name}));
  EXPECT_EQ(PdfPages(pdf), 2);
  EXPECT_TRUE(RemovePageImage(*name));
}

}  // namespace
}  // namespace vorsandt::ui::qt
