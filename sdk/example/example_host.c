/*
 * A complete host for the Tumelin plug-in, in one C file.
 *
 * It does what any host does: load Tumelin.kwt, bind its entries by name,
 * load the settings from an INI file, build a closed membrane (a small
 * sphere: points, springs listed at both of their ends, triangles wound
 * clockwise seen from outside), step it and write the points into a surface
 * grid. Everything it allocates for the plug-in comes from the helpers of
 * <tumelin/tumelin.h>.
 *
 *   example_host [PLUGIN [INI [OBJ]]]
 *
 * PLUGIN defaults to Tumelin.kwt (Windows: found beside the program; other
 * systems: in the working folder). Without INI the plug-in's defaults apply;
 * an INI file that cannot be read is an error, since the plug-in would keep
 * its defaults without a word. With OBJ it also writes the membrane as it
 * starts to that file: `tumelin-host run --mesh OBJ` with the same settings,
 * the top pole pinned and STEPS steps prints the same state hash.
 * The output is the same, bit for bit, on every platform the plug-in runs on.
 */

/* mingw-w64: C99 printf, so that doubles print the same as elsewhere */
#define __USE_MINGW_ANSI_STDIO 1
/* POSIX with XSI: realpath and dlopen, also under -std=c11 */
#define _XOPEN_SOURCE 700

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tumelin/tumelin.h>
#include <tumelin/version.h>

#ifdef _WIN32
#include <windows.h>
typedef HMODULE Library;
#define DEFAULT_PLUGIN "Tumelin.kwt"
#else
#include <dlfcn.h>
typedef void* Library;
#define DEFAULT_PLUGIN "./Tumelin.kwt"
#endif

/* The grid: a sphere (mode 0) of COLUMNS x ROWS cells. Row 0 and row ROWS-1
 * are the poles, rows 1 .. ROWS-2 are rings of RING points, and column
 * COLUMNS-1 repeats column 0 to close each ring. The start shape places
 * points at eighths of a turn, which these counts fit. */
#define COLUMNS 9
#define ROWS 5
#define RING (COLUMNS - 1)
#define POINTS ((ROWS - 2) * RING + 2)
#define STEPS 200
#define REPORT_EVERY 50

/* ---- the six entries ------------------------------------------------------ */

typedef struct Plugin {
  Library library;
  TPluginNameZR7 name;
  TPluginRgstZR6 rgstZR6;
  TPluginRgstZR7 rgstZR7;
  TPluginExecZR71 loadSettings;
  TPluginExecZR72 step;
  TPluginExecZR73 writeGrid;
} Plugin;

/* one entry by name into *entry (a function pointer of `size` bytes) */
static int BindEntry(Library library, const char* name, void* entry, size_t size) {
#ifdef _WIN32
  FARPROC address = GetProcAddress(library, name);
#else
  void* address = dlsym(library, name);
#endif
  if (address == NULL || sizeof address != size) {
    fprintf(stderr, "example_host: the plug-in lacks the entry %s\n", name);
    return 0;
  }
  memcpy(entry, &address, size);
  return 1;
}

static int LoadPlugin(Plugin* plugin, const char* path) {
#ifdef _WIN32
  plugin->library = LoadLibraryA(path);
#else
  plugin->library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
  if (plugin->library == NULL) {
    fprintf(stderr, "example_host: cannot load %s\n", path);
    return 0;
  }
  return BindEntry(plugin->library, TUMELIN_EXPORT_NAME_ZR7, &plugin->name, sizeof plugin->name) &&
         BindEntry(plugin->library, TUMELIN_EXPORT_RGST_ZR6, &plugin->rgstZR6, sizeof plugin->rgstZR6) &&
         BindEntry(plugin->library, TUMELIN_EXPORT_RGST_ZR7, &plugin->rgstZR7, sizeof plugin->rgstZR7) &&
         BindEntry(plugin->library, TUMELIN_EXPORT_EXEC_ZR71, &plugin->loadSettings,
                   sizeof plugin->loadSettings) &&
         BindEntry(plugin->library, TUMELIN_EXPORT_EXEC_ZR72, &plugin->step, sizeof plugin->step) &&
         BindEntry(plugin->library, TUMELIN_EXPORT_EXEC_ZR73, &plugin->writeGrid, sizeof plugin->writeGrid);
}

