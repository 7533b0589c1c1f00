#include "images/metafile_listing.h"

#include <cstdio>

namespace vorsandt::images {
namespace {

std::string Point(MetaPoint p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

std::string Hex(uint32_t colour) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", colour);
  return buf;
}

std::string Pen(const MetaPen& pen) {
  return " pen " + std::to_string(pen.style) + " " + std::to_string(pen.width) + " " +
         Hex(pen.colour);
}

std::string Brush(const MetaBrush& brush) {
  return " brush " + std::to_string(brush.style) + " " + Hex(brush.colour);
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out.append(buf);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace

void MetafileListing::SetWindow(MetaPoint origin, MetaPoint extent) {
  text_ += "window " + Point(origin) + " " + std::to_string(extent.x) + "x" +
           std::to_string(extent.y) + "\n";
}

void MetafileListing::Line(MetaPoint from, MetaPoint to, const MetaPen& pen) {
  text_ += "line " + Point(from) + " " + Point(to) + Pen(pen) + "\n";
}

void MetafileListing::Rectangle(MetaPoint top_left, MetaPoint bottom_right, const MetaPen& pen,
                                const MetaBrush& brush) {
  text_ +=
      "rectangle " + Point(top_left) + " " + Point(bottom_right) + Pen(pen) + Brush(brush) + "\n";
}

void MetafileListing::Ellipse(MetaPoint top_left, MetaPoint bottom_right, const MetaPen& pen,
                              const MetaBrush& brush) {
  text_ +=
      "ellipse " + Point(top_left) + " " + Point(bottom_right) + Pen(pen) + Brush(brush) + "\n";
}

void MetafileListing::Polygon(const std::vector<MetaPoint>& points, const MetaPen& pen,
                              const MetaBrush& brush, bool closed) {
  text_ += closed ? "polygon " : "polyline ";
  text_ += std::to_string(points.size());
  for (const MetaPoint& p : points) {
    text_.push_back(' ');
    text_ += Point(p);
  }
  text_ += Pen(pen);
  if (closed) text_ += Brush(brush);
  text_ += "\n";
}

void MetafileListing::Text(MetaPoint at, std::string_view text, const MetaFont& font,
                           uint32_t colour, uint16_t align) {
  text_ += "text " + Point(at) + " " + Quoted(text) + " font " + Quoted(font.face) + " " +
           std::to_string(font.height) + " " + std::to_string(font.weight) +
           (font.italic ? " italic" : "") + " colour " + Hex(colour) +
           (align != 0 ? " align " + std::to_string(align) : "") + "\n";
  texts_.emplace_back(text);
}

void MetafileListing::Bitmap(MetaPoint top_left, MetaPoint bottom_right, const MetaBitmap& bitmap) {
  text_ += "bitmap " + Point(top_left) + " " + Point(bottom_right) + " " +
           std::to_string(bitmap.width) + "x" + std::to_string(bitmap.height) + "\n";
}

std::string ListMetafile(const std::vector<uint8_t>& bytes) {
  MetafileListing listing;
  PlayResult result = PlayMetafile(bytes, listing);
  std::string out = listing.text();
  if (!result.ok) out += "error: " + result.error + "\n";
  return out;
}

}  // namespace vorsandt::images
