#pragma once
// A process that only evaluates for another one (a rank > 0 of a search over
// MPI) reads the same inputs but must leave every output file to the process
// that owns the run: after discard_outputs() the file writers of this layer
// write nowhere and standard output is dropped. Standard error stays.
namespace tarvex {

void discard_outputs();
bool outputs_discarded();

}  // namespace tarvex
