// Small pictures written by the tests themselves: a JPEG through libjpeg's
// own encoder (any size, colour space and row content), and the smallest
// PCX and TGA files the readers take.
#pragma once

#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>

#include <jpeglib.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pagemoor::test {

struct JpegSpec {
  JpegSpec(int w, int h) : width(w), height(h) {}
  int width;
  int height;
  int components = 3;
  J_COLOR_SPACE colorSpace = JCS_RGB;
  int quality = 95;  // 0 leaves libjpeg's default
  bool progressive = false;
  // Called after the defaults are set, for what a case needs beyond them
  // (another stored colour space, no Adobe marker...).
  std::function<void(jpeg_compress_struct&)> tune;
};

// Encodes rows that fill(y, row) writes: width * components samples each.
inline std::string WriteJpeg(const JpegSpec& spec, const std::function<void(int, JSAMPLE*)>& fill) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&cinfo, &out, &outSize);
  cinfo.image_width = static_cast<JDIMENSION>(spec.width);
  cinfo.image_height = static_cast<JDIMENSION>(spec.height);
  cinfo.input_components = spec.components;
  cinfo.in_color_space = spec.colorSpace;
  jpeg_set_defaults(&cinfo);
  if (spec.tune) spec.tune(cinfo);
  if (spec.quality > 0) jpeg_set_quality(&cinfo, spec.quality, TRUE);
  if (spec.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.components));
  for (int y = 0; y < spec.height; ++y) {
    fill(y, row.data());
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string bytes(reinterpret_cast<const char*>(out), outSize);
  jpeg_destroy_compress(&cinfo);
  std::free(out);
  return bytes;
}

// A w x h JPEG of one colour.
inline std::string SolidJpeg(int w, int h, int r, int g, int b) {
  return WriteJpeg(JpegSpec(w, h), [&](int, JSAMPLE* row) {
    for (int x = 0; x < w; ++x) {
      row[x * 3] = static_cast<JSAMPLE>(r);
      row[x * 3 + 1] = static_cast<JSAMPLE>(g);
      row[x * 3 + 2] = static_cast<JSAMPLE>(b);
    }
  });
}

// A 2 x 2 PCX, 8 bits, one plane, with its 256-colour palette: pixel (1,0)
// takes palette entry 1, red; the others entry 0, black.
inline std::string TinyPcx() {
  std::string pcx(128, '\0');
  pcx[0] = 0x0A;  // maker
  pcx[1] = 5;     // version
  pcx[2] = 1;     // run-length encoded
  pcx[3] = 8;     // bits per pixel
  pcx[8] = 1;     // xmax
  pcx[10] = 1;    // ymax
  pcx[65] = 1;    // planes
  pcx[66] = 2;    // bytes per line
  pcx += std::string("\x00\x01\x01\x00", 4);
  pcx += '\x0C';
  std::string palette(768, '\0');
  palette[3] = static_cast<char>(0xFF);  // entry 1: red
  return pcx + palette;
}

// A 2 x 1 uncompressed true-colour TGA, stored bottom-up: blue, green (BGR);
// with the version 2 footer when asked.
inline std::string TinyTga(bool footer = false) {
  std::string tga(18, '\0');
  tga[2] = 2;    // true colour
  tga[12] = 2;   // width
  tga[14] = 1;   // height
  tga[16] = 24;  // bits per pixel
  tga += std::string("\xFF\x00\x00\x00\xFF\x00", 6);
  if (footer) tga += std::string(8, '\0') + std::string("TRUEVISION-XFILE.\0", 18);
  return tga;
}

}  // namespace pagemoor::test