static void UnloadPlugin(Plugin* plugin) {
#ifdef _WIN32
  FreeLibrary(plugin->library);
#else
  dlclose(plugin->library);
#endif
}

/* ---- strings ---------------------------------------------------------------- */

/* the plug-in's strings are UTF-16; its names are ASCII */
static void PrintUtf16(const char16_t* text) {
  for (; *text != 0; ++text) putchar(*text < 128 ? (char)*text : '?');
}

/* The INI path as the plug-in takes it: a full path (the Windows profile API
 * looks a bare name up in the Windows folder), zero-terminated UTF-16.
 * Returns a malloc'ed string or NULL. */
static char16_t* FullPathUtf16(const char* path) {
  char16_t* wide;
  size_t i, n;
#ifdef _WIN32
  wchar_t full[MAX_PATH];
  int length = MultiByteToWideChar(CP_ACP, 0, path, -1, NULL, 0);
  wchar_t* given = (wchar_t*)malloc(sizeof(wchar_t) * (size_t)(length > 0 ? length : 1));
  if (given == NULL || length <= 0) return free(given), NULL;
  MultiByteToWideChar(CP_ACP, 0, path, -1, given, length);
  n = GetFullPathNameW(given, MAX_PATH, full, NULL);
  free(given);
  if (n == 0 || n >= MAX_PATH) return NULL;
  wide = (char16_t*)malloc(sizeof(char16_t) * (n + 1));
  if (wide == NULL) return NULL;
  for (i = 0; i <= n; ++i) wide[i] = (char16_t)full[i];
#else
  /* should the path not resolve after all, the given one goes to the plug-in */
  char* full = realpath(path, NULL);
  const char* chosen = full != NULL ? full : path;
  n = strlen(chosen);
  wide = (char16_t*)malloc(sizeof(char16_t) * (n + 1));
  if (wide == NULL) return free(full), NULL;
  /* UTF-8 to UTF-16; code points beyond U+FFFF become surrogate pairs */
  {
    size_t out = 0;
    const unsigned char* s = (const unsigned char*)chosen;
    for (i = 0; i < n;) {
      unsigned long cp = s[i];
      size_t extra = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : cp >= 0xC0 ? 1 : 0;
      if (extra > 0) cp &= 0x3Fu >> extra;
      for (++i; extra > 0 && i < n; --extra, ++i) cp = (cp << 6) | (s[i] & 0x3Fu);
      if (cp > 0xFFFF) {
        cp -= 0x10000;
        wide[out++] = (char16_t)(0xD800 + (cp >> 10));
        wide[out++] = (char16_t)(0xDC00 + (cp & 0x3FF));
      } else {
        wide[out++] = (char16_t)cp;
      }
    }
    wide[out] = 0;
  }
  free(full);
#endif
  return wide;
}

/* ---- the membrane ------------------------------------------------------------ */

/* the point that cell (u, v) of a mode-0 grid shows: 0 is the top pole, ring
 * v holds RING points from 1 + (v - 1) * RING, the last point is the bottom
 * pole, and the closing column repeats column 0 */
static int32_t SpherePoint(int32_t u, int32_t v) {
  if (v == 0) return 0;
  if (v == ROWS - 1) return POINTS - 1;
  return 1 + (v - 1) * RING + u % RING;
}

typedef struct Membrane {
  TClothPointArray points; /* the host variables whose addresses go to the plug-in */
  TClothFaceArray faces;
} Membrane;

/* Quad (u, v) has the corners a = (u, v), b = (u+1, v), c = (u+1, v+1) and
 * d = (u, v+1); u runs counter-clockwise seen from above, v from the top
 * pole down, so (a, b, d) and (c, d, b) are clockwise seen from outside. At
 * the poles one of the two collapses and is left out.
 * A face weighs in its corners' mean normal by the sine of the angle at the
 * corner it lists first, so each half lists first the corner opposite the
 * diagonal b-d (a, c), not an end of the diagonal, which splits the quad's
 * angle there. The quads between two rings are isosceles trapezoids, whose
 * angles at a and c add up to 180 degrees: both halves weigh the same.
 * Fills `faces` (when not NULL) and returns the number of triangles. */
