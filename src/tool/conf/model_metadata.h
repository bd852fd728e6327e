// What a model file says of itself, read straight from its ONNX bytes
// without the runtime: the custom metadata and the graph's input names.
// Listing voices needs only these, and a session would cost the whole
// model's load and optimisation.

#ifndef TOLVAREN_TTS_TOOL_CONF_MODEL_METADATA_H_
#define TOLVAREN_TTS_TOOL_CONF_MODEL_METADATA_H_

#include <map>
#include <string>
#include <vector>

#include "absl/status/statusor.h"

namespace tolvaren {

struct ModelMetadata {
  std::map<std::string, std::string> custom;  // metadata_props
  std::vector<std::string> inputs;            // graph inputs, in order
};

// Walks the protobuf fields of the model file at `path` (a regular file),
// skipping the weights rather than reading them. InvalidArgument naming the
// path for bytes that are not a well-formed model, NotFound for a file that
// cannot be opened.
[[nodiscard]] absl::StatusOr<ModelMetadata> ReadModelMetadata(
    const std::string& path);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_CONF_MODEL_METADATA_H_
