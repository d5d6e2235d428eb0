#include "transform/names.h"

namespace ps {

const StepNames& Names() {
  static const StepNames names;
  return names;
}

}  // namespace ps
