#include "ZubraCore/Library/StoreSnapshot.h"

size_t qHash(const StoreSnapshot& snapshot, size_t seed) noexcept
{
    return qHashMulti(
        seed, snapshot.version, snapshot.selections, snapshot.groups, snapshot.drafts, snapshot.activeDraftID);
}
