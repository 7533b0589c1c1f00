// JPEG pictures through libjpeg: greyscale, YCbCr/RGB and CMYK/YCCK (Adobe's
// inverted CMYK included), baseline and progressive, decoded at 1/2, 1/4 or
// 1/8 scale when the caller shows the picture that much smaller, and turned
// upright by the EXIF orientation.
//
// Invariants of the error handling: libjpeg reports a fatal error by calling
// our error_exit, which longjmps back to the setjmp in Decompress. Therefore
// Decompress owns no object with a destructor and keeps every value it needs
// after the jump in the JpegJob its caller owns; the job's pixels and the
// decompressor's memory are released by the caller on either path.
// jpeglib.h needs size_t and FILE declared before it, jerror.h jpeglib.h.
#include <cstddef>
#include <cstdio>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "images/decoders.h"
#include "images/limits.h"
#include "images/orientation.h"

namespace vorsandt::images {
namespace {

constexpr ImageFormat kJpeg = ImageFormat::kJpeg;

struct ErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's pointer is ours
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  ImageError error;
};

struct JpegJob {
  ErrorManager err;
  jpeg_decompress_struct cinfo;
  jpeg_progress_mgr progress;
  Bytes bytes;
  DecodeOptions options;
  int orientation = 1;
  std::vector<uint8_t> cmyk_row;
  DecodeResult result;
};

[[noreturn]] void Fail(j_common_ptr cinfo, ImageError error) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  err->error = error;
  std::longjmp(err->jump, 1);
}

// Real JPEG variants that this build of libjpeg does not decode (12-bit
// samples, lossless and other unusual frame types) are "not supported";
// everything else it stops at is damage.
void OnError(j_common_ptr cinfo) {
  const int code = cinfo->err->msg_code;
  const bool variant =
      code == JERR_SOF_UNSUPPORTED || code == JERR_NOT_COMPILED ||
      (code == JERR_BAD_PRECISION && reinterpret_cast<j_decompress_ptr>(cinfo)->data_precision > 8);
  Fail(cinfo, variant ? ImageError::kUnsupported : ImageError::kCorrupt);
}

// Warnings: a file that ends early is refused (libjpeg would show the rest
// grey); other damage it can step over is shown as it comes.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) Fail(cinfo, ImageError::kTruncated);
  if (level < 0) ++cinfo->err->num_warnings;
}

void OnProgress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "more than %d scans", kMaxJpegScans);
    err->error = ImageError::kCorrupt;
    std::longjmp(err->jump, 1);
  }
}

// The largest reduction that still leaves the picture at least as large as
// the box it is shown in (after turning).
int ScaleDenominator(const JpegJob& job) {
  const DecodeOptions& o = job.options;
  if (o.target_width <= 0 || o.target_height <= 0) return 1;
  double w = job.cinfo.image_width, h = job.cinfo.image_height;
  if (SwapsSides(job.orientation)) std::swap(w, h);
  const double fit = std::min(o.target_width / w, o.target_height / h);
  for (int denom : {8, 4, 2})
    if (1.0 / denom >= fit) return denom;
  return 1;
}

void CmykToRgba(const uint8_t* cmyk, int width, bool inverted, uint8_t* rgba) {
  for (int x = 0; x < width; ++x, cmyk += 4, rgba += 4) {
    // Adobe's writers store the inks inverted: 255 is no ink.
    const int c = inverted ? cmyk[0] : 255 - cmyk[0];
    const int m = inverted ? cmyk[1] : 255 - cmyk[1];
    const int y = inverted ? cmyk[2] : 255 - cmyk[2];
    const int k = inverted ? cmyk[3] : 255 - cmyk[3];
    rgba[0] = static_cast<uint8_t>((c * k + 127) / 255);
    rgba[1] = static_cast<uint8_t>((m * k + 127) / 255);
    rgba[2] = static_cast<uint8_t>((y * k + 127) / 255);
    rgba[3] = 255;
  }
}

void ReadOrientation(JpegJob* job) {
  for (jpeg_saved_marker_ptr m = job->cinfo.marker_list; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 1) continue;
    const int found = ExifOrientation({m->data, m->data_length});
    if (found != 1) {
      job->orientation = found;
      return;
    }
  }
}

// False after a libjpeg error (job->err says which). See the invariants at
// the top of the file before adding anything here.
bool Decompress(JpegJob* job) {
  if (setjmp(job->err.jump)) return false;
  j_decompress_ptr cinfo = &job->cinfo;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = static_cast<long>(kMaxDecodedBytes);
  cinfo->progress = &job->progress;
  jpeg_mem_src(cinfo, job->bytes.data(), static_cast<unsigned long>(job->bytes.size()));
  jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(cinfo, TRUE);
  ReadOrientation(job);
  job->result.full_width = static_cast<int>(cinfo->image_width);
  job->result.full_height = static_cast<int>(cinfo->image_height);
  if (SwapsSides(job->orientation)) std::swap(job->result.full_width, job->result.full_height);
  if (cinfo->image_width > kMaxSide || cinfo->image_height > kMaxSide) {
    AllocatePixels(cinfo->image_width, cinfo->image_height, &job->result);
    return true;
  }
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  cinfo->scale_num = 1;
  cinfo->scale_denom = ScaleDenominator(*job);
  jpeg_calc_output_dimensions(cinfo);
  if (!AllocatePixels(cinfo->output_width, cinfo->output_height, &job->result)) return true;
  jpeg_start_decompress(cinfo);
  if (cmyk) job->cmyk_row.resize(size_t{cinfo->output_width} * 4);
  Image& image = job->result.image;
  while (cinfo->output_scanline < cinfo->output_height) {
    uint8_t* out = image.Pixel(0, static_cast<int>(cinfo->output_scanline));
    JSAMPROW row = cmyk ? job->cmyk_row.data() : out;
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) Fail(j_common_ptr(cinfo), ImageError::kTruncated);
    if (cmyk) CmykToRgba(job->cmyk_row.data(), image.width, cinfo->saw_Adobe_marker, out);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

}  // namespace

DecodeResult DecodeJpeg(Bytes bytes, const DecodeOptions& options) {
  JpegJob job;
  std::memset(&job.cinfo, 0, sizeof job.cinfo);
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = OnError;
  job.err.pub.emit_message = OnMessage;
  job.err.error = ImageError::kNone;
  job.progress = {};
  job.progress.progress_monitor = OnProgress;
  job.bytes = bytes;
  job.options = options;
  job.result.format = kJpeg;
  const bool done = Decompress(&job);
  jpeg_destroy_decompress(&job.cinfo);
  if (!done) {
    return Failure(kJpeg, job.err.error, job.err.message);
  }
  if (job.result.ok()) ApplyOrientation(job.orientation, &job.result.image);
  return std::move(job.result);
}

}  // namespace vorsandt::images
