// The look of a membrane picture: the colours it is shaded with, where its
// lights stand and how sharp its highlight is. The rasteriser draws run's
// PNG files with these, and the preview's module hands the same values to
// the page's shader (look()), so a picture and the preview cannot drift
// apart. Colours are linear RGB in 0..1.
#pragma once

#include <tumelin/tumelin.h>

namespace tumelin::look {

// a direction as weights on the camera's unit vectors (towards the eye, to
// the right of the picture, up it), normalised where it is used
struct CameraWeights {
  double toEye, right, up;
};

// the key light: from the upper left, a little in front of the membrane
inline constexpr CameraWeights kKeyLight = {1.0, -0.6, 0.9};
// the fill light: from the lower right, softening the key light's shadows
inline constexpr CameraWeights kFillLight = {0.5, 0.8, -0.2};

// the base colours: warm on outside faces, cool on inside ones
inline constexpr TDbl3D kOutside = {0.86, 0.42, 0.26};
inline constexpr TDbl3D kInside = {0.30, 0.52, 0.78};

// base * (kAmbient + kDiffuse * key + kFill * fill) + white * kHighlight * h^kHighlightPower
inline constexpr double kAmbient = 0.22;
inline constexpr double kDiffuse = 0.68;
inline constexpr double kFill = 0.18;
inline constexpr double kHighlight = 0.30;
// the highlight's falloff: the cosine to the half vector to this power
inline constexpr int kHighlightPower = 48;

// grid lines darken the shaded colour by this factor
inline constexpr double kGridLine = 0.72;

// the background of a picture: kBackgroundTop at the top row, less
// kBackgroundFade times the height fraction towards the bottom
inline constexpr float kBackgroundTop[3] = {0.93f, 0.95f, 0.98f};
inline constexpr float kBackgroundFade[3] = {0.16f, 0.14f, 0.10f};

}  // namespace tumelin::look
