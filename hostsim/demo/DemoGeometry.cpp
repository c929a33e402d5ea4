#include "hostsim/demo/DemoGeometry.h"

#include <algorithm>

namespace OrvexSim {

void TBounds::Add(const TPoint& P) {
  MinX = std::min(MinX, P.X);
  MinY = std::min(MinY, P.Y);
  MaxX = std::max(MaxX, P.X);
  MaxY = std::max(MaxY, P.Y);
}

}  // namespace OrvexSim
