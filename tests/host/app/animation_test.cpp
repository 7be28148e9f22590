// The animated GIF of a run.
#include "animation.h"

#include <gif_lib.h>

#include "host_fixtures.h"

namespace tumelin {
namespace {

struct GifSource {
  const std::string* bytes;
  size_t at = 0;
};
int ReadGif(GifFileType* gif, GifByteType* data, int size) {
  auto* source = static_cast<GifSource*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(size), source->bytes->size() - source->at);
  std::memcpy(data, source->bytes->data() + source->at, n);
  source->at += n;
  return static_cast<int>(n);
}

TEST(GifAnimation, HoldsEveryFrameAtItsSizeAndLoops) {
  GifAnimation gif(4);
  std::string error, bytes;
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 17, 9));
  for (double factor : {0.8, 1.0, 1.2}) {
    ASSERT_TRUE(gif.Add(RenderScaled(m, RenderOptions{}, factor, TDbl3D{0, 0, 0}, 48, 36), &error)) << error;
  }
  EXPECT_FALSE(gif.Add(Blank(10, 10, 0), &error));  // another size
  ASSERT_TRUE(gif.Finish(&bytes, &error)) << error;
  EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
  EXPECT_NE(bytes.find("NETSCAPE2.0"), std::string::npos);
  GifSource source{&bytes};
  int code = 0;
  GifFileType* read = DGifOpen(&source, ReadGif, &code);
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(DGifSlurp(read), GIF_OK);
  EXPECT_EQ(read->ImageCount, 3);
  EXPECT_EQ(read->SWidth, 48);
  EXPECT_EQ(read->SHeight, 36);
  GraphicsControlBlock control;
  ASSERT_EQ(DGifSavedExtensionToGCB(read, 2, &control), GIF_OK);
  EXPECT_EQ(control.DelayTime, 4);
  DGifCloseFile(read, &code);
}

}  // namespace
}  // namespace tumelin
