// Result files' formats: the surface as OBJ, the per-step figures as CSV
// and as an SVG plot. What writes them, as one set, is file_set.h.
#pragma once

#include <tumelin/tumelin.h>

#include <string>
#include <vector>

#include "membrane.h"
#include "simulation.h"

namespace tumelin {

// how many digits an OBJ file's coordinates carry: nine, or all that read
// back as the same doubles (a membrane handed to another host)
enum class ObjDigits { kShort, kExact };

std::string ObjText(const TSurfaceGrid* grid, Shape shape, const std::string& comment);
// a free mesh as it stands, with its own triangles in their own winding
std::string ObjText(const Membrane& membrane, const std::string& comment,
                    ObjDigits digits = ObjDigits::kShort);
std::string CsvText(const std::vector<StepFigures>& figures, Shape shape);
// volume over steps for closed shapes, mean height for the sheet, mean
// radius for the tube
std::string SvgPlot(const std::vector<StepFigures>& figures, Shape shape, const std::string& title);

}  // namespace tumelin