static int32_t SphereTriangles(TClothFace* faces) {
  int32_t count = 0, u, v, k;
  for (v = 0; v + 1 < ROWS; ++v) {
    for (u = 0; u < RING; ++u) {
      const int32_t a = SpherePoint(u, v), b = SpherePoint(u + 1, v);
      const int32_t c = SpherePoint(u + 1, v + 1), d = SpherePoint(u, v + 1);
      const int32_t corners[2][3] = {{a, b, d}, {c, d, b}};
      for (k = 0; k < 2; ++k) {
        const int32_t* t = corners[k];
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) continue;
        if (faces != NULL) {
          faces[count].P0 = t[0];
          faces[count].P1 = t[1];
          faces[count].P2 = t[2];
        }
        ++count;
      }
    }
  }
  return count;
}

/* cos and sin of k eighths of a turn, exact but for the rounding of sqrt */
static double EighthCos(int32_t k) {
  const double h = sqrt(0.5);
  const double table[8] = {1.0, h, 0.0, -h, -1.0, -h, 0.0, h};
  return table[((k % 8) + 8) % 8];
}

static double EighthSin(int32_t k) { return EighthCos(k - 2); }

static TDbl3D Sub(TDbl3D a, TDbl3D b) {
  TDbl3D r = {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
  return r;
}

static double Length(TDbl3D a) { return sqrt(a.X * a.X + a.Y * a.Y + a.Z * a.Z); }

/* One spring between points a and b, listed at both ends: a gets a->b, then
 * b gets b->a, both with the rest length measured from a to b. Skipped when
 * a already lists b (every spring is listed at both ends, so that is when the
 * pair has one). */
static void AddSpring(Membrane* m, int32_t a, int32_t b) {
  TClothPoint* pa = &m->points[a];
  TClothPoint* pb = &m->points[b];
  const double rest = Length(Sub(pb->Pos, pa->Pos));
  int32_t k;
  for (k = 0; k < pa->LinkCount; ++k) {
    if (pa->Links[k].Target == b) return;
  }
  pa->Links[pa->LinkCount].Target = b;
  pa->Links[pa->LinkCount++].RestLength = rest;
  pb->Links[pb->LinkCount].Target = a;
  pb->Links[pb->LinkCount++].RestLength = rest;
}

/* Every point with its position, its Faces and its springs.
 * The plug-in adds a point's spring forces in the order of its Links, so
 * that order is part of the result's bits. This example lists them as
 * tumelin-host does for a mesh, which makes its hashes comparable: the
 * triangles in order, each one's edges p->q, q->r, r->p in turn, and a
 * spring for each edge the first time a triangle runs it, at both ends
 * (AddSpring). A point's Faces are the triangles at it, in order.
 * Returns 0 when memory ran out. */
static int BuildSphere(Membrane* m, double radius) {
  const int32_t faceCount = SphereTriangles(NULL);
  int32_t used[POINTS] = {0};
  int32_t i, f, k, u, v;
  m->points = (TClothPointArray)TumelinArrayAlloc(POINTS, sizeof(TClothPoint));
  m->faces = (TClothFaceArray)TumelinArrayAlloc(faceCount, sizeof(TClothFace));
  if (m->points == NULL || m->faces == NULL) return 0;
  SphereTriangles(m->faces);

  /* positions: latitude and longitude in eighths of a turn (rows 45 degrees
   * apart, 8 points a ring), so every coordinate is 0, 1 or sqrt(1/2) times
   * the radius, the same bits on every platform */
  for (v = 0; v < ROWS; ++v) {
    for (u = 0; u < (v == 0 || v == ROWS - 1 ? 1 : RING); ++u) {
      TDbl3D* pos = &m->points[SpherePoint(u, v)].Pos;
      pos->X = radius * EighthSin(v) * EighthCos(u);
      pos->Y = radius * EighthSin(v) * EighthSin(u);
      pos->Z = radius * EighthCos(v);
    }
  }

  /* on a closed surface a point has as many neighbours as triangles */
  for (f = 0; f < faceCount; ++f) {
    ++used[m->faces[f].P0];
    ++used[m->faces[f].P1];
    ++used[m->faces[f].P2];
  }
  for (i = 0; i < POINTS; ++i) {
    if (!TumelinPointAlloc(&m->points[i], used[i], used[i])) return 0;
    m->points[i].LinkCount = 0; /* AddSpring counts them in */
    used[i] = 0;
  }
  for (f = 0; f < faceCount; ++f) {
    const int32_t corner[3] = {m->faces[f].P0, m->faces[f].P1, m->faces[f].P2};
    for (k = 0; k < 3; ++k) {
      m->points[corner[k]].Faces[used[corner[k]]++] = f;
      AddSpring(m, corner[k], corner[(k + 1) % 3]);
    }
  }
  /* NewPos and NewVel are zero from the allocation, as the plug-in expects */
  return 1;
}

/* The membrane as it starts, as an OBJ file with every digit and the
 * triangles as they are (so no flip), for tumelin-host run --mesh. */
static int WriteObj(const Membrane* m, const char* path) {
  FILE* out = fopen(path, "w");
  int32_t i;
  if (out == NULL) {
    fprintf(stderr, "example_host: cannot write %s\n", path);
    return 0;
  }
  for (i = 0; i < TumelinArrayCount(m->points); ++i) {
    const TDbl3D p = m->points[i].Pos;
    fprintf(out, "v %.17g %.17g %.17g\n", p.X, p.Y, p.Z);
  }
  for (i = 0; i < TumelinArrayCount(m->faces); ++i) {
    fprintf(out, "f %d %d %d\n", (int)m->faces[i].P0 + 1, (int)m->faces[i].P1 + 1, (int)m->faces[i].P2 + 1);
  }
  return fclose(out) == 0;
}

static void FreeMembrane(Membrane* m) {
  int32_t i;
  for (i = 0; i < TumelinArrayCount(m->points); ++i) TumelinPointFree(&m->points[i]);
  TumelinArrayFree(m->points);
  TumelinArrayFree(m->faces);
}

/* enclosed volume, from the triangles wound clockwise seen from outside */
static double Volume(const Membrane* m) {
  double sum = 0.0;
  int32_t f;
  for (f = 0; f < TumelinArrayCount(m->faces); ++f) {
    const TDbl3D a = m->points[m->faces[f].P0].Pos;
    const TDbl3D b = m->points[m->faces[f].P1].Pos;
    const TDbl3D c = m->points[m->faces[f].P2].Pos;
    sum -= a.X * (b.Y * c.Z - b.Z * c.Y) + a.Y * (b.Z * c.X - b.X * c.Z) + a.Z * (b.X * c.Y - b.Y * c.X);
  }
  return sum / 6.0;
}

/* the state hash, as docs/host-integration.md defines it ("The state hash") */
static unsigned long long StateHash(const Membrane* m) {
  unsigned long long hash = 14695981039346656037ull;
  int32_t i;
  size_t k;
  for (i = 0; i < TumelinArrayCount(m->points); ++i) {
    unsigned char bytes[2 * sizeof(TDbl3D)];
    memcpy(bytes, &m->points[i].Pos, sizeof(TDbl3D));
    memcpy(bytes + sizeof(TDbl3D), &m->points[i].Vel, sizeof(TDbl3D));
    for (k = 0; k < sizeof bytes; ++k) hash = (hash ^ bytes[k]) * 1099511628211ull;
  }
  return hash;
}

/* ---- the run ------------------------------------------------------------------- */

/* which point's position a cell holds, -1 for none */
static int32_t PointInCell(const Membrane* m, TSurfaceGrid* grid, int32_t u, int32_t v) {
  int32_t i;
  for (i = 0; i < TumelinArrayCount(m->points); ++i) {
    if (memcmp(TumelinGridCell(grid, u, v), &m->points[i].Pos, sizeof(TDbl3D)) == 0) return i;
  }
  return -1;
}

static int Run(const Plugin* plugin, const char* iniPath, const char* objPath) {
  Membrane m = {NULL, NULL};
  TClothSetup setup;
  TSurfaceGrid* grid = NULL;
  char16_t* path = NULL;
  const char16_t *prefix, *code, *token, *name;
  int32_t number, step, u, v, result = 0, matches = 1;
  double stamp;
  int ok = 0;

  printf("example_host %s, plug-in \"", TUMELIN_VERSION_STRING);
  PrintUtf16(plugin->name());
  plugin->rgstZR7(&prefix, &code, &token, &name, &number, &stamp);
  printf("\", registered as ");
  PrintUtf16(name);
  printf("\n");

  /* settings: defaults, then section [Setup] of the file. The plug-in keeps
   * the defaults for a file it cannot read and says nothing, so the host
   * looks for the file itself. */
  if (iniPath != NULL) {
    FILE* ini = fopen(iniPath, "rb");
    if (ini == NULL) {
      fprintf(stderr, "example_host: cannot read the settings file %s\n", iniPath);
      goto done;
    }
    fclose(ini);
    if ((path = FullPathUtf16(iniPath)) == NULL) goto done;
  }
  plugin->loadSettings((const char16_t* const*)&path, NULL, NULL, NULL, &setup);
  printf("settings: ClothP=%.17g ClothC=%.17g ClothK0=%.17g ClothK1=%.17g ClothT0=%d ClothMethod=%d\n",
         setup.ClothP, setup.ClothC, setup.ClothK0, setup.ClothK1, (int)setup.ClothT0,
         (int)setup.ClothMethod);

  if (!BuildSphere(&m, 1.0)) goto done;
  m.points[0].Fixed = 1; /* hang it from its top pole */
  printf("membrane: %d points, %d faces, top pole pinned\n", (int)TumelinArrayCount(m.points),
         (int)TumelinArrayCount(m.faces));
  if (objPath != NULL && !WriteObj(&m, objPath)) goto done;

  grid = TumelinGridAlloc(TUMELIN_MODE_SPHERE, COLUMNS, ROWS);
  if (grid == NULL) goto done;

  printf("step %d: volume %.17g\n", 0, Volume(&m));
  for (step = 1; step <= STEPS; ++step) {
    result = plugin->step(NULL, &m.points, &m.faces, &setup);
    plugin->writeGrid(grid, &m.points);
    if (step % REPORT_EVERY == 0) printf("step %d: volume %.17g\n", (int)step, Volume(&m));
  }
  printf("step result: %d\n", (int)result);

  /* the grid after the last step, as point numbers */
  printf("grid: mode %d, %d columns x %d rows; the point in each cell:\n", (int)grid->Mode, (int)grid->CountU,
         (int)grid->CountV);
  for (v = 0; v < ROWS; ++v) {
    printf("  row %d:", (int)v);
    for (u = 0; u < COLUMNS; ++u) {
      const int32_t found = PointInCell(&m, grid, u, v);
      matches = matches && found == SpherePoint(u, v);
      printf(" %2d", (int)found);
    }
    printf("\n");
  }
  printf("grid as numbered: %s\n", matches ? "yes" : "no");
  printf("state hash: %016llx\n", StateHash(&m));
  ok = matches && result == POINTS;

done:
  if (!ok) fprintf(stderr, "example_host: the run failed\n");
  free(grid);
  FreeMembrane(&m);
  free(path);
  return ok;
}

int main(int argc, char** argv) {
  Plugin plugin;
  int ok;
  if (argc > 4) {
    fprintf(stderr, "usage: example_host [PLUGIN [INI [OBJ]]]\n");
    return 2;
  }
  if (!LoadPlugin(&plugin, argc > 1 ? argv[1] : DEFAULT_PLUGIN)) return 1;
  ok = Run(&plugin, argc > 2 ? argv[2] : NULL, argc > 3 ? argv[3] : NULL);
  UnloadPlugin(&plugin);
  return ok ? 0 : 1;
}
