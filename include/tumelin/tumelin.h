/*
 * Tumelin plug-in interface for host authors.
 *
 * Tumelin inflates a closed cloth membrane: a mass-spring network of points,
 * spring links and triangles that the host owns. The host loads the plug-in
 * (Tumelin.kwt), binds the six entries below by name and calls them from its
 * own threads: each call runs to completion on the thread that makes it, and
 * the plug-in starts no thread of its own. Calls on different records may run
 * on different threads at the same time (see Threads below). Every record
 * here is a binary interface: field order, widths, offsets and gaps are
 * fixed, and pinned with static asserts at the end.
 *
 * On 32-bit Windows every pointer is 4 bytes and the entries are __stdcall.
 * On 64-bit platforms pointers are 8 bytes (TClothPoint grows to 120 bytes,
 * nothing else changes) and the entries use the platform's C convention.
 *
 * This header is valid C99/C11 and C++. Besides the records and the entry
 * types it holds the helpers every host needs: TumelinArrayAlloc() and
 * TumelinArrayCount() for host dynamic arrays, TumelinPointAlloc() and
 * TumelinPointAttach() for a point's Links and Faces, TumelinGridAlloc() and
 * TumelinGridCell() for the surface grid. sdk/example/example_host.c is a
 * complete host built on them.
 *
 * Rules a host keeps:
 *
 * - Ownership. The host allocates, owns and frees every record and array.
 *   The plug-in reads and writes them only during a call and keeps no
 *   pointer afterwards. It never allocates, resizes or frees a host array
 *   and never reassigns the host's array variables or a point's Links and
 *   Faces fields: what the host put there is there after every call.
 *   Strings the plug-in hands out are constants, valid while it is loaded;
 *   never modify or free them. The INI path is copied during the call.
 * - NewPos and NewVel are zero between steps (every step clears them at its
 *   end). Start them at zero: a step gives a pinned point NewVel as its new
 *   velocity, so a nonzero NewVel before the first step sets a pinned point
 *   moving.
 * - Springs: a spring acts on both of its points only when it is listed in
 *   both points' Links. LinkCount says how many entries of Links take part;
 *   0 or less means no spring force. A point's spring forces are added up in
 *   link order, and its face normals in the order of its Faces, so the same
 *   springs or faces listed in another order can give other result bits
 *   (docs/host-integration.md: the order tumelin-host uses).
 * - Pressure: a point feels pressure only through its Faces array, the
 *   indices of every triangle that touches it; with Faces empty it feels
 *   none, whatever the face array holds. Wind every triangle clockwise seen
 *   from outside: then a positive ClothP inflates the membrane. A face
 *   weighs in its corners' mean normals by the sine of the angle at P0, so
 *   list the faces of a grid the same way everywhere: each half of a quad
 *   with the corner opposite the diagonal that splits the quad first.
 * - Indices: every Target, P0, P1, P2 and Faces entry must be a valid index
 *   into its array; the plug-in skips what lies outside rather than reading
 *   beyond the array, but the membrane then lacks that spring or face.
 * - Order: PluginExecZR71 fills a TClothSetup before the first step; then,
 *   per frame, PluginExecZR72 (one step) and PluginExecZR73 (the grid
 *   write-back, which shows the positions as that step left them). The name
 *   and registration entries may be called at any time.
 * - Threads: the plug-in keeps nothing between or outside its calls, so
 *   calls on different records may run on different threads at the same
 *   time through one loaded copy and give exactly the results they give one
 *   after the other: steps of different membranes, settings loads into
 *   different TClothSetup records, write-backs into different grids. One
 *   membrane is stepped by one thread at a time; do not reload settings into
 *   a record a running step reads, nor write a grid back from points a step
 *   is moving. The plug-in has no thread, timer or lock of its own, and the
 *   name and registration entries may be called from any thread.
 * - Pointers: IniPathRef of PluginExecZR71 may be null, and so may the
 *   string pointer it holds; either means the empty path: no file is read
 *   and Setup receives the defaults. Arguments 2 to 4 of PluginExecZR71 and
 *   the first argument of PluginExecZR72 are never read and may hold
 *   anything. Every other pointer an entry takes must be valid: Setup,
 *   PointsVar, FacesVar, Grid and the six registration slots.
 * - Floating point: the working entries (PluginExecZR71, PluginExecZR72 and
 *   PluginExecZR73) compute under a floating-point environment of their
 *   own, whatever the calling thread has set, and give the thread's
 *   environment back as they found it. Theirs: IEEE double in SSE2 and AVX
 *   registers, which MXCSR rules, with round to nearest, no flush-to-zero,
 *   no denormals-are-zero and every exception masked; on 32-bit Windows
 *   also the x87 unit (which carries returned doubles) at double precision
 *   with every exception masked. Each entry saves the thread's MXCSR, and
 *   on 32-bit Windows its x87 environment, and restores them on return,
 *   sticky flags included, so nothing the plug-in raised shows in the
 *   host's flags. The results are the same bits under every host
 *   environment, and the same on 32-bit Windows as on 64-bit Linux. A
 *   diverging membrane yields infinities and NaN, which the plug-in passes
 *   on without trapping.
 * - The grid (TSurfaceGrid): Mode selects how points are numbered into
 *   cells (docs/topologies.md); CountV is at most 257, CountU at most the
 *   columns the record holds; the record must hold all points the mode
 *   reads.
 */
