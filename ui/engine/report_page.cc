#include "ui/engine/report_page.h"

#include <cstdio>

namespace vorsandt::ui {
namespace {

void Quoted(std::string& out, const std::string& text) {
  out.push_back('"');
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\t':
        out.append("\\t");
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out.append(buf);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

std::string Colour(uint32_t colour) {
  if (colour == kDefaultColour) return "default";
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", colour);
  return buf;
}

void Place(std::string& out, const PageItem& item) {
  out.append(std::to_string(item.x));
  out.push_back(',');
  out.append(std::to_string(item.y));
  out.push_back(' ');
  out.append(std::to_string(item.w));
  out.push_back('x');
  out.append(std::to_string(item.h));
}

}  // namespace

std::string PageToText(const Page& page) {
  std::string out = "page ";
  out.append(std::to_string(page.number));
  out.push_back(' ');
  out.append(page.report);
  out.push_back(' ');
  out.append(std::to_string(page.width));
  out.push_back('x');
  out.append(std::to_string(page.height));
  out.push_back('\n');
  for (const PageItem& item : page.items) {
    switch (item.type) {
      case PageItem::Type::kText:
        out.append("text ");
        Place(out, item);
        out.push_back(' ');
        Quoted(out, item.text);
        out.append(" font ");
        Quoted(out, item.font.name);
        out.push_back(' ');
        out.append(std::to_string(item.font.size));
        if (item.font.bold) out.append(" bold");
        if (item.font.colour != kDefaultColour) {
          out.append(" colour ");
          out.append(Colour(item.font.colour));
        }
        break;
      case PageItem::Type::kLine:
        out.append("line ");
        Place(out, item);
        if (item.colour != kDefaultColour) {
          out.append(" colour ");
          out.append(Colour(item.colour));
        }
        break;
      case PageItem::Type::kBox:
        out.append("box ");
        Place(out, item);
        out.append(" colour ");
        out.append(Colour(item.colour));
        out.append(" fill ");
        out.append(Colour(item.fill));
        break;
      case PageItem::Type::kImage:
        out.append("image ");
        Place(out, item);
        out.push_back(' ');
        Quoted(out, item.text);
        break;
    }
    out.push_back('\n');
  }
  return out;
}

}  // namespace vorsandt::ui
