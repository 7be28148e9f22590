/*
 * The Tumelin host kit as a C library (libtumelin_kit.so, beside
 * Tumelin.kwt) for hosts written in other languages: Python through ctypes,
 * C#, Rust, a game engine. It builds membranes exactly as tumelin-host does
 * (from a triangle mesh, a grid shape or a file), pins and checks them,
 * loads settings through the plug-in and judges them by the plug-in's own
 * rules, and steps a membrane through the plug-in's entries with the host's
 * divergence rule, figures, warnings and state hash. The plug-in is still a
 * separate library, loaded by path and called through its six entries
 * (tumelin.h); this library is the host's toolkit, not a second plug-in.
 *
 * Rules a caller keeps:
 *
 * - Handles. Every object is an opaque handle made by a function whose name
 *   ends in Load, New or From..., and freed by the matching ...Free function
 *   (null is accepted and ignored). A simulation copies the membrane and the
 *   settings it is made from, so those may be freed or changed afterwards;
 *   it uses the plug-in handle, which must outlive it.
 * - Errors. Functions that can fail return a TumelinKitStatus; anything but
 *   TUMELIN_KIT_OK leaves the output handle null and sets a one-line
 *   message, worded as tumelin-host words it, that TumelinKitLastError()
 *   returns on the same thread until that thread's next failing call.
 * - Text. Strings go in and come out as UTF-8, zero-terminated. Returned
 *   strings belong to the handle they came from and stay valid until that
 *   handle is freed or the same function is called on it again. Lists of
 *   lines come as one string, each line ended by "\n" (empty: no line).
 * - Threads. The library keeps no global state but the per-thread error
 *   message: different handles may be used on different threads at the same
 *   time; one handle is used by one thread at a time.
 * - Bits. Points, springs and faces are listed in the order
 *   docs/host-integration.md documents for tumelin-host, so the same mesh
 *   and settings give the same state hash as `tumelin-host run --mesh`.
 */
#ifndef TUMELIN_KIT_H
#define TUMELIN_KIT_H

#include <stdint.h>

#include "tumelin.h"

#if defined(_WIN32) && defined(TUMELIN_KIT_BUILD)
#define TUMELIN_KIT_API __declspec(dllexport)
#elif defined(_WIN32)
#define TUMELIN_KIT_API __declspec(dllimport)
#else
#define TUMELIN_KIT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum TumelinKitStatus {
  TUMELIN_KIT_OK = 0,
  TUMELIN_KIT_BAD_ARGUMENT = 1, /**< a null handle or pointer, a negative count, an unknown name */
  TUMELIN_KIT_NOT_FOUND = 2,    /**< the plug-in or a file could not be opened */
  TUMELIN_KIT_MESH_ERROR = 3,   /**< a mesh, a shape's options or a pinning that builds no membrane */
  TUMELIN_KIT_DIVERGED = 4,     /**< the run diverged; see TumelinKitSimulationStep */
  TUMELIN_KIT_FAILED = 5        /**< anything else: a file that cannot be written, memory */
} TumelinKitStatus;

/** Which way the triangles of a mesh run, seen from outside. */
typedef enum TumelinKitWinding {
  TUMELIN_KIT_CLOCKWISE = 0,        /**< as the plug-in needs: taken as given */
  TUMELIN_KIT_COUNTERCLOCKWISE = 1, /**< every triangle is reversed */
  TUMELIN_KIT_AUTO = 2 /**< reversed when the mesh encloses a negative volume as the check measures it */
} TumelinKitWinding;

typedef struct TumelinKitPlugin TumelinKitPlugin;
typedef struct TumelinKitSettings TumelinKitSettings;
typedef struct TumelinKitMembrane TumelinKitMembrane;
typedef struct TumelinKitSimulation TumelinKitSimulation;

/** The message of this thread's last failing call; "" when none failed. */
TUMELIN_KIT_API const char* TumelinKitLastError(void);

/**
 * `value` as digits and an exponent without a decimal separator ("8e-1",
 * "500"), which the plug-in reads back to the same bits whatever the user's
 * separator. Writes at most `size` bytes, zero included; returns the length.
 */
TUMELIN_KIT_API int32_t TumelinKitFormatReal(double value, char* text, int32_t size);

/* ---- the plug-in ------------------------------------------------------- */

/** Loads Tumelin.kwt from `path` and binds its six entries. */
TUMELIN_KIT_API TumelinKitStatus TumelinKitPluginLoad(const char* path, TumelinKitPlugin** plugin);
TUMELIN_KIT_API void TumelinKitPluginFree(TumelinKitPlugin* plugin);
/** PluginNameZR7 in UTF-8: "Tumelin,52". */
TUMELIN_KIT_API const char* TumelinKitPluginName(TumelinKitPlugin* plugin);

/* ---- settings ---------------------------------------------------------- */