#ifndef TUMELIN_TUMELIN_H
#define TUMELIN_TUMELIN_H

#include <stddef.h>
#include <stdint.h>
#ifdef __cplusplus
#include <cstdlib>
#include <cstring>
#else
#include <stdlib.h>
#include <string.h>
#include <uchar.h>
#endif

#if defined(_WIN32) && defined(__i386__)
#define TUMELIN_CALL __stdcall
#elif defined(_WIN32) && defined(_M_IX86)
#define TUMELIN_CALL __stdcall
#else
#define TUMELIN_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- records ----------------------------------------------------------- */

/** A point or vector in model length units. Gravity acts along -Z. */
typedef struct TDbl3D {
  double X;
  double Y;
  double Z;
} TDbl3D;

/** One spring from the owning point to point Target. */
typedef struct TClothLink {
  int32_t Target;    /**< index into the point array */
  int32_t Reserved0; /**< alignment; never read */
  double RestLength; /**< natural length of the spring */
} TClothLink;

struct TClothPoint;

/*
 * Host dynamic arrays: a variable holds a pointer to the first element, the
 * element count is the int32 in the 4 bytes just before it, and a null
 * pointer is the empty array. TumelinArrayAlloc() and TumelinArrayCount()
 * below make and read them.
 */
typedef struct TClothPoint* TClothPointArray; /**< #points; stride sizeof(TClothPoint) */
typedef struct TClothFace* TClothFaceArray;   /**< #faces; stride 40 */
typedef TClothLink* TClothLinkArray;          /**< links of one point; stride 16 */
typedef int32_t* TFaceIndexArray;             /**< face indices of one point; stride 4 */

/** One simulated mass point (112 bytes on 32-bit targets, 120 on 64-bit). */
typedef struct TClothPoint {
  TDbl3D Pos;    /**< position at the start of a step; after it the new position */
  TDbl3D NewPos; /**< written during a step; zero between steps */
  TDbl3D Vel;    /**< velocity at the start of a step; after it the new velocity */
  TDbl3D NewVel; /**< written during a step; zero between steps */
  uint8_t Fixed; /**< 0 = free; any other value pins the point */
  uint8_t Reserved0[3];
  int32_t LinkCount;     /**< how many entries of Links take part (<= 0: none) */
  TClothLinkArray Links; /**< springs starting at this point */
  TFaceIndexArray Faces; /**< indices into the face array of every adjacent triangle */
} TClothPoint;

/** One triangle. Normal is rewritten by the plug-in at the start of every step. */
typedef struct TClothFace {
  int32_t P0; /**< first corner, index into the point array */
  int32_t P1; /**< second corner */
  int32_t P2; /**< third corner */
  int32_t Reserved0;
  TDbl3D Normal; /**< (P1-P0)/|P1-P0| x (P2-P0)/|P2-P0|; length sin of the angle at P0 */
} TClothFace;

