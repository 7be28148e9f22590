/* The kit library from C, as a host in another language calls it (this file
 * is C11: the header must serve C hosts). kit_test PLUGIN TEMPORARY_FOLDER */
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <tumelin/kit.h>

static int failures = 0;
#define EXPECT(condition, ...)                            \
  do {                                                    \
    if (!(condition)) {                                   \
      printf("FAIL line %d: %s: ", __LINE__, #condition); \
      printf(__VA_ARGS__);                                \
      printf("\n");                                       \
      ++failures;                                         \
    }                                                     \
  } while (0)

/*      3          a tetrahedron, every face clockwise seen from outside
 *     /|\         (point 3 above the triangle 0 1 2 at z = 0)
 *    0-+-2
 *     \|/
 *      1                                                                  */
static const double kCorners[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0.25, 0.25, 1};
static const int32_t kClockwise[] = {0, 1, 2, 0, 3, 1, 1, 3, 2, 2, 3, 0};
static const int32_t kCounterClockwise[] = {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3};

static int32_t StopAfterTwo(int64_t done, int64_t count, void* context) {
  (void)count;
  ++*(int*)context;
  return done == 2;
}

/* the hash after `steps` steps of `membrane` with ClothC given as `damping` */
static TumelinKitStatus Run(TumelinKitPlugin* plugin, TumelinKitMembrane* membrane, const char* damping,
                            int64_t steps, char hash[17]) {
  const char* key = "ClothC";
  TumelinKitSettings* settings = NULL;
  TumelinKitSimulation* sim = NULL;
  TumelinKitStatus status = TumelinKitSettingsLoad(plugin, NULL, &key, &damping, 1, &settings);
  if (status == TUMELIN_KIT_OK) status = TumelinKitSimulationNew(plugin, membrane, settings, &sim);
  if (status == TUMELIN_KIT_OK) status = TumelinKitSimulationStep(sim, steps, NULL, NULL, NULL);
  snprintf(hash, 17, "%s", sim ? TumelinKitMembraneHash(TumelinKitSimulationMembrane(sim)) : "");
  TumelinKitSimulationFree(sim);
  TumelinKitSettingsFree(settings);
  return status;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  TumelinKitPlugin* plugin = NULL;
  EXPECT(TumelinKitPluginLoad("/nonexistent/Tumelin.kwt", &plugin) == TUMELIN_KIT_NOT_FOUND && !plugin,
         "loaded");
  EXPECT(strstr(TumelinKitLastError(), "/nonexistent/Tumelin.kwt") != NULL, "%s", TumelinKitLastError());
  if (TumelinKitPluginLoad(argv[1], &plugin) != TUMELIN_KIT_OK) {
    printf("FAIL: %s\n", TumelinKitLastError());
    return 1;
  }
  EXPECT(strcmp(TumelinKitPluginName(plugin), "Tumelin,52") == 0, "%s", TumelinKitPluginName(plugin));

  /* every winding that means the same triangles builds the same membrane */
  const struct {
    const int32_t* triangles;
    TumelinKitWinding winding;
  } same[] = {{kClockwise, TUMELIN_KIT_CLOCKWISE},
              {kCounterClockwise, TUMELIN_KIT_COUNTERCLOCKWISE},
              {kClockwise, TUMELIN_KIT_AUTO},
              {kCounterClockwise, TUMELIN_KIT_AUTO}};
  char first[17] = "", hash[17];
  char obj[4096];
  snprintf(obj, sizeof obj, "%s/tetrahedron.obj", argv[2]);
  for (size_t i = 0; i < sizeof same / sizeof same[0]; ++i) {
    TumelinKitMembrane* m = NULL;
    EXPECT(
        TumelinKitMembraneFromMesh(kCorners, 4, same[i].triangles, 4, same[i].winding, &m) == TUMELIN_KIT_OK,
        "case %zu: %s", i, TumelinKitLastError());
    TumelinKitMeshCheck check;
    EXPECT(strcmp(TumelinKitMembraneCheck(m, &check), "") == 0, "case %zu", i);
    EXPECT(check.closed && check.clean && check.inflates && check.euler == 2 && check.edges == 6, "case %zu",
           i);
    EXPECT(Run(plugin, m, "1", 40, hash) == TUMELIN_KIT_OK, "case %zu: %s", i, TumelinKitLastError());
    if (i == 0) {
      memcpy(first, hash, sizeof first);
      EXPECT(TumelinKitMembraneWriteObj(m, obj) == TUMELIN_KIT_OK, "%s", TumelinKitLastError());
    }
    EXPECT(strcmp(hash, first) == 0, "case %zu: %s, not %s", i, hash, first);
    TumelinKitMembraneFree(m);
  }
  /* the OBJ file holds every digit: read back, it runs to the same bits */
  TumelinKitMembrane* read = NULL;
  if (TumelinKitMembraneFromFile(obj, 0, &read) != TUMELIN_KIT_OK) {
    printf("FAIL: %s\n", TumelinKitLastError());
    return 1;
  }
  EXPECT(Run(plugin, read, "1", 40, hash) == TUMELIN_KIT_OK && strcmp(hash, first) == 0, "%s", hash);
  EXPECT(TumelinKitMembranePinBelow(read, 0.0) == 3, "pinned below z = 0");

  /* a damping that makes speeds grow: the host's message, then every call fails alike */
  EXPECT(Run(plugin, read, "-300", 300, hash) == TUMELIN_KIT_DIVERGED, "no divergence");
  EXPECT(strncmp(TumelinKitLastError(), "the run diverged at step ", 25) == 0 &&
             strstr(TumelinKitLastError(), "; cause: ClothC -300") != NULL,
         "%s", TumelinKitLastError());

  /* faults: the status, and a message that names the fault */
  const int32_t outside[] = {0, 1, 4};
  TumelinKitMembrane* none = NULL;
  EXPECT(
      TumelinKitMembraneFromMesh(kCorners, 4, outside, 1, TUMELIN_KIT_AUTO, &none) == TUMELIN_KIT_MESH_ERROR,
      "index 4 taken");
  EXPECT(strstr(TumelinKitLastError(), "names point 4") != NULL && none == NULL, "%s", TumelinKitLastError());
  EXPECT(TumelinKitMembranePin(read, outside, 3) == TUMELIN_KIT_BAD_ARGUMENT, "pinned point 4");
  const char *key = "ClothQ", *value = "1";
  TumelinKitSettings* settings = NULL;
  EXPECT(TumelinKitSettingsLoad(plugin, NULL, &key, &value, 1, &settings) == TUMELIN_KIT_BAD_ARGUMENT,
         "ClothQ");

  /* progress after each step; a nonzero answer stops the call */
  TumelinKitSimulation* sim = NULL;
  int calls = 0;
  int64_t done = 0;
  TumelinKitSettingsLoad(plugin, NULL, NULL, NULL, 0, &settings);
  TumelinKitSimulationNew(plugin, read, settings, &sim);
  EXPECT(TumelinKitSimulationStep(sim, 10, StopAfterTwo, &calls, &done) == TUMELIN_KIT_OK, "step");
  EXPECT(done == 2 && calls == 2 && TumelinKitSimulationStepsDone(sim) == 2, "%d calls, %lld done", calls,
         (long long)done);
  /* the views and the float copy show the same positions */
  int32_t stride = 0;
  const double* pos = TumelinKitSimulationVectors(sim, 0, &stride);
  float copy[12];
  EXPECT(TumelinKitSimulationCopy(sim, 0, copy, 12) == TUMELIN_KIT_OK, "copy");
  for (int i = 0; i < 12; ++i) {
    const double v = *(const double*)((const char*)pos + stride * (i / 3) + 8 * (i % 3));
    EXPECT(copy[i] == (float)v && isfinite(v), "coordinate %d", i);
  }
  TumelinKitSimulationFree(sim);
  TumelinKitSettingsFree(settings);
  TumelinKitMembraneFree(read);
  TumelinKitPluginFree(plugin);
  printf(failures ? "%d failure(s)\n" : "kit_test: all checks passed\n", failures);
  return failures ? 1 : 0;
}
