#include "ui/qt/report_render.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>

#include "report/page_metafile.h"
#include "report/report_images.h"
#include "ui/qt/picture_view.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/window_view.h"

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

// The page written as a page image; removed by the test's end.
struct PageImage {
  explicit PageImage(const Page& page) : path(*WritePageImage(PageToMetafile(page))) {}
  ~PageImage() { RemovePageImage(path); }
  std::string path;
};

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

TEST(ReportRenderTest, APageImageIsDrawnScaledWithItsProportions) {
  PageImage file(SamplePage());
  QImage image = MetafileImage(file.path, 850);  // 100 pixels per inch
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(850, 1100));
  EXPECT_GT(Inked(image, QRect(100, 100, 300, 25)), 100) << "the title";
  EXPECT_EQ(Inked(image, QRect(100, 130, 600, 15)), 0) << "nothing between title and rule";
  EXPECT_GT(Inked(image, QRect(100, 148, 600, 4)), 500) << "the rule";
  EXPECT_EQ(image.pixelColor(400, 250), QColor(Qt::red)) << "the box's fill";
  EXPECT_EQ(Inked(image, QRect(0, 400, 850, 700)), 0) << "the rest of the sheet";

  QImage larger = MetafileImage(file.path, 1700);
  EXPECT_EQ(larger.size(), QSize(1700, 2200));
  EXPECT_EQ(larger.pixelColor(800, 500), QColor(Qt::red));
}

TEST(ReportRenderTest, FilesThatAreNotMetafilesDrawNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QString junk = dir.filePath("ZORjunk.wmf");
  QFile f(junk);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(100, 'x'));
  f.close();
  EXPECT_FALSE(LooksLikeMetafile(junk.toStdString()));
  EXPECT_TRUE(MetafileImage(junk.toStdString(), 100).isNull());
  EXPECT_TRUE(MetafileImage(dir.filePath("gone").toStdString(), 100).isNull());
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
  std::vector<std::unique_ptr<PageImage>> files;
  std::vector<std::string> pages;
  for (int i = 1; i <= 3; ++i) {
    Page page = SamplePage();
    page.number = i;
    files.push_back(std::make_unique<PageImage>(page));
    pages.push_back(files.back()->path);
  }
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  QString pdf = dir.filePath("job.pdf");
  printer.setOutputFileName(pdf);
  ASSERT_TRUE(PrintPageImages(printer, pages));
  EXPECT_EQ(PdfPages(pdf), 3);

  QString second = dir.filePath("second.pdf");
  ASSERT_TRUE(WritePageImagesPdf({pages[2]}, second.toStdString()));
  EXPECT_EQ(PdfPages(second), 1);
}

// The widths of the PDF's pages in points, in order.
std::vector<int> PageWidths(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString pdf = QString::fromLatin1(file.readAll());
  std::vector<int> widths;
  QRegularExpression box(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([0-9.]+)"));
  for (auto it = box.globalMatch(pdf); it.hasNext();) {
    widths.push_back(qRound(it.next().captured(1).toDouble()));
  }
  return widths;
}

// A sheet of A4 labels stays A4 in the program's PDF files, beside a letter
// report page.
TEST(ReportRenderTest, TheProgramsPdfFilesPutEachPageOnItsOwnPaper) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  Page a4 = SamplePage();
  a4.width = 8268;
  a4.height = 11693;
  PageImage a4_image(a4), letter_image(SamplePage());
  const QString pdf = dir.filePath("papers.pdf");
  ASSERT_TRUE(WritePageImagesPdf({a4_image.path, letter_image.path}, pdf.toStdString()));
  EXPECT_EQ(PageWidths(pdf), (std::vector<int>{595, 612}));
}

TEST(ReportRenderTest, AJobWithAPageImageThatCannotBeReadPrintsNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  PageImage good(SamplePage());
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  QString pdf = dir.filePath("job.pdf");
  printer.setOutputFileName(pdf);
  EXPECT_FALSE(PrintPageImages(printer, {good.path, good.path + ".gone"}));
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST(ReportRenderTest, QtPlatformPrintsPageImagesOnItsPrinter) {
  QtPlatform platform;
  PageImage file(SamplePage());
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QString pdf = dir.filePath("platform.pdf");
  platform.printer()->setOutputFormat(QPrinter::PdfFormat);
  platform.printer()->setOutputFileName(pdf);
  PrintResult printed = platform.PrintPages({file.path, file.path});
  EXPECT_TRUE(printed.printed);
  EXPECT_EQ(printed.file, pdf.toStdString()) << "a job printed to a file says where it went";
  EXPECT_EQ(PdfPages(pdf), 2);
}

// The toolkit's warnings while a test runs.
struct Warnings {
  Warnings() {
    Seen().clear();
    previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
      Seen().push_back(m.toStdString());
    });
  }
  ~Warnings() { qInstallMessageHandler(previous); }
  static std::vector<std::string>& Seen() {
    static std::vector<std::string> seen;
    return seen;
  }
  QtMessageHandler previous;
};