/**
 * Simulation settings, filled by PluginExecZR71 from section "Setup" of an
 * INI file and read by every PluginExecZR72 call.
 */
typedef struct TClothSetup {
  double ClothP;       /**< internal pressure coefficient; "ClothP", default 0.5 */
  double ClothK0;      /**< stiffness of a stretched spring; "ClothK0", default 5.0 */
  double ClothK1;      /**< stiffness of a spring at or below rest length; "ClothK1", default 5.0 */
  double ClothC;       /**< velocity damping; "ClothC", default 1.0 */
  int32_t ClothT0;     /**< stored for the host, unused by the plug-in; "ClothT0", default 500 */
  int32_t ClothMethod; /**< TUMELIN_METHOD_*; any other value steps as Euler; default 0 */
} TClothSetup;

/** Integrator of a step (TClothSetup.ClothMethod). */
enum {
  TUMELIN_METHOD_EULER = 0, /**< semi-implicit Euler: one force evaluation per point and step */
  TUMELIN_METHOD_HEUN = 1,  /**< Heun's predictor-corrector: two evaluations */
  TUMELIN_METHOD_RK4 = 2,   /**< classical Runge-Kutta 4: four evaluations */
  TUMELIN_METHOD_COUNT = 3  /**< the methods are 0 .. TUMELIN_METHOD_COUNT - 1 */
};

/**
 * Display name of an integrator: "semi-implicit Euler", "Heun" or
 * "Runge-Kutta 4". A step takes every other value as Euler, and so the name
 * of every other value says that.
 */
static inline const char* TumelinMethodName(int32_t method) {
  switch (method) {
    case TUMELIN_METHOD_EULER:
      return "semi-implicit Euler";
    case TUMELIN_METHOD_HEUN:
      return "Heun";
    case TUMELIN_METHOD_RK4:
      return "Runge-Kutta 4";
    default:
      return "unknown method (steps as semi-implicit Euler)";
  }
}

/** Rows per grid column: indices 0..256. */
#define TUMELIN_GRID_ROWS 257
/** Byte offset of cell (0, 0) in a TSurfaceGrid record. */
#define TUMELIN_GRID_POINTS_OFFSET 432
/** Bytes per grid column: 257 cells of 24 bytes. */
#define TUMELIN_GRID_COLUMN_BYTES 6168
/**
 * Most columns a grid record can hold: a 32-bit host's record is one object
 * of at most 2^31 - 1 bytes. A write-back with more columns writes nothing.
 */
#define TUMELIN_GRID_MAX_COLUMNS ((INT32_MAX - TUMELIN_GRID_POINTS_OFFSET) / TUMELIN_GRID_COLUMN_BYTES)

/** Topology of a surface grid (TSurfaceGrid.Mode). */
enum {
  TUMELIN_MODE_SPHERE = 0, /**< closed surface with two poles */
  TUMELIN_MODE_TORUS = 1,  /**< closed in both directions */
  TUMELIN_MODE_SHEET = 2,  /**< open sheet, one cell per point */
  TUMELIN_MODE_TUBE = 3    /**< closed around, open at both ends */
};

/**
 * Head of the host's surface record. The cell table follows at byte 432:
 * column u starts at 432 + 6168*u and holds 257 TDbl3D cells. Allocate
 * TumelinGridBytes(columns) bytes and use TumelinGridCell() to reach a cell.
 */
typedef struct TSurfaceGrid {
  uint8_t Mode; /**< TUMELIN_MODE_*; 4..255 write nothing */
  uint8_t Reserved0[3];
  int32_t CountU;        /**< columns in use */
  int32_t CountV;        /**< rows in use, at most 257 */
  uint8_t HostData[420]; /**< host-owned; never touched by the plug-in */
} TSurfaceGrid;

/** Size in bytes of a grid record with the given number of columns. */
static inline size_t TumelinGridBytes(int32_t columns) {
  return (size_t)TUMELIN_GRID_POINTS_OFFSET + (size_t)TUMELIN_GRID_COLUMN_BYTES * (size_t)columns;
}

