// Reads a variant map the way the add-on and the host read results and arguments: every
// member through every typed getter, every nested map, and the typed values (tables,
// proxy descriptions, proxy references) found in them. Each answer is checked against
// the others, so a getter that disagrees with its kind query aborts the run.
#pragma once

#include "variant/KvVariantMap.h"

namespace Fuzz {

void WalkMap(const IPC::KvVariantMap& map);

}  // namespace Fuzz
