// SymbolMap: a map from interned symbols to values, for the indexes of a
// class. Symbols are small consecutive numbers, so an open-addressed table
// of a power-of-two size finds one with a mask and a probe or two, where a
// node-based hash map divides and chases a pointer. It offers the part of
// std::unordered_map's interface that the indexes use; inserting keeps the
// entry already there, as emplace does.
//
// Thread safety: none; a class's indexes are built before it is published
// and only read afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace hostrt {

template <class V>
class SymbolMap {
 public:
  using value_type = std::pair<uint32_t, V>;  // symbol 0 marks a free entry

  class const_iterator {
   public:
    const_iterator(const value_type* at, const value_type* end) : at_(at), end_(end) { skip(); }
    const value_type& operator*() const { return *at_; }
    const value_type* operator->() const { return at_; }
    const_iterator& operator++() {
      ++at_;
      skip();
      return *this;
    }
    bool operator==(const const_iterator& other) const { return at_ == other.at_; }

   private:
    void skip() {
      while (at_ != end_ && at_->first == 0) ++at_;
    }
    const value_type* at_;
    const value_type* end_;
  };

  const_iterator begin() const { return {data(), data() + table_.size()}; }
  const_iterator end() const { return {data() + table_.size(), data() + table_.size()}; }
  size_t size() const { return count_; }

  const_iterator find(uint32_t symbol) const {
    const value_type* entry = lookUp(symbol);
    return entry ? const_iterator(entry, data() + table_.size()) : end();
  }
  size_t count(uint32_t symbol) const { return lookUp(symbol) ? 1 : 0; }
  // The symbol's value, or null.
  const V* get(uint32_t symbol) const {
    const value_type* entry = lookUp(symbol);
    return entry ? &entry->second : nullptr;
  }

  // Adds the entry unless the symbol has one; true when added.
  bool emplace(uint32_t symbol, V value) {
    if (lookUp(symbol)) return false;
    if (2 * (count_ + 1) > table_.size()) grow();
    place(symbol, std::move(value));
    return true;
  }
  bool insert(const value_type& entry) { return emplace(entry.first, entry.second); }

 private:
  const value_type* data() const { return table_.data(); }

  const value_type* lookUp(uint32_t symbol) const {
    if (table_.empty() || symbol == 0) return nullptr;
    const size_t mask = mask_;
    for (size_t i = symbol & mask;; i = (i + 1) & mask) {
      if (table_[i].first == symbol) return &table_[i];
      if (table_[i].first == 0) return nullptr;
    }
  }

  void place(uint32_t symbol, V value) {
    size_t mask = table_.size() - 1;
    size_t i = symbol & mask;
    while (table_[i].first != 0) i = (i + 1) & mask;
    table_[i] = {symbol, std::move(value)};
    ++count_;
  }

  void grow() {
    std::vector<value_type> old(table_.empty() ? 8 : table_.size() * 2);
    old.swap(table_);
    mask_ = table_.size() - 1;
    count_ = 0;
    for (value_type& entry : old) {
      if (entry.first != 0) place(entry.first, std::move(entry.second));
    }
  }

  std::vector<value_type> table_;  // a power of two in size, at most half full
  size_t mask_ = 0;                // table_.size() - 1 once the table has entries
  size_t count_ = 0;               // entries in use
};

}  // namespace hostrt