/** Address of cell (u, v) of a grid record: byte 432 + 6168*u + 24*v. */
static inline TDbl3D* TumelinGridCell(TSurfaceGrid* grid, int32_t u, int32_t v) {
  return (TDbl3D*)((unsigned char*)grid + TUMELIN_GRID_POINTS_OFFSET +
                   (size_t)TUMELIN_GRID_COLUMN_BYTES * (size_t)u + sizeof(TDbl3D) * (size_t)v);
}

/**
 * A zero-filled grid record with room for `columns` columns of 257 rows,
 * Mode, CountU and CountV set. NULL when columns < 1 or memory runs out.
 * Free it with free().
 */
static inline TSurfaceGrid* TumelinGridAlloc(uint8_t mode, int32_t columns, int32_t rows) {
  TSurfaceGrid* grid;
  if (columns < 1) return NULL;
  grid = (TSurfaceGrid*)calloc(1, TumelinGridBytes(columns));
  if (grid == NULL) return NULL;
  grid->Mode = mode;
  grid->CountU = columns;
  grid->CountV = rows;
  return grid;
}

/* ---- host dynamic arrays ----------------------------------------------- */

/*
 * The memory of a host dynamic array is one 8-byte header word followed by
 * the elements: the element count is the int32 in the header's last 4 bytes,
 * just before the first element, and the first element starts 8 bytes into
 * the block, so every double of every element is 8-byte aligned. The host
 * variable or field holds the address of the first element, never of the
 * block; a null pointer is the empty array. The plug-in reads only the count
 * and the elements: it never allocates, resizes or frees a host array and
 * never writes a pointer to one.
 */

/** Bytes before the first element of a host dynamic array. */
#define TUMELIN_ARRAY_HEADER_BYTES 8

/** Element count of a host dynamic array: the int32 before the first element, 0 for null. */
static inline int32_t TumelinArrayCount(const void* first) {
  int32_t count;
  if (first == NULL) return 0;
  memcpy(&count, (const unsigned char*)first - sizeof(int32_t), sizeof count);
  return count;
}

/** Rewrites the count of a non-null host dynamic array. */
static inline void TumelinArraySetCount(void* first, int32_t count) {
  memcpy((unsigned char*)first - sizeof(int32_t), &count, sizeof count);
}

/**
 * A host dynamic array of `count` zero-filled elements of `elementSize`
 * bytes: returns the first element, 8-byte aligned, with `count` in the 4
 * bytes before it. NULL (the empty array) when count < 1 or memory runs out.
 * Free it with TumelinArrayFree().
 */
static inline void* TumelinArrayAlloc(int32_t count, size_t elementSize) {
  unsigned char* block;
  if (count < 1 || elementSize == 0) return NULL;
  if ((size_t)count > (SIZE_MAX - TUMELIN_ARRAY_HEADER_BYTES) / elementSize) return NULL;
  /* calloc's blocks are aligned for any double, so the elements are too */
  block = (unsigned char*)calloc(1, TUMELIN_ARRAY_HEADER_BYTES + (size_t)count * elementSize);
  if (block == NULL) return NULL;
  TumelinArraySetCount(block + TUMELIN_ARRAY_HEADER_BYTES, count);
  return block + TUMELIN_ARRAY_HEADER_BYTES;
}

/** Frees an array from TumelinArrayAlloc(); NULL is the empty array and is ignored. */
static inline void TumelinArrayFree(void* first) {
  if (first != NULL) free((unsigned char*)first - TUMELIN_ARRAY_HEADER_BYTES);
}

/**
 * Hands a point its springs and adjacent faces: Links and Faces take the
 * arrays (first elements, or NULL) and LinkCount the count of `links`, so
 * every listed spring takes part.
 */
static inline void TumelinPointAttach(TClothPoint* point, TClothLinkArray links, TFaceIndexArray faces) {
  point->Links = links;
  point->LinkCount = TumelinArrayCount(links);
  point->Faces = faces;
}

/**
 * Allocates a point's own Links (`linkCount` zero-filled links) and Faces
 * (`faceCount` zero indices) and attaches them. Returns 0 when memory ran
 * out; the point then has what could be allocated, which
 * TumelinPointFree() releases as well.
 */
