#include "app/unattended.h"

namespace travik {

std::optional<int> RunFromCommandLine(const TravikSetup&) {
  return std::nullopt;
}

}  // namespace travik
