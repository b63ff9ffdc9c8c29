#pragma once
// Whether the views animate state changes. The desktop offers no reduce-motion setting that Qt
// reads, so it is off; tests switch it on to check the immediate path.

namespace ReduceMotion {

bool isOn();
void setOn(bool on);

} // namespace ReduceMotion
