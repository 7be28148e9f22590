#include "bench_spheres.h"

#include <cstring>
#include <map>
#include <memory>

#include "geometry.h"

namespace tumelin::bench {

std::string GridName(int32_t grid) { return std::to_string(grid) + "x" + std::to_string(grid); }

std::string MethodNamesJson() {
  // the names hold no quote or backslash: nothing to escape
  std::string json = "[";
  for (const Method& method : kMethods)
    json += (json.size() > 1 ? ",\"" : "\"") + std::string(method.Name()) + "\"";
  return json + "]";
}

TClothSetup DefaultSetup(const Plugin& plugin, int32_t clothMethod) {
  // a missing file keeps every default; the path is absolute because the
  // Windows profile API looks bare names up in the Windows folder
  const std::u16string path = PathForPlugin("tumelin-bench-no-such-settings.ini");
  const char16_t* pathPointer = path.c_str();
  TClothSetup setup{};
  plugin.execZR71(&pathPointer, nullptr, nullptr, nullptr, &setup);
  setup.ClothMethod = clothMethod;
  return setup;
}

Membrane BuildSphere(int32_t grid) {
  MembraneParams params;
  params.shape = Shape::kSphere;
  params.columns = grid;
  params.rows = grid;
  return BuildMembrane(params);
}

WarmSphere::WarmSphere(const Plugin& plugin, int32_t grid) : grid_(grid), membrane_(BuildSphere(grid)) {
  const double startVolume = SignedVolume(membrane_);
  const TClothSetup setup = DefaultSetup(plugin, 0);
  for (int32_t step = 0; step < kWarmupSteps; ++step)
    plugin.execZR72(nullptr, &membrane_.pointsVar, &membrane_.facesVar, &setup);
  volumeGain_ = SignedVolume(membrane_) / startVolume;
  snapshot_.assign(membrane_.points.Data(), membrane_.points.Data() + membrane_.points.Count());
}

void WarmSphere::Restore() {
  // the records keep their Links and Faces pointers: only the state differs
  std::memcpy(static_cast<void*>(membrane_.points.Data()), snapshot_.data(),
              snapshot_.size() * sizeof(TClothPoint));
}

WarmSphere& SharedSphere(const Plugin& plugin, int32_t grid) {
  static std::map<int32_t, std::unique_ptr<WarmSphere>> spheres;
  std::unique_ptr<WarmSphere>& sphere = spheres[grid];
  if (!sphere) sphere = std::make_unique<WarmSphere>(plugin, grid);
  return *sphere;
}

}  // namespace tumelin::bench
