#include "PipelineGraph.h"

#include <cstdlib>

namespace corvala::engine {

void savePipelineGraph(GstElement* pipeline, const std::string& name) {
  const char* dir = getenv("CORVALA_ENGINE_DOT");
  if (!dir || !*dir || !pipeline) return;
  const std::string path = std::string(dir) + "/" + name + ".dot";
  gchar* dot = gst_debug_bin_to_dot_data(GST_BIN(pipeline), GST_DEBUG_GRAPH_SHOW_ALL);
  g_file_set_contents(path.c_str(), dot, -1, nullptr);
  g_free(dot);
}

}  // namespace corvala::engine
