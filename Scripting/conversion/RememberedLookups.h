#pragma once

#include "conversion/AddressCache.h"

#include <VelmorandScript/Conversion.h>

namespace VelmorandScript {

/// Direct conversions by the type_info objects of their source and target, and wrapper routines
/// by the type_info object of a value's derived type. Entries of the conversion and wrapper
/// tables are never removed or replaced (the first registration wins), so what was found once
/// stays right; misses are not remembered, since the conversion or routine may be registered
/// later.
struct ConversionRegistry::RememberedLookups {
    Detail::AddressCache<const ConversionTable::value_type*> conversions;
    Detail::AddressCache<ConversionRoutine> wrappers;
};

}  // namespace VelmorandScript
