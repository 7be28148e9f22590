// animations as GIF files, through giflib
#include <gif_lib.h>

#include "render.h"

namespace tumelin {

struct GifAnimation::Encoder {
  GifFileType* gif = nullptr;
  std::string bytes;
  int width = 0, height = 0;
  int error = 0;
};

namespace {

int AppendGifBytes(GifFileType* gif, const GifByteType* data, int size) {
  static_cast<GifAnimation::Encoder*>(gif->UserData)
      ->bytes.append(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
  return size;
}

std::string GifError(const char* what, int code) {
  const char* text = GifErrorString(code);
  return std::string("GIF animation: ") + what + ": " + (text != nullptr ? text : "giflib error");
}

}  // namespace

GifAnimation::GifAnimation(int delayCentiseconds) : encoder_(new Encoder), delay_(delayCentiseconds) {}

GifAnimation::~GifAnimation() {
  if (encoder_->gif != nullptr) EGifCloseFile(encoder_->gif, &encoder_->error);
}

bool GifAnimation::Add(const Image& frame, std::string* error) {
  Encoder& e = *encoder_;
  if (e.gif == nullptr) {
    if (frames_ > 0) {
      *error = "GIF animation: already finished";
      return false;
    }
    e.gif = EGifOpen(&e, AppendGifBytes, &e.error);
    if (e.gif == nullptr) {
      *error = GifError("cannot start", e.error);
      return false;
    }
    e.gif->UserData = &e;
    e.width = frame.width, e.height = frame.height;
    EGifSetGifVersion(e.gif, true);
    // no global palette: every frame brings its own
    if (EGifPutScreenDesc(e.gif, e.width, e.height, 8, 0, nullptr) == GIF_ERROR) {
      *error = GifError("screen", e.gif->Error);
      return false;
    }
    // the application extension that makes viewers loop: NETSCAPE2.0, 0 = forever
    const GifByteType loop[3] = {1, 0, 0};
    if (EGifPutExtensionLeader(e.gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(e.gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
        EGifPutExtensionBlock(e.gif, 3, loop) == GIF_ERROR || EGifPutExtensionTrailer(e.gif) == GIF_ERROR) {
      *error = GifError("loop extension", e.gif->Error);
      return false;
    }
  }
  if (frame.width != e.width || frame.height != e.height) {
    *error = "GIF animation: a frame of another size";
    return false;
  }
  const size_t pixels = static_cast<size_t>(e.width) * e.height;
  std::vector<GifByteType> red(pixels), green(pixels), blue(pixels), indices(pixels);
  for (size_t i = 0; i < pixels; ++i) {
    red[i] = frame.rgb[3 * i], green[i] = frame.rgb[3 * i + 1], blue[i] = frame.rgb[3 * i + 2];
  }
  int colors = 256;
  ColorMapObject* palette = GifMakeMapObject(256, nullptr);
  if (palette == nullptr ||
      GifQuantizeBuffer(static_cast<unsigned>(e.width), static_cast<unsigned>(e.height), &colors, red.data(),
                        green.data(), blue.data(), indices.data(), palette->Colors) == GIF_ERROR) {
    GifFreeMapObject(palette);
    *error = "GIF animation: cannot choose the colours of a frame";
    return false;
  }
  GraphicsControlBlock control = {DISPOSE_DO_NOT, false, delay_, NO_TRANSPARENT_COLOR};
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  bool ok = EGifPutExtension(e.gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_ERROR &&
            EGifPutImageDesc(e.gif, 0, 0, e.width, e.height, false, palette) != GIF_ERROR;
  for (int y = 0; ok && y < e.height; ++y) {
    ok = EGifPutLine(e.gif, &indices[static_cast<size_t>(y) * e.width], e.width) != GIF_ERROR;
  }
  GifFreeMapObject(palette);
  if (!ok) {
    *error = GifError("frame", e.gif->Error);
    return false;
  }
  ++frames_;
  return true;
}

bool GifAnimation::Finish(std::string* bytes, std::string* error) {
  Encoder& e = *encoder_;
  if (e.gif == nullptr || frames_ == 0) {
    *error = "GIF animation: no frames";
    return false;
  }
  const int closed = EGifCloseFile(e.gif, &e.error);
  e.gif = nullptr;
  if (closed == GIF_ERROR) {
    *error = GifError("cannot finish", e.error);
    return false;
  }
  *bytes = std::move(e.bytes);
  return true;
}

}  // namespace tumelin