static inline int TumelinPointAlloc(TClothPoint* point, int32_t linkCount, int32_t faceCount) {
  TClothLinkArray links = (TClothLinkArray)TumelinArrayAlloc(linkCount, sizeof(TClothLink));
  TFaceIndexArray faces = (TFaceIndexArray)TumelinArrayAlloc(faceCount, sizeof(int32_t));
  TumelinPointAttach(point, links, faces);
  return (linkCount < 1 || links != NULL) && (faceCount < 1 || faces != NULL);
}

/** Frees what TumelinPointAlloc() gave a point and empties its arrays. */
static inline void TumelinPointFree(TClothPoint* point) {
  TumelinArrayFree(point->Links);
  TumelinArrayFree(point->Faces);
  TumelinPointAttach(point, NULL, NULL);
}

/* ---- entry points ------------------------------------------------------ */

/** Export names, in ordinal order 1..6. */
#define TUMELIN_EXPORT_EXEC_ZR73 "PluginExecZR73" /**< ordinal 1 */
#define TUMELIN_EXPORT_EXEC_ZR72 "PluginExecZR72" /**< ordinal 2 */
#define TUMELIN_EXPORT_EXEC_ZR71 "PluginExecZR71" /**< ordinal 3 */
#define TUMELIN_EXPORT_RGST_ZR7 "PluginRgstZR7"   /**< ordinal 4 */
#define TUMELIN_EXPORT_NAME_ZR7 "PluginNameZR7"   /**< ordinal 5 */
#define TUMELIN_EXPORT_RGST_ZR6 "PluginRgstZR6"   /**< ordinal 6 */

/** Display name, "Tumelin,52" (UTF-16, zero-terminated, owned by the plug-in). */
typedef const char16_t*(TUMELIN_CALL* TPluginNameZR7)(void);

/**
 * Registration data. Each argument is a host slot that receives, in order:
 * the prefix ("KWDX-" for generation 6, "QJ7" for 7), "-TMLN", the
 * 32-character token, "KW_Tumelin", 0 and the version stamp (days since
 * 1899-12-30). Strings stay valid while the plug-in is loaded. Returns 0.
 */
typedef int32_t(TUMELIN_CALL* TPluginRgstZR6)(const char16_t** RgstPrefix, const char16_t** RgstCode,
                                              const char16_t** RgstToken, const char16_t** RgstName,
                                              int32_t* RgstInt, double* RgstStamp);
typedef TPluginRgstZR6 TPluginRgstZR7;

/**
 * Loads settings. IniPathRef addresses a location whose first field points to
 * the zero-terminated UTF-16 path of the INI file. A null IniPathRef and a
 * null string pointer both mean the empty path: no file is read. Arguments 2
 * to 4 are never read. Setup, which must be valid, receives the defaults,
 * then every well-formed value of section "Setup".
 */
typedef void(TUMELIN_CALL* TPluginExecZR71)(const char16_t* const* IniPathRef, void* Unused2, void* Unused3,
                                            void* Unused4, TClothSetup* Setup);

/**
 * Advances the membrane one step of 0.005 time units. PointsVar and FacesVar
 * are the addresses of the host variables holding the arrays; they and Setup
 * must be valid. Reserved is never read. Returns the number of points.
 */
typedef int32_t(TUMELIN_CALL* TPluginExecZR72)(void* Reserved, TClothPointArray* PointsVar,
                                               TClothFaceArray* FacesVar, const TClothSetup* Setup);

/** Copies the points' positions into the grid as its Mode prescribes; Grid and PointsVar must be valid. */
typedef void(TUMELIN_CALL* TPluginExecZR73)(TSurfaceGrid* Grid, TClothPointArray* PointsVar);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- layout checks ----------------------------------------------------- */

#ifdef __cplusplus
#define TUMELIN_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define TUMELIN_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

