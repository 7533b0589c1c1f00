#include "ui/headless/picture_summary.h"

#include "images/decode.h"
#include "runtime/env/env.h"

namespace vorsandt::ui::headless {

std::string PictureFileOf(const ControlState& control) {
  std::string file = control.text.empty() ? control.image : control.text;
  const size_t end = file.find_last_not_of(' ');
  file.erase(end == std::string::npos ? 0 : end + 1);
  return file;
}

std::string PictureSummary(const ControlState& control) {
  const std::string file = PictureFileOf(control);
  if (file.empty()) return "none";
  images::DecodeResult result = images::DecodeImageFile(*env::Env::Default(), file);
  if (!result.ok()) return std::string(images::ErrorText(result.error));
  return std::to_string(result.full_width) + "x" + std::to_string(result.full_height) + " " +
         std::string(images::FormatName(result.format));
}

}  // namespace vorsandt::ui::headless