// A job on a printer that cannot be opened fails; the printer is then not
// ready, so Print! offers the setup again, and what the setup chooses (a
// PDF file) is what the next job prints on: the failed job left nothing
// behind that refuses a setting ("Cannot be changed while printer is
// active").
TEST(ReportRenderTest, AFailedJobLeavesTheNextJobToWhatTheSetupChooses) {
  QtPlatform platform;
  Warnings warnings;
  PageImage file(SamplePage());
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  if (QPrinterInfo::defaultPrinter().isNull()) {
    // As on a machine without printers: nothing chosen, nothing installed,
    // so Print! would offer the setup; printed anyway, the job fails (and a
    // printer that was printed on would now refuse every setting).
    EXPECT_FALSE(platform.PrinterReady());
  } else {
    platform.printer()->setOutputFormat(QPrinter::PdfFormat);
    platform.printer()->setOutputFileName(dir.filePath("no/such/folder/job.pdf"));
    EXPECT_TRUE(platform.PrinterReady());
  }
  EXPECT_FALSE(platform.PrintPages({file.path}).printed);
  EXPECT_FALSE(platform.PrinterReady()) << "after a failed job the setup comes first";

  const QString pdf = dir.filePath("after.pdf");
  int asked = 0;
  platform.SetPrintDialog([&](QPrinter& printer, QWidget*) {
    ++asked;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageOrientation(QPageLayout::Landscape);
    return true;
  });
  ASSERT_TRUE(platform.PrinterSetup(0));
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(platform.PrinterReady());
  PrintResult printed = platform.PrintPages({file.path, file.path, file.path});
  EXPECT_TRUE(printed.printed);
  EXPECT_EQ(printed.file, pdf.toStdString());
  EXPECT_EQ(PdfPages(pdf), 3);
  for (const std::string& w : Warnings::Seen()) {
    EXPECT_EQ(w.find("Cannot be changed"), std::string::npos) << w;
  }
  // The settings went into the job: the orientation the setup chose.
  QPrinter copy;
  CopyPrinterSettings(*platform.printer(), copy);
  EXPECT_EQ(copy.pageLayout().orientation(), QPageLayout::Landscape);
  EXPECT_EQ(copy.outputFileName(), pdf);
  EXPECT_EQ(copy.outputFormat(), QPrinter::PdfFormat);

  // Cancelling the setup changes nothing.
  platform.SetPrintDialog([](QPrinter& printer, QWidget*) {
    printer.setOutputFileName(QStringLiteral("/elsewhere.pdf"));
    return false;
  });
  EXPECT_FALSE(platform.PrinterSetup(0));
  EXPECT_TRUE(platform.PrinterReady());
}

TEST(ReportRenderTest, ANoticeShowsInTheFramesStatusBar) {
  QtPlatform platform;
  platform.ShowNotice("Written to /tmp/caf\xE9.pdf, 2 pages.");
  QApplication::processEvents();
  EXPECT_EQ(platform.frame()->statusBar()->currentMessage(),
            QString::fromUtf8("Written to /tmp/caf\u00e9.pdf, 2 pages."));
}

// A picture item is part of the page image: played back where its box is,
// and in the PDF file the platform writes.
TEST(ReportRenderTest, APictureOnAPageIsDrawnInItsBoxAndWrittenToPdf) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage green(40, 30, QImage::Format_RGB32);
  green.fill(Qt::green);
  const QString picture = dir.filePath("green.png");
  ASSERT_TRUE(green.save(picture));
  Page page = SamplePage();
  PageItem item;
  item.type = PageItem::Type::kImage;
  item.x = 1000;
  item.y = 4000;
  item.w = item.h = 2000;
  item.text = picture.toStdString();
  page.items = {item};
  PageImage file(page);
  QImage drawn = MetafileImage(file.path, 850);  // 100 pixels an inch
  // 2 x 2 inches at (1, 4); the 4:3 picture fills the width, centred.
  EXPECT_EQ(drawn.pixelColor(200, 500), QColor(Qt::green));
  EXPECT_EQ(drawn.pixelColor(200, 420), QColor(Qt::white));
  EXPECT_EQ(drawn.pixelColor(50, 500), QColor(Qt::white));
  QtPlatform platform;
  const QString pdf = dir.filePath("picture.pdf");
  EXPECT_TRUE(platform.WritePdf({file.path}, pdf.toStdString()));
  EXPECT_EQ(PdfPages(pdf), 1);
}

// The preview shows a page by setting an image control's text to the page
// image: the control plays it, and shows the next one when the text changes.
TEST(ReportRenderTest, AnImageControlShowsThePageImageItsTextNames) {
  Page red_page = SamplePage();
  PageImage first(red_page);
  red_page.items.resize(1);  // the title only
  PageImage second(red_page);
  WindowState state;
  state.id = 9;
  state.caption = "Print Preview";
  state.at = Rect{kNotGiven, kNotGiven, 300, 300};
  ControlState image;
  image.field = 1;
  image.kind = Kind::kImage;
  image.at = {10, 10, 190, 246};
  image.text = first.path;
  state.controls.push_back(image);
  WindowView view(state, [](WindowId, const Input&) {});
  view.show();
  QApplication::processEvents();
  auto* picture = qobject_cast<PictureView*>(view.ControlWidget(1));
  ASSERT_NE(picture, nullptr);
  QImage shown = picture->picture();
  ASSERT_FALSE(shown.isNull());
  EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() * 25 / 110), QColor(Qt::red))
      << "the box's fill, a quarter down the page";

  state.controls[0].text = second.path;
  view.Apply(state);
  QApplication::processEvents();
  shown = picture->picture();
  ASSERT_FALSE(shown.isNull());
  EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() * 25 / 110), QColor(Qt::white))
      << "the second page has no box";
}

}  // namespace
}  // namespace vorsandt::ui::qt
