// A test program for the picture browse, run by UI test scripts on the
// headless platform over tables made beforehand (run_list_script.sh):
//
//   vorsandt_picture_host --data DIR --script FILE
//
// Before the script runs it writes the pictures the ITEMS rows of
// testdata/ITEMS.csv name into DIR: a JPEG (64 x 48), a BMP (32 x 16) and a
// JPEG cut off half way; MISSING.PCX is left out on purpose. Its first
// procedure opens the frame; the menu items start:
//
//   "Browse INVENTORY IMAGES"   BrowseInventoryImages, as the program does
//   "Browse INVENTORY ITEMS"    BrowseInventoryImages called with request 4,
//                               after which a message tells the response and
//                               the item code in the ITEMS record buffer

#include <cstdio>
#include <fstream>
#include <string>

#include "app/browse/browse_rows.h"
#include "app/dictionary/dictionary.h"
#include "app/frame/main_frame.h"
#include "images/testing/test_pictures.h"
#include "runtime/views/field_values.h"
#include "storage/qvf/driver/qvf_driver.h"
#include "ui/engine/engine.h"
#include "ui/engine/thread_codes.h"
#include "ui/headless/headless_platform.h"
#include "ui/headless/test_host.h"

namespace {

using namespace vorsandt;
namespace pictures = images::testing;

images::Image Solid(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  images::Image image;
  image.width = width;
  image.height = height;
  for (int i = 0; i < width * height; ++i) image.rgba.insert(image.rgba.end(), {r, g, b, 255});
  return image;
}

bool WriteFile(const char* name, const std::vector<uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WritePictures() {
  pictures::BmpSpec bmp;
  bmp.bits = 24;
  bmp.width = 32;
  bmp.height = 16;
  bmp.image = Solid(32, 16, 0, 0, 255);
  std::vector<uint8_t> jpeg = pictures::EncodeJpeg(Solid(64, 48, 255, 0, 0));
  std::vector<uint8_t> cut = jpeg;
  cut.resize(cut.size() / 2);
  return WriteFile("photo.jpg", jpeg) && WriteFile("chair.bmp", pictures::EncodeBmp(bmp)) &&
         WriteFile("broken.jpg", cut);
}

void PickItem() {
  ui::RequestCode() = ui::request::kSelect;
  if (ui::Procedure p = app::Procedures().Find("BrowseInventoryImages")) p();
  files::FileRecord* table = nullptr;
  files::FieldInfo code;
  app::FindTableField("ITE:ITEM_CODE", &table, &code);
  const int item = static_cast<int>(views::FieldNumber(code, files::RecordBuffer(table)));
  ui::Engine::Current()->Message(
      "response " + std::to_string(ui::ResponseCode()) + " item " + std::to_string(item),
      "PickItem");
}

void HostMain() {
  app::InitDictionary(&qvf::QvfEntry);
  ui::Engine& engine = *ui::Engine::Current();
  std::unique_ptr<ui::Window> frame = engine.CreateWindow(app::kFrameWindowId, app::kFrameLabel);
  frame->Open();
  while (frame->Accept()) {
    if (frame->Event() != ui::event::kAccepted) continue;
    if (frame->Field() == -9) engine.Start(app::Procedures().Find("BrowseInventoryImages"), 25000);
    if (frame->Field() == -6) engine.Start(PickItem, 25000);
  }
  frame->Close();
}

}  // namespace

int main(int argc, char** argv) {
  ui::headless::TestHost host{.name = "vorsandt_picture_host", .main = HostMain};
  host.prepare = [] {
    if (WritePictures()) return true;
    std::fprintf(stderr, "cannot write the test pictures\n");
    return false;
  };
  return ui::headless::RunTestHost(argc, argv, host);
}
