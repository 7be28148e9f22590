// The C interface over the host kit and model (include/tumelin/kit.h): each
// function turns its arguments into the kit's types, calls what tumelin-host
// calls, and turns exceptions and failures into a status and a message.
#include <tumelin/kit.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bits.h"
#include "formats.h"
#include "ini_file.h"
#include "membrane.h"
#include "mesh_check.h"
#include "plugin_loader.h"
#include "process_id.h"
#include "scenario.h"
#include "setup_report.h"
#include "setup_rules.h"
#include "simulation.h"
#include "temporary_folder.h"
#include "warnings.h"

struct TumelinKitPlugin {
  tumelin::Plugin plugin;
  std::string name;
};

struct TumelinKitSettings {
  TClothSetup record{};
  std::vector<tumelin::SettingLine> lines;
  std::vector<std::string> warnings;
  std::string warningText, iniText;
};

struct TumelinKitMembrane {
  tumelin::Membrane m;
  std::string hash, problems;
};

struct TumelinKitSimulation {
  TumelinKitMembrane state;
  std::unique_ptr<tumelin::Simulation> sim;
  int64_t steps = 0;
  std::string cause;     // named should the run diverge
  std::string diverged;  // the message, once it has
  std::string warnings;
  // Pos and Vel after step `savedAt` (-1: none), where a call of several
  // steps starts, and the buffer the check at its end fills for the next
  std::vector<TDbl3D> saved, next;
  int64_t savedAt = -1;
};

namespace tumelin {
namespace {

thread_local std::string lastError;

bool Finite(const TDbl3D& v) { return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z); }

TumelinKitStatus Fail(TumelinKitStatus status, const std::string& message) {
  lastError = message;
  return status;
}

// runs `body`, turning what it throws into a status
template <typename Body>
TumelinKitStatus Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(TUMELIN_KIT_FAILED, "out of memory");
  } catch (const std::exception& e) {
    return Fail(TUMELIN_KIT_FAILED, e.what());
  }
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

template <typename T>
std::vector<T> Elements(const HostArray<T>& array) {
  return std::vector<T>(array.Data(), array.Data() + array.Count());
}

// a deep copy: the copy's points list their own springs and faces
Membrane Copy(const Membrane& from) {
  Membrane m;
  m.shape = from.shape;
  m.mode = from.mode;
  m.columns = from.columns;
  m.rows = from.rows;
  m.points = HostArray<TClothPoint>(Elements(from.points));
  m.faces = HostArray<TClothFace>(Elements(from.faces));
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    m.links.emplace_back(Elements(from.links[static_cast<size_t>(i)]));
    m.faceLists.emplace_back(Elements(from.faceLists[static_cast<size_t>(i)]));
    TClothPoint& p = m.points[i];
    const int32_t linkCount = p.LinkCount;
    TumelinPointAttach(&p, m.links.back().Data(), m.faceLists.back().Data());
    p.LinkCount = linkCount;
  }
  m.pointsVar = m.points.Data();
  m.facesVar = m.faces.Data();
  return m;
}

// false only where Simulation::Divergence finds nothing: every coordinate
// finite and every speed clearly below `limit`. One pass without a square
// root or a branch per point, so that the check costs little beside a step;
// where it says true, Divergence gives the verdict. With `saved`, the same
// pass keeps Pos and Vel of every point there.
bool MayHaveDiverged(const Membrane& m, double limit, std::vector<TDbl3D>* saved) {
  const double bound = limit * limit * (1.0 - 1e-9);  // far wider than the rounding of either side
  if (saved != nullptr) saved->resize(2 * static_cast<size_t>(m.points.Count()));
  bool suspect = false;
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    const TClothPoint& p = m.points[i];
    const double squared = p.Vel.X * p.Vel.X + p.Vel.Y * p.Vel.Y + p.Vel.Z * p.Vel.Z;
    // a sum that is not finite: a coordinate that is not, or one so large that it overflows
    const double sum = p.Pos.X + p.Pos.Y + p.Pos.Z;
    suspect |= !(squared <= bound) | !(std::fabs(sum) <= DBL_MAX);
    if (saved != nullptr) {
      (*saved)[2 * static_cast<size_t>(i)] = p.Pos;
      (*saved)[2 * static_cast<size_t>(i) + 1] = p.Vel;
    }
  }
  return suspect;
}

