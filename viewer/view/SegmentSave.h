#pragma once
// The segment save of the raster and RGB views: one job over one to three planes,
// each a frame of a bound layer saved as a new raster layer file.

#include <string>
#include <vector>

#include "platform/paint/Geometry.h"
#include "layer/RDPLayer.h"

class CMeterInfoBase;

struct SegmentPlane {
    std::string output;
    std::string source;  // the layer's file: its user tags and transform history
    CRDPLayer layer;     // shares the view's binding, so the samples stay mapped
};

// Saves rect (right and bottom excluded) of every plane as a new file of the
// plane's type with its source's user tags and the transform history shifted by
// rect's origin. The files are one conversion job: they replace any old files only
// when all are written. An output that is a source or another plane's output is
// refused in a box naming it; a file that cannot be created is told ("Error
// creating file !"); any later failure (a cancel too) ends quietly. Either way no
// output is left and every old file stays as it was. Runs on the job's thread.
void SaveSegmentPlanes(std::vector<SegmentPlane>& planes, const RECT& rect, CMeterInfoBase* meter);
