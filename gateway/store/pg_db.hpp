#pragma once

#include <memory>
#include <string>

#include "store/db.hpp"

namespace quandelstk::gateway {

// A PostgreSQL connection (a libpq URL). It connects again by itself after the server went away;
// until it can, every statement throws StoreUnavailable.
std::unique_ptr<Db> OpenPostgres(const std::string& url);

// The URL with its password replaced by "***", for logs and errors.
std::string HidePassword(const std::string& url);

}  // namespace quandelstk::gateway