// Pos and Vel of every point back from what MayHaveDiverged saved
void RestoreState(const std::vector<TDbl3D>& saved, Membrane* m) {
  for (int32_t i = 0; i < m->points.Count(); ++i) {
    m->points[i].Pos = saved[2 * static_cast<size_t>(i)];
    m->points[i].Vel = saved[2 * static_cast<size_t>(i) + 1];
  }
}

TumelinKitStatus Made(Membrane membrane, TumelinKitMembrane** out) {
  *out = new TumelinKitMembrane{std::move(membrane), {}, {}};
  return TUMELIN_KIT_OK;
}

TumelinKitStatus FromScenario(const std::string& iniPath, const ScenarioChoices& given,
                              TumelinKitMembrane** out) {
  Scenario s;
  std::string error;
  if (!ResolveScenario(iniPath, given, &s, &error)) {
    const bool missing = !iniPath.empty() && !std::filesystem::exists(std::filesystem::u8path(iniPath));
    return Fail(missing ? TUMELIN_KIT_NOT_FOUND : TUMELIN_KIT_MESH_ERROR, error);
  }
  return Made(BuildScenarioMembrane(s), out);
}

bool EndsWithObj(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return std::tolower(c); });
  return end == ".obj";
}

// section [Setup] of the record, as a scene file writes it
std::string SetupIniText(const TClothSetup& stored) {
  std::vector<SetupText> setup;
  for (const SetupKey& key : kSetupKeys) {
    setup.push_back({Utf16ToUtf8(key.name), key.rule == NumberRule::kFloat
                                                ? FormatDoubleWithoutSeparator(stored.*key.real)
                                                : std::to_string(stored.*key.integer)});
  }
  return IniText({}, {{"Setup", setup}});
}

TumelinKitStatus LoadSettingsInto(const Plugin& plugin, const std::string& iniPath,
                                  const std::vector<SetupText>& given, TumelinKitSettings* out) {
  std::string error;
  if (!iniPath.empty()) {
    IniFile file;
    if (!file.Open(iniPath, &error)) return Fail(TUMELIN_KIT_NOT_FOUND, error);
    out->warnings = IniFileWarnings(file);
  }
  SetupFile setup;
  if (!setup.Prepare(iniPath, given, &error)) return Fail(TUMELIN_KIT_FAILED, error);
  // with neither a file nor a value the plug-in reads an empty section, so
  // that every key's row says it kept its default
  std::unique_ptr<TemporaryFolder> scratch;
  std::string path = setup.Path();
  if (path.empty()) {
    scratch = std::make_unique<TemporaryFolder>(std::filesystem::temp_directory_path() /
                                                ("tumelin-kit-" + std::to_string(OwnProcessId())));
    path = (scratch->path / "settings.ini").u8string();
    if (!WriteSetupIni(path, {}, &error)) return Fail(TUMELIN_KIT_FAILED, error);
  }
  IniFile ini;
  if (!ini.Open(path, &error)) return Fail(TUMELIN_KIT_FAILED, error);
  out->record = LoadSettings(plugin, PathForPlugin(ini.Path()));
  out->lines = ExplainSetup(ini, out->record, ReadUserDecimalSeparator());
  for (const std::string& line : UntakenSettings(out->lines)) out->warnings.push_back(line);
  out->warningText = Lines(out->warnings);
  out->iniText = SetupIniText(out->record);
  return TUMELIN_KIT_OK;
}

// why the state after the steps taken has diverged, as tumelin-host says it; empty when it has not
std::string Problem(const TumelinKitSimulation& s) {
  return MayHaveDiverged(s.state.m, s.sim->SpeedLimit(s.steps), nullptr) ? s.sim->Divergence(s.steps)
                                                                         : std::string();
}

TumelinKitStatus Diverge(TumelinKitSimulation* s, const std::string& problem, int64_t taken, int64_t* done) {
  s->diverged = DivergenceMessage(problem, s->steps, s->cause);
  if (done != nullptr) *done = taken;
  return Fail(TUMELIN_KIT_DIVERGED, s->diverged);
}

}  // namespace
}  // namespace tumelin

using namespace tumelin;