TUMELIN_STATIC_ASSERT(sizeof(TDbl3D) == 24, "TDbl3D is 24 bytes");
TUMELIN_STATIC_ASSERT(sizeof(TClothLink) == 16, "TClothLink is 16 bytes");
TUMELIN_STATIC_ASSERT(offsetof(TClothLink, RestLength) == 8, "TClothLink.RestLength at 8");
TUMELIN_STATIC_ASSERT(offsetof(TClothPoint, NewPos) == 24, "TClothPoint.NewPos at 24");
TUMELIN_STATIC_ASSERT(offsetof(TClothPoint, Vel) == 48, "TClothPoint.Vel at 48");
TUMELIN_STATIC_ASSERT(offsetof(TClothPoint, NewVel) == 72, "TClothPoint.NewVel at 72");
TUMELIN_STATIC_ASSERT(offsetof(TClothPoint, Fixed) == 96, "TClothPoint.Fixed at 96");
TUMELIN_STATIC_ASSERT(offsetof(TClothPoint, LinkCount) == 100, "TClothPoint.LinkCount at 100");
TUMELIN_STATIC_ASSERT(offsetof(TClothPoint, Links) == 104, "TClothPoint.Links at 104");
#if UINTPTR_MAX == 0xFFFFFFFFu
TUMELIN_STATIC_ASSERT(offsetof(TClothPoint, Faces) == 108, "TClothPoint.Faces at 108");
TUMELIN_STATIC_ASSERT(sizeof(TClothPoint) == 112, "TClothPoint is 112 bytes");
#else
TUMELIN_STATIC_ASSERT(offsetof(TClothPoint, Faces) == 112, "TClothPoint.Faces at 112");
TUMELIN_STATIC_ASSERT(sizeof(TClothPoint) == 120, "TClothPoint is 120 bytes");
#endif
TUMELIN_STATIC_ASSERT(offsetof(TClothFace, P1) == 4, "TClothFace.P1 at 4");
TUMELIN_STATIC_ASSERT(offsetof(TClothFace, P2) == 8, "TClothFace.P2 at 8");
TUMELIN_STATIC_ASSERT(offsetof(TClothFace, Normal) == 16, "TClothFace.Normal at 16");
TUMELIN_STATIC_ASSERT(sizeof(TClothFace) == 40, "TClothFace is 40 bytes");
TUMELIN_STATIC_ASSERT(offsetof(TClothSetup, ClothK0) == 8, "TClothSetup.ClothK0 at 8");
TUMELIN_STATIC_ASSERT(offsetof(TClothSetup, ClothK1) == 16, "TClothSetup.ClothK1 at 16");
TUMELIN_STATIC_ASSERT(offsetof(TClothSetup, ClothC) == 24, "TClothSetup.ClothC at 24");
TUMELIN_STATIC_ASSERT(offsetof(TClothSetup, ClothT0) == 32, "TClothSetup.ClothT0 at 32");
TUMELIN_STATIC_ASSERT(offsetof(TClothSetup, ClothMethod) == 36, "TClothSetup.ClothMethod at 36");
TUMELIN_STATIC_ASSERT(sizeof(TClothSetup) == 40, "TClothSetup is 40 bytes");
TUMELIN_STATIC_ASSERT(offsetof(TSurfaceGrid, CountU) == 4, "TSurfaceGrid.CountU at 4");
TUMELIN_STATIC_ASSERT(offsetof(TSurfaceGrid, CountV) == 8, "TSurfaceGrid.CountV at 8");
TUMELIN_STATIC_ASSERT(sizeof(TSurfaceGrid) == TUMELIN_GRID_POINTS_OFFSET, "grid cells start at 432");
TUMELIN_STATIC_ASSERT(TUMELIN_GRID_COLUMN_BYTES == TUMELIN_GRID_ROWS * 24, "a column is 257 cells");

#ifdef __cplusplus
#include <type_traits>
static_assert(std::is_trivially_copyable<TDbl3D>::value, "TDbl3D crosses the host boundary");
static_assert(std::is_trivially_copyable<TClothPoint>::value, "TClothPoint crosses the host boundary");
static_assert(std::is_trivially_copyable<TClothFace>::value, "TClothFace crosses the host boundary");
static_assert(std::is_trivially_copyable<TClothSetup>::value, "TClothSetup crosses the host boundary");
#endif

#endif /* TUMELIN_TUMELIN_H */
