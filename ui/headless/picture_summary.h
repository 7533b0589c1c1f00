// What an image control shows, as a line of text for scripts and dumps: the
// picture's own size and format ("640x480 JPEG"), the reason it cannot be
// shown ("The picture file does not exist."), or "none" when it names no
// file. The headless platform decodes the file just as the desktop's image
// control does, through images/, so a script checks the same outcome a user
// would see.
#ifndef VORSANDT_UI_HEADLESS_PICTURE_SUMMARY_H_
#define VORSANDT_UI_HEADLESS_PICTURE_SUMMARY_H_

#include <string>

#include "ui/engine/platform.h"

namespace vorsandt::ui::headless {

// The file an image control shows: the text a procedure set, else the
// definition's file, without the blanks a fixed-length field pads it with.
std::string PictureFileOf(const ControlState& control);

std::string PictureSummary(const ControlState& control);

}  // namespace vorsandt::ui::headless

#endif  // VORSANDT_UI_HEADLESS_PICTURE_SUMMARY_H_