/**
 * Settings as `tumelin-host settings INI --set KEY=VALUE ...` makes them:
 * section [Setup] of the INI file at `iniPath` (null or "": none) with the
 * `count` texts `values[i]` given for the keys `keys[i]` over it, loaded by
 * the plug-in through PluginExecZR71 (missing keys: its defaults). A key that
 * section [Setup] does not know is TUMELIN_KIT_BAD_ARGUMENT.
 */
TUMELIN_KIT_API TumelinKitStatus TumelinKitSettingsLoad(TumelinKitPlugin* plugin, const char* iniPath,
                                                        const char* const* keys, const char* const* values,
                                                        int32_t count, TumelinKitSettings** settings);
TUMELIN_KIT_API void TumelinKitSettingsFree(TumelinKitSettings* settings);
/** The record the plug-in filled. */
TUMELIN_KIT_API const TClothSetup* TumelinKitSettingsRecord(TumelinKitSettings* settings);

/** One row of the settings report, as `tumelin-host settings` prints it. */
typedef struct TumelinKitVerdict {
  const char* key;    /**< as the key table spells it: "ClothP" */
  int32_t present;    /**< 1 when the file held text for the key */
  int32_t accepted;   /**< 1 when the plug-in's rule took that text */
  const char* text;   /**< the text read, "" when none */
  const char* stored; /**< the value the plug-in stored */
  const char* why;    /**< where the value came from, or why the default stayed */
} TumelinKitVerdict;

/** Rows, in the order the plug-in reads the keys. */
TUMELIN_KIT_API int32_t TumelinKitSettingsVerdictCount(TumelinKitSettings* settings);
/** Row `index`; its strings belong to `settings`. */
TUMELIN_KIT_API TumelinKitStatus TumelinKitSettingsVerdict(TumelinKitSettings* settings, int32_t index,
                                                           TumelinKitVerdict* verdict);
/** Lines about the file and the values the plug-in did not take, as a run warns of them. */
TUMELIN_KIT_API const char* TumelinKitSettingsWarnings(TumelinKitSettings* settings);
/** Section [Setup] with every stored value, reals without a decimal separator, CR LF line ends. */
TUMELIN_KIT_API const char* TumelinKitSettingsIniText(TumelinKitSettings* settings);

/* ---- membranes --------------------------------------------------------- */

/**
 * A free membrane from a triangle mesh: `positions` is #points by 3 doubles
 * (x, y, z per point), `triangles` #triangles by 3 indices into the points.
 * Points become points in their order, every distinct edge a spring with its
 * start length as rest length, triangles faces; nothing is pinned.
 */
TUMELIN_KIT_API TumelinKitStatus TumelinKitMembraneFromMesh(const double* positions, int32_t pointCount,
                                                            const int32_t* triangles, int32_t triangleCount,
                                                            TumelinKitWinding winding,
                                                            TumelinKitMembrane** membrane);
/**
 * A membrane from the membrane options as tumelin-host's options and
 * section [Membrane] name them (keys as the preview names them: "shape",
 * "columns", "rows", "radius", "pin", "pinPoints", "mesh", "flip", ...),
 * values as text; options not given take their defaults.
 */
TUMELIN_KIT_API TumelinKitStatus TumelinKitMembraneFromOptions(const char* const* keys,
                                                               const char* const* values, int32_t count,
                                                               TumelinKitMembrane** membrane);
/**
 * A membrane from a file as tumelin-host reads it: an OBJ mesh (its
 * triangles reversed when `flip` is 1), or an INI file's section [Membrane].
 */
TUMELIN_KIT_API TumelinKitStatus TumelinKitMembraneFromFile(const char* path, int32_t flip,
                                                            TumelinKitMembrane** membrane);
TUMELIN_KIT_API void TumelinKitMembraneFree(TumelinKitMembrane* membrane);

TUMELIN_KIT_API int32_t TumelinKitMembranePointCount(TumelinKitMembrane* membrane);
TUMELIN_KIT_API int32_t TumelinKitMembraneFaceCount(TumelinKitMembrane* membrane);
/** The points as the plug-in sees them (#points, stride sizeof(TClothPoint)); owned by the membrane. */
TUMELIN_KIT_API TClothPoint* TumelinKitMembranePoints(TumelinKitMembrane* membrane);
/**
 * The addresses of the membrane's host variables, as PluginExecZR72 and
 * PluginExecZR73 take them, for a host that calls the plug-in itself.
 */
TUMELIN_KIT_API void TumelinKitMembraneRecords(TumelinKitMembrane* membrane, TClothPointArray** pointsVar,
                                               TClothFaceArray** facesVar);
/** Pins the `count` points `indices`; an index outside the points is TUMELIN_KIT_BAD_ARGUMENT, nothing
 * pinned. */
TUMELIN_KIT_API TumelinKitStatus TumelinKitMembranePin(TumelinKitMembrane* membrane, const int32_t* indices,
                                                       int32_t count);
