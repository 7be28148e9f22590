// the contact sheet of a sweep: one tile per run, labelled
#include <algorithm>
#include <cstring>

#include "render.h"

namespace tumelin {

namespace {

constexpr int kSheetMargin = 12, kSheetGap = 12;
constexpr uint8_t kInk[3] = {40, 40, 48};
constexpr uint8_t kFailRed[3] = {200, 30, 30};
constexpr uint8_t kNoPicture[3] = {214, 214, 214};

void FillRect(Image* image, int x, int y, int w, int h, const uint8_t rgb[3]) {
  for (int py = std::max(0, y); py < std::min(image->height, y + h); ++py) {
    for (int px = std::max(0, x); px < std::min(image->width, x + w); ++px) {
      std::memcpy(&image->rgb[(static_cast<size_t>(py) * image->width + px) * 3], rgb, 3);
    }
  }
}

// a thick line from (x0, y0) to (x1, y1), dot by dot
void DrawLine(Image* image, int x0, int y0, int x1, int y1, int thickness, const uint8_t rgb[3]) {
  const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
  for (int i = 0; i <= steps; ++i) {
    const int x = x0 + (x1 - x0) * i / std::max(steps, 1), y = y0 + (y1 - y0) * i / std::max(steps, 1);
    FillRect(image, x - thickness / 2, y - thickness / 2, thickness, thickness, rgb);
  }
}

}  // namespace

SheetLayout LayoutSheet(const std::vector<Tile>& tiles, int columns, const std::string& title) {
  SheetLayout l;
  l.columns = std::max(1, columns);
  for (const Tile& t : tiles) {
    l.pictureWidth = std::max(l.pictureWidth, t.picture.width);
    l.pictureHeight = std::max(l.pictureHeight, t.picture.height);
    l.labelLines = std::max(l.labelLines, static_cast<int>(t.label.size()));
  }
  // a sweep where no run left a picture still gets tiles to mark
  if (l.pictureWidth == 0) l.pictureWidth = 160, l.pictureHeight = 120;
  l.labelScale = l.pictureWidth >= 200 ? 2 : 1;
  // labels are never cut: a value cut short would read as another value
  l.placeWidth = l.pictureWidth;
  for (const Tile& t : tiles) {
    for (const std::string& line : t.label)
      l.placeWidth = std::max(l.placeWidth, TextWidth(line, l.labelScale));
  }
  l.titleHeight = 2 * kLineAdvance + kSheetMargin;
  const int captionHeight = l.labelLines * kLineAdvance * l.labelScale + 6;
  l.tileHeight = l.pictureHeight + captionHeight;
  const int rows = (static_cast<int>(tiles.size()) + l.columns - 1) / l.columns;
  const int shownColumns = std::min(l.columns, std::max(1, static_cast<int>(tiles.size())));
  l.width = 2 * kSheetMargin +
            std::max(shownColumns * l.placeWidth + (shownColumns - 1) * kSheetGap, TextWidth(title, 2));
  l.height =
      kSheetMargin + l.titleHeight + rows * l.tileHeight + std::max(0, rows - 1) * kSheetGap + kSheetMargin;
  for (size_t i = 0; i < tiles.size(); ++i) {
    const int column = static_cast<int>(i) % l.columns, row = static_cast<int>(i) / l.columns;
    l.pictureOrigins.push_back({kSheetMargin + column * (l.placeWidth + kSheetGap),
                                kSheetMargin + l.titleHeight + row * (l.tileHeight + kSheetGap)});
  }
  return l;
}

Image ContactSheet(const std::vector<Tile>& tiles, int columns, const std::string& title) {
  const SheetLayout l = LayoutSheet(tiles, columns, title);
  Image sheet;
  sheet.width = l.width;
  sheet.height = l.height;
  sheet.rgb.assign(static_cast<size_t>(l.width) * l.height * 3, 255);
  DrawText(&sheet, kSheetMargin, kSheetMargin, title, 2, kInk);
  for (size_t i = 0; i < tiles.size(); ++i) {
    const Tile& t = tiles[i];
    const auto [placeX, y] = l.pictureOrigins[i];
    const int x = placeX + (l.placeWidth - l.pictureWidth) / 2;
    if (t.picture.width > 0) {
      // smaller pictures sit in the middle of their place
      const int ox = x + (l.pictureWidth - t.picture.width) / 2,
                oy = y + (l.pictureHeight - t.picture.height) / 2;
      for (int py = 0; py < t.picture.height; ++py) {
        std::memcpy(&sheet.rgb[(static_cast<size_t>(oy + py) * l.width + ox) * 3],
                    &t.picture.rgb[static_cast<size_t>(py) * t.picture.width * 3],
                    static_cast<size_t>(t.picture.width) * 3);
      }
    } else {
      FillRect(&sheet, x, y, l.pictureWidth, l.pictureHeight, kNoPicture);
    }
    if (t.failed) {
      const int thick = 2 * l.labelScale;
      FillRect(&sheet, x, y, l.pictureWidth, thick, kFailRed);
      FillRect(&sheet, x, y + l.pictureHeight - thick, l.pictureWidth, thick, kFailRed);
      FillRect(&sheet, x, y, thick, l.pictureHeight, kFailRed);
      FillRect(&sheet, x + l.pictureWidth - thick, y, thick, l.pictureHeight, kFailRed);
      DrawLine(&sheet, x, y, x + l.pictureWidth - 1, y + l.pictureHeight - 1, thick, kFailRed);
      DrawLine(&sheet, x + l.pictureWidth - 1, y, x, y + l.pictureHeight - 1, thick, kFailRed);
    }
    for (size_t line = 0; line < t.label.size(); ++line) {
      // a failed run's last line says why, in red
      const bool why = t.failed && line + 1 == t.label.size();
      DrawText(&sheet, placeX, y + l.pictureHeight + 4 + static_cast<int>(line) * kLineAdvance * l.labelScale,
               t.label[line], l.labelScale, why ? kFailRed : kInk);
    }
  }
  return sheet;
}

}  // namespace tumelin
