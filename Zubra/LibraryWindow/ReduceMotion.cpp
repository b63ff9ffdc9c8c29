#include "Zubra/LibraryWindow/ReduceMotion.h"

namespace ReduceMotion {
namespace {
bool reduce = false;
}

bool isOn() { return reduce; }
void setOn(bool on) { reduce = on; }

} // namespace ReduceMotion