/** Pins every point whose z is at most `z`; returns how many that is. */
TUMELIN_KIT_API int32_t TumelinKitMembranePinBelow(TumelinKitMembrane* membrane, double z);
/** The state hash (docs/host-integration.md: The state hash) as 16 hexadecimal digits. */
TUMELIN_KIT_API const char* TumelinKitMembraneHash(TumelinKitMembrane* membrane);
/** Writes the points in point order and the faces as wound, every digit, to an OBJ file. */
TUMELIN_KIT_API TumelinKitStatus TumelinKitMembraneWriteObj(TumelinKitMembrane* membrane, const char* path);

/** What the mesh check found (`tumelin-host check`). */
typedef struct TumelinKitMeshCheck {
  int32_t points, edges, faces;
  int32_t euler, expectedEuler;
  int32_t openEdges;        /**< on one triangle only */
  int32_t nonManifoldEdges; /**< on three or more */
  int32_t misorientedEdges; /**< both triangles run it the same way */
  int32_t degenerateFaces, isolatedPoints, pinnedPoints;
  int32_t closed;      /**< 1 when no edge is open */
  int32_t clean;       /**< 1 when the check found no problem */
  int32_t inflates;    /**< 1 when a positive ClothP pushes it outwards */
  double signedVolume; /**< with the faces' own winding; < 0 when clockwise seen from outside */
  double longestSpring;
} TumelinKitMeshCheck;

/**
 * Checks the membrane: fills `check` and returns its problems, one line
 * each as `tumelin-host check` words them (owned by the membrane).
 */
TUMELIN_KIT_API const char* TumelinKitMembraneCheck(TumelinKitMembrane* membrane, TumelinKitMeshCheck* check);

/* ---- simulation -------------------------------------------------------- */

/**
 * Called after each step with the steps done in this call and the steps
 * asked for; a nonzero return stops the call after that step.
 */
typedef int32_t (*TumelinKitProgress)(int64_t done, int64_t count, void* context);

/** A run of a copy of `membrane` with the settings record of `settings`, stepped through `plugin`. */
TUMELIN_KIT_API TumelinKitStatus TumelinKitSimulationNew(TumelinKitPlugin* plugin,
                                                         TumelinKitMembrane* membrane,
                                                         TumelinKitSettings* settings,
                                                         TumelinKitSimulation** simulation);
TUMELIN_KIT_API void TumelinKitSimulationFree(TumelinKitSimulation* simulation);

/**
 * Up to `count` steps through PluginExecZR72; `progress` (may be null) is
 * called after each. Every step is checked as tumelin-host checks it: a
 * point whose position or velocity is not finite, or faster than a sound
 * run can be, makes the call return TUMELIN_KIT_DIVERGED with the host's
 * message "the run diverged at step N: ..." (and so does every later call:
 * the state stays as it diverged). `done` (may be null) receives the steps
 * taken. A call of several steps checks once, after the last, and only when
 * that check fails runs them again from its start, each checked, to name
 * the step: `progress` may then have been called for steps past it.
 */
TUMELIN_KIT_API TumelinKitStatus TumelinKitSimulationStep(TumelinKitSimulation* simulation, int64_t count,
                                                          TumelinKitProgress progress, void* context,
                                                          int64_t* done);
TUMELIN_KIT_API int64_t TumelinKitSimulationStepsDone(TumelinKitSimulation* simulation);
/**
 * The membrane as it stands, owned by the simulation: its points, hash,
 * check and OBJ. Its points may be changed between steps (moved, pinned)
 * through this handle, fetched again after the last step: each fetch makes
 * the next call save the state afresh before stepping. The views of
 * TumelinKitSimulationVectors are for reading.
 */
TUMELIN_KIT_API TumelinKitMembrane* TumelinKitSimulationMembrane(TumelinKitSimulation* simulation);
/**
 * Pos of point 0 (`which` 0) or Vel of point 0 (`which` 1); point i's is
 * `strideBytes` * i bytes further. Valid while the simulation lives, changed
 * by every step: read them as views, not copies.
 */
TUMELIN_KIT_API const double* TumelinKitSimulationVectors(TumelinKitSimulation* simulation, int32_t which,
                                                          int32_t* strideBytes);
/** Copies the positions (`which` 0) or velocities (1) into `out`, 3 floats per point; `count` is 3 * #points.
 */
TUMELIN_KIT_API TumelinKitStatus TumelinKitSimulationCopy(TumelinKitSimulation* simulation, int32_t which,
                                                          float* out, int64_t count);

/** Figures of the state as figures.csv has them. */
typedef struct TumelinKitFigures {
  int64_t step;
  double volume, area, meanRadius, meanHeight, maxSpeed, kineticEnergy, maxStretch, maxCompression;
  const char* figure; /**< the shape's own figure: "volume", "mean_height" or "mean_radius" */
  double figureValue;
} TumelinKitFigures;

TUMELIN_KIT_API void TumelinKitSimulationFigures(TumelinKitSimulation* simulation,
                                                 TumelinKitFigures* figures);
/** What tumelin-host run warns of before it starts, one line each (the mesh's problems, then the settings').
 */
TUMELIN_KIT_API const char* TumelinKitSimulationWarnings(TumelinKitSimulation* simulation);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TUMELIN_KIT_H */
