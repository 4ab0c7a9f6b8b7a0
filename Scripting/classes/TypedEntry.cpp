#include <VelmorandScript/TypedCall.h>

namespace VelmorandScript {

// Out of line, so that the entry's type information lives in the library alone.
TypedEntry::~TypedEntry() = default;

}  // namespace VelmorandScript
