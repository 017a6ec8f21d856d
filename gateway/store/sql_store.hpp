#pragma once

#include <memory>

#include "store/db.hpp"
#include "store/store.hpp"

namespace quandelstk::gateway {

// The store's logic over any Db; migrates the schema when opened.
std::unique_ptr<Store> MakeSqlStore(std::unique_ptr<Db> db);

// Digits only: numbers compared as people mean them ("+1555..." is "1555...").
std::string NumberDigits(const std::string& number);

}  // namespace quandelstk::gateway
