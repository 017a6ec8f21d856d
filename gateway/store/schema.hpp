#pragma once

#include "store/db.hpp"

namespace quandelstk::gateway {

// The schema version this program writes.
int SchemaVersion();
// Brings the database to SchemaVersion(); throws StoreError for a newer one.
void Migrate(Db& db);

}  // namespace quandelstk::gateway
