#pragma once

#include <memory>
#include <string>

#include "store/db.hpp"

namespace quandelstk::gateway {

// path: a file (its folder is created), or ":memory:". WAL journal, a 10 s wait for the write lock.
std::unique_ptr<Db> OpenSqlite(const std::string& path);

}  // namespace quandelstk::gateway