extern "C" {

const char* TumelinKitLastError(void) { return lastError.c_str(); }

int32_t TumelinKitFormatReal(double value, char* text, int32_t size) {
  const std::string digits = FormatDoubleWithoutSeparator(value);
  if (text != nullptr && size > 0) {
    const size_t n = std::min(digits.size(), static_cast<size_t>(size - 1));
    std::memcpy(text, digits.data(), n);
    text[n] = '\0';
  }
  return static_cast<int32_t>(digits.size());
}

// ---- the plug-in ------------------------------------------------------------

TumelinKitStatus TumelinKitPluginLoad(const char* path, TumelinKitPlugin** plugin) {
  if (plugin == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no place for the plug-in");
  *plugin = nullptr;
  if (path == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no plug-in path");
  return Guarded([&] {
    auto loaded = std::make_unique<TumelinKitPlugin>();
    std::string error;
    if (!loaded->plugin.Load(path, &error)) return Fail(TUMELIN_KIT_NOT_FOUND, error);
    loaded->name = Utf16ToUtf8(loaded->plugin.nameZR7());
    *plugin = loaded.release();
    return TUMELIN_KIT_OK;
  });
}

void TumelinKitPluginFree(TumelinKitPlugin* plugin) { delete plugin; }

const char* TumelinKitPluginName(TumelinKitPlugin* plugin) { return plugin ? plugin->name.c_str() : ""; }

// ---- settings ---------------------------------------------------------------

TumelinKitStatus TumelinKitSettingsLoad(TumelinKitPlugin* plugin, const char* iniPath,
                                        const char* const* keys, const char* const* values, int32_t count,
                                        TumelinKitSettings** settings) {
  if (settings == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no place for the settings");
  *settings = nullptr;
  if (plugin == nullptr || count < 0 || (count > 0 && (keys == nullptr || values == nullptr))) {
    return Fail(TUMELIN_KIT_BAD_ARGUMENT, "settings need a plug-in and as many keys as values");
  }
  return Guarded([&] {
    std::vector<SetupText> given;
    for (int32_t i = 0; i < count; ++i) {
      SetupText text;
      std::string error;
      if (!ParseSetupAssignment(std::string(keys[i]) + "=" + values[i], &text, &error)) {
        return Fail(TUMELIN_KIT_BAD_ARGUMENT, error);
      }
      given.push_back(text);
    }
    auto made = std::make_unique<TumelinKitSettings>();
    const TumelinKitStatus status =
        LoadSettingsInto(plugin->plugin, iniPath ? iniPath : "", given, made.get());
    if (status == TUMELIN_KIT_OK) *settings = made.release();
    return status;
  });
}

void TumelinKitSettingsFree(TumelinKitSettings* settings) { delete settings; }

const TClothSetup* TumelinKitSettingsRecord(TumelinKitSettings* settings) {
  return settings ? &settings->record : nullptr;
}

int32_t TumelinKitSettingsVerdictCount(TumelinKitSettings* settings) {
  return settings ? static_cast<int32_t>(settings->lines.size()) : 0;
}

TumelinKitStatus TumelinKitSettingsVerdict(TumelinKitSettings* settings, int32_t index,
                                           TumelinKitVerdict* verdict) {
  if (settings == nullptr || verdict == nullptr || index < 0 ||
      index >= static_cast<int32_t>(settings->lines.size())) {
    return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no such settings row");
  }
  const SettingLine& line = settings->lines[static_cast<size_t>(index)];
  *verdict = {line.key.c_str(),  line.present ? 1 : 0, line.accepted ? 1 : 0,
              line.text.c_str(), line.stored.c_str(),  line.note.c_str()};
  return TUMELIN_KIT_OK;
}

const char* TumelinKitSettingsWarnings(TumelinKitSettings* settings) {
  return settings ? settings->warningText.c_str() : "";
}

const char* TumelinKitSettingsIniText(TumelinKitSettings* settings) {
  return settings ? settings->iniText.c_str() : "";
}

// ---- membranes --------------------------------------------------------------

TumelinKitStatus TumelinKitMembraneFromMesh(const double* positions, int32_t pointCount,
                                            const int32_t* triangles, int32_t triangleCount,
                                            TumelinKitWinding winding, TumelinKitMembrane** membrane) {
  if (membrane == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no place for the membrane");
  *membrane = nullptr;
  if (pointCount < 0 || triangleCount < 0 || (pointCount > 0 && positions == nullptr) ||
      (triangleCount > 0 && triangles == nullptr) || winding < TUMELIN_KIT_CLOCKWISE ||
      winding > TUMELIN_KIT_AUTO) {
    return Fail(TUMELIN_KIT_BAD_ARGUMENT, "a mesh needs its points, its triangles and cw, ccw or auto");
  }
  return Guarded([&] {
    Mesh mesh;
    for (int32_t i = 0; i < pointCount; ++i) {
      const double* p = positions + 3 * static_cast<size_t>(i);
      mesh.positions.push_back({p[0], p[1], p[2]});
      if (!Finite(mesh.positions.back())) {
        return Fail(TUMELIN_KIT_MESH_ERROR, "point " + std::to_string(i) + " is not finite");
      }
    }
    for (int32_t t = 0; t < triangleCount; ++t) {
      const int32_t* c = triangles + 3 * static_cast<size_t>(t);
      for (int k = 0; k < 3; ++k) {
        if (c[k] < 0 || c[k] >= pointCount) {
          return Fail(TUMELIN_KIT_MESH_ERROR, "triangle " + std::to_string(t) + " names point " +
                                                  std::to_string(c[k]) + ", which the mesh does not have");
        }
      }
      if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) {
        return Fail(TUMELIN_KIT_MESH_ERROR, "triangle " + std::to_string(t) + " names a point twice");
      }
      mesh.triangles.push_back({c[0], c[1], c[2]});
    }
    if (mesh.triangles.empty()) return Fail(TUMELIN_KIT_MESH_ERROR, "the mesh has no triangle");
    MembraneParams params;
    params.flip = winding == TUMELIN_KIT_COUNTERCLOCKWISE;
    Membrane m = BuildMembrane(params, mesh);
    // a positive enclosed volume with the faces' own winding: counter-clockwise
    if (winding == TUMELIN_KIT_AUTO && CheckMembrane(m).signedVolume > 0.0) {
      params.flip = true;
      m = BuildMembrane(params, mesh);
    }
    return Made(std::move(m), membrane);
  });
}

TumelinKitStatus TumelinKitMembraneFromOptions(const char* const* keys, const char* const* values,
                                               int32_t count, TumelinKitMembrane** membrane) {
  if (membrane == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no place for the membrane");
  *membrane = nullptr;
  if (count < 0 || (count > 0 && (keys == nullptr || values == nullptr))) {
    return Fail(TUMELIN_KIT_BAD_ARGUMENT, "options need as many keys as values");
  }
  return Guarded([&] {
    ScenarioChoices given;
    for (int32_t i = 0; i < count; ++i) {
      if (FindMembraneOption(keys[i]) == nullptr) {
        return Fail(TUMELIN_KIT_BAD_ARGUMENT, std::string("no membrane option is called ") + keys[i]);
      }
      given[keys[i]] = values[i];
    }
    return FromScenario("", given, membrane);
  });
}

TumelinKitStatus TumelinKitMembraneFromFile(const char* path, int32_t flip, TumelinKitMembrane** membrane) {
  if (membrane == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no place for the membrane");
  *membrane = nullptr;
  if (path == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no file named");
  return Guarded([&] {
    ScenarioChoices given;
    if (flip != 0) given["flip"] = "yes";
    if (!EndsWithObj(path)) return FromScenario(path, given, membrane);
    if (!std::filesystem::exists(std::filesystem::u8path(path))) {
      return Fail(TUMELIN_KIT_NOT_FOUND, std::string(path) + ": no such file");
    }
    given["mesh"] = path;
    return FromScenario("", given, membrane);
  });
}

void TumelinKitMembraneFree(TumelinKitMembrane* membrane) { delete membrane; }

int32_t TumelinKitMembranePointCount(TumelinKitMembrane* membrane) {
  return membrane ? membrane->m.points.Count() : 0;
}

int32_t TumelinKitMembraneFaceCount(TumelinKitMembrane* membrane) {
  return membrane ? membrane->m.faces.Count() : 0;
}

TClothPoint* TumelinKitMembranePoints(TumelinKitMembrane* membrane) {
  return membrane ? membrane->m.points.Data() : nullptr;
}

void TumelinKitMembraneRecords(TumelinKitMembrane* membrane, TClothPointArray** pointsVar,
                               TClothFaceArray** facesVar) {
  if (pointsVar != nullptr) *pointsVar = membrane ? &membrane->m.pointsVar : nullptr;
  if (facesVar != nullptr) *facesVar = membrane ? &membrane->m.facesVar : nullptr;
}

TumelinKitStatus TumelinKitMembranePin(TumelinKitMembrane* membrane, const int32_t* indices, int32_t count) {
  if (membrane == nullptr || count < 0 || (count > 0 && indices == nullptr)) {
    return Fail(TUMELIN_KIT_BAD_ARGUMENT, "pinning needs a membrane and its points");
  }
  const std::vector<int32_t> points(indices, indices + count);
  const std::string problem = ValidatePinPoints(points, membrane->m.points.Count(), "the membrane");
  if (!problem.empty()) return Fail(TUMELIN_KIT_BAD_ARGUMENT, problem);
  for (int32_t i : points) membrane->m.points[static_cast<size_t>(i)].Fixed = 1;
  return TUMELIN_KIT_OK;
}

int32_t TumelinKitMembranePinBelow(TumelinKitMembrane* membrane, double z) {
  if (membrane == nullptr) return 0;
  int32_t pinned = 0;
  for (int32_t i = 0; i < membrane->m.points.Count(); ++i) {
    TClothPoint& p = membrane->m.points[i];
    if (p.Pos.Z <= z) {
      p.Fixed = 1;
      ++pinned;
    }
  }
  return pinned;
}

const char* TumelinKitMembraneHash(TumelinKitMembrane* membrane) {
  if (membrane == nullptr) return "";
  membrane->hash = HexHash(StateHash(membrane->m));
  return membrane->hash.c_str();
}

TumelinKitStatus TumelinKitMembraneWriteObj(TumelinKitMembrane* membrane, const char* path) {
  if (membrane == nullptr || path == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no membrane or no path");
  return Guarded([&] {
    std::ofstream file(std::filesystem::u8path(path), std::ios::binary);
    file << ObjText(membrane->m,
                    "Tumelin membrane, " + std::to_string(membrane->m.points.Count()) + " points",
                    ObjDigits::kExact);
    file.close();
    if (!file) return Fail(TUMELIN_KIT_FAILED, std::string(path) + ": cannot be written");
    return TUMELIN_KIT_OK;
  });
}

const char* TumelinKitMembraneCheck(TumelinKitMembrane* membrane, TumelinKitMeshCheck* check) {
  if (membrane == nullptr) return "";
  const MeshReport r = CheckMembrane(membrane->m);
  if (check != nullptr) {
    auto count = [](const auto& list) { return static_cast<int32_t>(list.size()); };
    *check = {r.points,
              r.edges,
              r.faces,
              r.euler,
              r.expectedEuler,
              count(r.openEdges),
              count(r.nonManifoldEdges),
              count(r.misorientedEdges),
              r.degenerateFaces,
              r.isolatedPoints,
              r.pinnedPoints,
              r.openEdges.empty() ? 1 : 0,
              r.Clean() ? 1 : 0,
              r.effect == PressureEffect::kInflates ? 1 : 0,
              r.signedVolume,
              r.longestSpring};
  }
  membrane->problems = Lines(MeshProblems(r));
  return membrane->problems.c_str();
}

// ---- simulation -------------------------------------------------------------

TumelinKitStatus TumelinKitSimulationNew(TumelinKitPlugin* plugin, TumelinKitMembrane* membrane,
                                         TumelinKitSettings* settings, TumelinKitSimulation** simulation) {
  if (simulation == nullptr) return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no place for the simulation");
  *simulation = nullptr;
  if (plugin == nullptr || membrane == nullptr || settings == nullptr) {
    return Fail(TUMELIN_KIT_BAD_ARGUMENT, "a simulation needs a plug-in, a membrane and settings");
  }
  return Guarded([&] {
    auto made = std::make_unique<TumelinKitSimulation>();
    made->state.m = Copy(membrane->m);
    const Membrane& m = made->state.m;
    const MeshReport report = CheckMembrane(m);
    // what a run warns of, in its order: the mesh, then the settings
    std::vector<std::string> lines = MeshProblems(report);
    lines.insert(lines.end(), settings->warnings.begin(), settings->warnings.end());
    for (const std::string& line :
         ModelWarnings(settings->record, report, IsClosed(m.shape) && !report.leaks)) {
      lines.push_back(line);
    }
    made->warnings = Lines(lines);
    made->cause = DivergenceCause(settings->record, report.longestSpring);
    made->sim = std::make_unique<Simulation>(plugin->plugin, &made->state.m, settings->record);
    *simulation = made.release();
    return TUMELIN_KIT_OK;
  });
}

void TumelinKitSimulationFree(TumelinKitSimulation* simulation) { delete simulation; }

TumelinKitStatus TumelinKitSimulationStep(TumelinKitSimulation* simulation, int64_t count,
                                          TumelinKitProgress progress, void* context, int64_t* done) {
  if (done != nullptr) *done = 0;
  if (simulation == nullptr || count < 0)
    return Fail(TUMELIN_KIT_BAD_ARGUMENT, "no simulation or a negative count");
  TumelinKitSimulation& s = *simulation;
  if (!s.diverged.empty()) return Fail(TUMELIN_KIT_DIVERGED, s.diverged);
  // several steps are checked once, at the end, in the pass that also saves
  // where the next call starts; only when that check fails are they run
  // again from the saved start, each checked, to find the step that
  // diverged (the plug-in's step depends on nothing but Pos and Vel)
  const bool once = count > 1;
  const int64_t start = s.steps;
  if (once && s.savedAt != start) MayHaveDiverged(s.state.m, 0.0, &s.saved);
  int64_t taken = 0;
  while (taken < count) {
    s.sim->Step();
    ++s.steps;
    ++taken;
    if (!once && !Problem(s).empty()) return Diverge(&s, Problem(s), taken, done);
    if (progress != nullptr && progress(taken, count, context) != 0) break;
  }
  s.savedAt = -1;
  if (once && MayHaveDiverged(s.state.m, s.sim->SpeedLimit(s.steps), &s.next)) {
    RestoreState(s.saved, &s.state.m);
    s.steps = start;
    for (int64_t i = 1; i <= taken; ++i) {
      s.sim->Step();
      ++s.steps;
      const std::string problem = Problem(s);
      if (!problem.empty()) return Diverge(&s, problem, i, done);
    }
  } else if (once) {
    std::swap(s.saved, s.next);
    s.savedAt = s.steps;
  }
  if (done != nullptr) *done = taken;
  return TUMELIN_KIT_OK;
}

int64_t TumelinKitSimulationStepsDone(TumelinKitSimulation* simulation) {
  return simulation ? simulation->steps : 0;
}

TumelinKitMembrane* TumelinKitSimulationMembrane(TumelinKitSimulation* simulation) {
  if (simulation == nullptr) return nullptr;
  simulation->savedAt = -1;  // the caller may change the points: the next call saves them afresh
  return &simulation->state;
}

const double* TumelinKitSimulationVectors(TumelinKitSimulation* simulation, int32_t which,
                                          int32_t* strideBytes) {
  if (strideBytes != nullptr) *strideBytes = static_cast<int32_t>(sizeof(TClothPoint));
  if (simulation == nullptr || simulation->state.m.points.Count() == 0) return nullptr;
  const TClothPoint& first = simulation->state.m.points[0];
  return which == 0 ? &first.Pos.X : &first.Vel.X;
}

TumelinKitStatus TumelinKitSimulationCopy(TumelinKitSimulation* simulation, int32_t which, float* out,
                                          int64_t count) {
  if (simulation == nullptr || out == nullptr || count != 3 * int64_t{simulation->state.m.points.Count()}) {
    return Fail(TUMELIN_KIT_BAD_ARGUMENT, "the buffer must hold 3 floats per point");
  }
  const HostArray<TClothPoint>& points = simulation->state.m.points;
  for (int32_t i = 0; i < points.Count(); ++i) {
    const TDbl3D& v = which == 0 ? points[i].Pos : points[i].Vel;
    out[3 * i] = static_cast<float>(v.X);
    out[3 * i + 1] = static_cast<float>(v.Y);
    out[3 * i + 2] = static_cast<float>(v.Z);
  }
  return TUMELIN_KIT_OK;
}

void TumelinKitSimulationFigures(TumelinKitSimulation* simulation, TumelinKitFigures* figures) {
  if (simulation == nullptr || figures == nullptr) return;
  const StepFigures f = simulation->sim->Figures(simulation->steps);
  const ShapeFigure figure = FigureOf(simulation->state.m.shape);
  *figures = {f.step,
              f.volume,
              f.area,
              f.meanRadius,
              f.meanHeight,
              f.maxSpeed,
              f.kineticEnergy,
              f.maxStretch,
              f.maxCompression,
              FigureColumn(figure),
              FigureValue(f, figure)};
}

const char* TumelinKitSimulationWarnings(TumelinKitSimulation* simulation) {
  return simulation ? simulation->warnings.c_str() : "";
}

}  // extern "C"
