#include "pictures/JpegDecoder.h"

#include <algorithm>
#include <csetjmp>
// jpeglib.h uses FILE and size_t without including their headers.
#include <cstddef>
#include <cstdio>
#include <new>

#include <jpeglib.h>

namespace pagemoor {

namespace {

// No encoder writes more than a few dozen scans; a damaged or hostile file
// with thousands makes libjpeg go over the whole picture for each of them.
constexpr int kMaxScans = 500;

// A progressive file keeps every coefficient of the picture in memory while
// it is read; beyond this libjpeg stops with an error instead of asking for more.
constexpr long kMaxDecoderMemory = 1024L * 1024 * 1024;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// libjpeg's default ends the program; a broken file must only fail its decode.
[[noreturn]] void onError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (corrupt data, premature end) are counted by libjpeg and nothing
// more: the picture is still what the reader wants.
void onEmitMessage(j_common_ptr, int) {}
void onOutputMessage(j_common_ptr) {}

void onProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
    onError(cinfo);
}

struct Decoder {
  jpeg_decompress_struct cinfo{};
  ErrorManager error{};
  jpeg_progress_mgr progress{};
  RgbaImage image;
};

std::uint8_t mul255(unsigned a, unsigned b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

// libjpeg gives C, M, Y, K as stored. Photoshop stores them inverted (255 =
// no ink), with or without its marker, and so every reader takes them: a
// four-component file with only a JFIF marker is inverted just the same.
void cmykToRgba(std::uint8_t* row, int width) {
  for (int x = 0; x < width; ++x, row += 4) {
    const unsigned k = row[3];
    row[0] = mul255(row[0], k);
    row[1] = mul255(row[1], k);
    row[2] = mul255(row[2], k);
    row[3] = 255;
  }
}

// The length libjpeg should see. When a file ends inside a marker segment
// (a table between the scans of a progressive file, say), libjpeg would read
// its stand-in end marker as part of the table and give up on the whole
// picture; ending the input before that segment keeps the scans read so far.
// An end inside a scan's data needs nothing: libjpeg fills in the rest.
std::size_t usableLength(std::string_view b) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
  const std::size_t size = b.size();
  if (size < 2 || at(0) != 0xFF || at(1) != 0xD8) return size;
  std::size_t pos = 2;
  while (pos < size) {
    if (at(pos) != 0xFF) {
      ++pos;  // stray bytes between segments: libjpeg skips them with a warning
      continue;
    }
    const std::size_t start = pos;
    while (pos + 1 < size && at(pos + 1) == 0xFF) ++pos;  // fill bytes
    if (pos + 1 >= size) return start;
    const unsigned marker = at(pos + 1);
    if (marker == 0xD9) return size;
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;  // no length follows
      continue;
    }
    if (pos + 4 > size) return start;
    const std::size_t length = (static_cast<std::size_t>(at(pos + 2)) << 8) | at(pos + 3);
    if (pos + 2 + length > size) return start;
    pos += 2 + length;
    if (marker == 0xDA) {
      // The scan's data runs to the next marker other than a stuffed 0xFF
      // or a restart marker.
      while (pos + 1 < size &&
             !(at(pos) == 0xFF && at(pos + 1) != 0x00 && (at(pos + 1) < 0xD0 || at(pos + 1) > 0xD7)))
        ++pos;
      if (pos + 1 >= size) return size;
    }
  }
  return size;
}

// Everything libjpeg may jump out of happens here, with no local that needs
// a destructor: the decoder's state lives in `d`, which outlives the jump.
bool decode(Decoder* d, const unsigned char* data, unsigned long size, std::int64_t maxPixels) {
  j_decompress_ptr cinfo = &d->cinfo;
  if (setjmp(d->error.jump)) return false;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
  cinfo->progress = &d->progress;
  jpeg_mem_src(cinfo, data, size);
  jpeg_read_header(cinfo, TRUE);

  if (static_cast<std::int64_t>(cinfo->image_width) * cinfo->image_height > maxPixels) return false;
  // The header ends where the first scan's data starts; with none of it
  // there is no picture to show, only libjpeg's grey fill.
  if (cinfo->src->bytes_in_buffer == 0) return false;

  bool cmyk = false;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo->out_color_space = JCS_EXT_RGBA;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      cmyk = true;
      break;
    default:
      return false;
  }

  jpeg_start_decompress(cinfo);
  if (cinfo->output_components != 4) return false;
  try {
    d->image = RgbaImage(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height));
  } catch (const std::bad_alloc&) {
    return false;
  }
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = d->image.pixel(0, static_cast<int>(cinfo->output_scanline));
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    if (cmyk) cmykToRgba(row, d->image.width);
  }
  // Whatever follows the last row (a damaged trailer, garbage) does not
  // change the picture, so the rest of the file is not read.
  return true;
}

}  // namespace

std::optional<RgbaImage> DecodeJpeg(std::string_view bytes) {
  return DecodeJpeg(bytes, kMaxPicturePixels);
}

std::optional<RgbaImage> DecodeJpeg(std::string_view bytes, std::int64_t maxPixels) {
  bytes = bytes.substr(0, usableLength(bytes));
  if (bytes.empty()) return std::nullopt;
  Decoder d;
  d.cinfo.err = jpeg_std_error(&d.error.pub);
  d.error.pub.error_exit = onError;
  d.error.pub.emit_message = onEmitMessage;
  d.error.pub.output_message = onOutputMessage;
  d.progress.progress_monitor = onProgress;
  const bool ok = decode(&d, reinterpret_cast<const unsigned char*>(bytes.data()),
                         static_cast<unsigned long>(bytes.size()), std::min(maxPixels, kMaxPicturePixels));
  jpeg_destroy_decompress(&d.cinfo);
  if (!ok) return std::nullopt;
  return std::move(d.image);
}

}  // namespace pagemoor
