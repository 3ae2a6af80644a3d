#include "calibration/remote_evaluator.hpp"

namespace tarvex {
namespace {
RemoteEvaluator* g_evaluator = nullptr;
}

RemoteEvaluator* remote_evaluator() { return g_evaluator; }
void set_remote_evaluator(RemoteEvaluator* evaluator) { g_evaluator = evaluator; }

}  // namespace tarvex
