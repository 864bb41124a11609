// A pipeline's elements and links as a Graphviz file, for finding out after
// the fact what a session really ran: written only when CORVALA_ENGINE_DOT
// names a folder, just before the pipeline is torn down.
#pragma once

#include <gst/gst.h>

#include <string>

namespace corvala::engine {

void savePipelineGraph(GstElement* pipeline, const std::string& name);

}  // namespace corvala::engine
