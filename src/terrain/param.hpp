#pragma once
#include "model/model_state.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

// Link-property file: a header line, then one line per Strahler stream of the
// stream-start table whose start cell is not marked -1 in CATCHMENT_MASK:
// start cell, end cell (the first cell downstream whose order differs, or
// the cell without direction where the stream ends), order and length in
// cells. Written to the open file, which is left open.
void PARAM(const ModelState& s, TextWriter& out);

}  // namespace tarvex
