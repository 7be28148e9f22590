// Result files: the surface as OBJ, the per-step figures as CSV and as an
// SVG plot. The files of a run form one set: each is written under a
// temporary name and all are renamed into place only once every one was
// written, so a failed run leaves the previous set or none, never half of
// one and never half a file.
#pragma once

#include <tumelin/tumelin.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "grid_mesh.h"
#include "membrane.h"
#include "simulation.h"
#include "text.h"

namespace tumelin {

// a fresh hidden name in the folder of `path` for a file that becomes
// `path`: ".NAME.tmp-PID-XXXXXXXX", PID the process that writes it
std::string TemporaryPathBeside(const std::string& path);
// true for a name TemporaryPathBeside gives, with the process id it holds
bool IsTemporaryName(const std::string& name, long* pid);
// Removes what a process that ended without cleaning up (killed, or the
// machine went down) left in `folder`: the temporary names of processes no
// longer running, only of the file `of` when it is given. Returns how many
// entries went.
int RemoveAbandonedTemporaries(const std::string& folder, const std::string& of = std::string());

// Output files that appear together. Add writes each under a temporary name
// in its own folder; Commit renames them all into place. Should a rename
// fail, the files already renamed are taken back and the ones they replaced
// restored. Whatever is not committed is removed with the object, so a run
// that stops early leaves the folder as it found it.
class OutputSet {
 public:
  OutputSet() = default;
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // writes `bytes` for `path` (its folder must exist); false with a
  // one-line message naming `path`
  bool Add(const std::string& path, const std::string& bytes, std::string* error);
  // every file added, renamed into place; false with a one-line message,
  // and then the previous files are back as they were
  bool Commit(std::string* error);
  // where the files added go
  std::vector<std::string> Paths() const;

 private:
  struct File {
    std::string temp;  // as written
    std::string path;  // where it belongs
  };
  std::vector<File> pending_;
};

// one file through a set of its own
bool WriteFileAtomic(const std::string& path, const std::string& bytes, std::string* error);

// The folders a command creates for its outputs. Unless Keep is called, the
// ones it created are removed with the object when they are empty, the
// innermost first, so that a command that fails or is interrupted leaves no
// folder of its own behind.
class NewFolders {
 public:
  NewFolders() = default;
  ~NewFolders();
  NewFolders(const NewFolders&) = delete;
  NewFolders& operator=(const NewFolders&) = delete;

  // `folder` and the folders above it that are missing; false with a
  // one-line message
  bool Create(const std::string& folder, std::string* error);
  // what was created stays
  void Keep() { created_.clear(); }

 private:
  std::vector<std::string> created_;  // outermost first
};

// creates the folder through `folders` when needed and proves it writable
bool PrepareOutputFolder(const std::string& folder, NewFolders* folders, std::string* error);

// Once a new set is in place: removes what an earlier run left in `folder`
// that this one did not write, the entries whose names `earlier` accepts and
// that no path of `written` ends in (a folder with its contents), so that
// the folder holds one run's outputs, not a mix. Returns how many entries
// went; one that cannot be removed stays and is not counted.
int RemoveEarlierOutputs(const std::string& folder, bool (*earlier)(const std::string& name),
                         const std::vector<std::string>& written);

std::string ObjText(const TSurfaceGrid* grid, Shape shape, const std::string& comment);
// a free mesh as it stands, with its own triangles in their own winding
std::string ObjText(const Membrane& membrane, const std::string& comment);
std::string CsvText(const std::vector<StepFigures>& figures, Shape shape);
// volume over steps for closed shapes, mean height for the sheet, mean
// radius for the tube
std::string SvgPlot(const std::vector<StepFigures>& figures, Shape shape, const std::string& title);

}  // namespace tumelin
