// What a run writes: the surface as OBJ and as a picture, the frames, the
// figures, the plot and the scene, and the line that sums the run up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "animation.h"
#include "file_set.h"
#include "run_loop.h"
#include "simulation.h"

namespace tumelin {

// the surface as OBJ text: the grid as the write-back fills it, or a free
// mesh as it stands
std::string SurfaceObj(Simulation* sim, const Scenario& s, const std::string& comment);

// the surface as a picture, with the run's camera and framing
Image SurfacePicture(const Simulation& sim, const Scenario& s, const RunOutput& out);

// the picture of the surface as it is now: a grid is written back first
Image CurrentPicture(Simulation* sim, const Scenario& s, const RunOutput& out);

// a name WriteFrame gives
bool IsFrameName(const std::string& name);

// frames/step_NNNNNN.obj and .png: the surface after `step`, whose picture
// is `picture`
void WriteFrame(Simulation* sim, const Scenario& s, const RunOutput& out, int64_t step, const Image& picture,
                OutputSet* files);

// the result files of a finished run, into `files`
void WriteOutputs(Simulation* sim, const Scenario& s, const TClothSetup& setup,
                  const std::vector<StepFigures>& figures, const RunOutput& out, OutputSet* files,
                  Animation* animation);

// "NAME: SHAPE CxR (N points), S steps in T s (R steps/s), FIGURES, max speed V[; files in F]"
// with T the time the steps took in the plug-in
std::string SummaryLine(const Scenario& s, int32_t points, const StepFigures& last, double seconds,
                        const RunOutput& out);

// a name WriteOutputs gives an animation
bool IsAnimationName(const std::string& name);

}  // namespace tumelin
