#include "app/documents/pdf_pages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <string>

#include "runtime/env/fault_env.h"

namespace vorsandt::app {
namespace {

namespace fs = std::filesystem;

class PdfPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pdf_pages_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A PDF of `pages` empty pages, each `width` points wide so that the
  // pages can be told apart afterwards.
  std::string MakePdf(const std::string& name, int pages, int width) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper helper(pdf);
    for (int i = 0; i < pages; ++i) {
      QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
          "<< /Type /Page /MediaBox [0 0 " + std::to_string(width) + " 792] >>"));
      helper.addPage(QPDFPageObjectHelper(page), false);
    }
    const std::string path = dir_ + "/" + name;
    QPDFWriter writer(pdf, path.c_str());
    writer.write();
    return path;
  }
  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // The widths of the pages of `path`, in order.
  static std::vector<int> Widths(const std::string& path) {
    QPDF pdf;
    pdf.processFile(path.c_str());
    std::vector<int> widths;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages())
      widths.push_back(page.getMediaBox().getArrayItem(2).getIntValueAsInt());
    return widths;
  }
  bool LeftoverBeside() const {
    for (const fs::directory_entry& e : fs::directory_iterator(dir_)) {
      if (e.path().filename().string().find(".appending") != std::string::npos) return true;
    }
    return false;
  }

  std::string dir_, error_;
};

TEST_F(PdfPagesTest, AppendsEveryPageOfEachDocumentInOrder) {
  const std::string pack = MakePdf("pack.pdf", 2, 600);
  const std::string receipt = MakePdf("receipt.pdf", 3, 500);
  const std::string valuation = MakePdf("valuation.pdf", 1, 400);
  EXPECT_EQ(PdfPageCount(receipt, &error_), 3);
  ASSERT_TRUE(AppendPdfPages(env::Env::Default(), pack, {receipt, valuation}, &error_)) << error_;
  EXPECT_EQ(Widths(pack), (std::vector<int>{600, 600, 500, 500, 500, 400}));
  EXPECT_EQ(PdfPageCount(pack, &error_), 6);
  // The documents themselves are only read.
  EXPECT_EQ(Widths(receipt), (std::vector<int>{500, 500, 500}));
  EXPECT_FALSE(LeftoverBeside());
}

TEST_F(PdfPagesTest, ADocumentThatIsNoPdfLeavesThePackAsItWas) {
  const std::string pack = MakePdf("pack.pdf", 2, 600);
  const std::string receipt = MakePdf("receipt.pdf", 1, 500);
  const std::string torn = dir_ + "/torn.pdf";
  std::ofstream(torn) << "%PDF-1.4 torn off\n";
  const std::string before = Bytes(pack);
  EXPECT_EQ(PdfPageCount(torn, &error_), -1);
  EXPECT_NE(error_.find("damaged"), std::string::npos) << error_;
  EXPECT_FALSE(AppendPdfPages(env::Env::Default(), pack, {receipt, torn}, &error_));
  EXPECT_EQ(error_.find(torn + ": it is damaged"), 0u) << error_;
  EXPECT_EQ(Bytes(pack), before);
  EXPECT_FALSE(AppendPdfPages(env::Env::Default(), pack, {dir_ + "/gone.pdf"}, &error_));
  EXPECT_NE(error_.find("gone.pdf"), std::string::npos) << error_;
  EXPECT_EQ(Bytes(pack), before);
  EXPECT_FALSE(LeftoverBeside());
}

TEST_F(PdfPagesTest, AFullDiskLeavesNeitherAPartNorAChange) {
  // qpdf reads the real files; the longer pack is written through `env`,
  // whose disk fills up part-way through it.
  const std::string pack = MakePdf("pack.pdf", 1, 600);
  const std::string receipt = MakePdf("receipt.pdf", 1, 500);
  env::FaultEnv env;
  env.SetContents(pack, Bytes(pack));
  env.FailWriteAt(1, ENOSPC, 100);
  EXPECT_FALSE(AppendPdfPages(&env, pack, {receipt}, &error_));
  EXPECT_EQ(error_, "cannot write " + pack + ": No space left on device");
  EXPECT_EQ(env.Contents(pack), Bytes(pack));
  EXPECT_FALSE(env.Exists(pack + ".appending-1"));
  env.ClearFaults();
  ASSERT_TRUE(AppendPdfPages(&env, pack, {receipt}, &error_)) << error_;
  EXPECT_NE(env.Contents(pack), Bytes(pack));
  EXPECT_FALSE(env.Exists(pack + ".appending-1"));
}

}  // namespace
}  // namespace vorsandt::app
