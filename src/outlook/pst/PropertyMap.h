#pragma once
// PropertyMap: a node's or a row's properties by property id, kept as one
// vector sorted by id. A message carries a few dozen properties and is built
// once, so a flat vector costs one allocation where a tree costs one per
// property, and it is walked in id order as the writers need it.
//
// Invariants: ids are unique and ascending. Unlike a tree, any insertion may
// move the values: pointers and references into the map are valid only until
// the next insertion. Values arrive mostly in id order (read from a file,
// unpacked from a row), so an insertion at the end is O(1); elsewhere it is
// O(n) in the map's size, which is bounded by the 65,536 ids.

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "outlook/pst/PropValue.h"

namespace qb::pst {

class PropertyMap {
public:
    using key_type = std::uint16_t;
    using mapped_type = PropValue;
    using value_type = std::pair<std::uint16_t, PropValue>;
    using Storage = std::vector<value_type>;
    using iterator = Storage::iterator;
    using const_iterator = Storage::const_iterator;
    using size_type = std::size_t;

    PropertyMap() = default;
    PropertyMap(std::initializer_list<value_type> values) {
        for (const value_type& v : values) insert(v);
    }

    iterator begin() { return values_.begin(); }
    iterator end() { return values_.end(); }
    const_iterator begin() const { return values_.begin(); }
    const_iterator end() const { return values_.end(); }
    const_iterator cbegin() const { return values_.begin(); }
    const_iterator cend() const { return values_.end(); }
    std::size_t size() const { return values_.size(); }
    bool empty() const { return values_.empty(); }
    void clear() { values_.clear(); }
    void reserve(std::size_t n) { values_.reserve(n); }

    iterator lower_bound(std::uint16_t id) {
        if (values_.empty() || values_.back().first < id) return values_.end();
        return std::lower_bound(values_.begin(), values_.end(), id, [](const value_type& v, std::uint16_t k) { return v.first < k; });
    }
    const_iterator lower_bound(std::uint16_t id) const { return const_cast<PropertyMap*>(this)->lower_bound(id); }
    iterator find(std::uint16_t id) {
        iterator it = lower_bound(id);
        return it != values_.end() && it->first == id ? it : values_.end();
    }
    const_iterator find(std::uint16_t id) const { return const_cast<PropertyMap*>(this)->find(id); }
    std::size_t count(std::uint16_t id) const { return find(id) != end() ? 1 : 0; }
    bool contains(std::uint16_t id) const { return find(id) != end(); }

    PropValue& at(std::uint16_t id) {
        iterator it = find(id);
        if (it == end()) throw std::out_of_range("property not in the map");
        return it->second;
    }
    const PropValue& at(std::uint16_t id) const { return const_cast<PropertyMap*>(this)->at(id); }

    PropValue& operator[](std::uint16_t id) {
        iterator it = lower_bound(id);
        if (it != values_.end() && it->first == id) return it->second;
        return values_.emplace(it, id, PropValue())->second;
    }

    // Inserts when the id is absent, as a map's insert does.
    std::pair<iterator, bool> insert(value_type value) {
        iterator it = lower_bound(value.first);
        if (it != values_.end() && it->first == value.first) return {it, false};
        return {values_.insert(it, std::move(value)), true};
    }
    template <class It>
    void insert(It first, It last) {
        for (; first != last; ++first) insert(value_type(first->first, first->second));
    }
    std::pair<iterator, bool> emplace(std::uint16_t id, PropValue value) { return insert(value_type(id, std::move(value))); }
    std::pair<iterator, bool> insert_or_assign(std::uint16_t id, PropValue value) {
        iterator it = lower_bound(id);
        if (it != values_.end() && it->first == id) {
            it->second = std::move(value);
            return {it, false};
        }
        return {values_.emplace(it, id, std::move(value)), true};
    }

    // Sets every value, as operator[] one after another would (the last of
    // equal ids wins), sorting them once instead of inserting each in place.
    void Assign(Storage values) {
        if (!values_.empty()) {
            for (value_type& v : values) insert_or_assign(v.first, std::move(v.second));
            return;
        }
        // Sorts keys of id and position (the position keeps equal ids in
        // their order), then moves each value once into its place.
        std::vector<std::uint64_t> order(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) order[i] = (std::uint64_t(values[i].first) << 32) | i;
        std::sort(order.begin(), order.end());
        Storage sorted;
        sorted.reserve(values.capacity());
        for (std::size_t k = 0; k < order.size(); ++k) {
            value_type& v = values[order[k] & 0xFFFFFFFFu];
            if (!sorted.empty() && sorted.back().first == v.first) sorted.back().second = std::move(v.second);
            else sorted.push_back(std::move(v));
        }
        values_ = std::move(sorted);
    }

    std::size_t erase(std::uint16_t id) {
        iterator it = find(id);
        if (it == end()) return 0;
        values_.erase(it);
        return 1;
    }
    iterator erase(const_iterator it) { return values_.erase(it); }

    bool operator==(const PropertyMap& other) const { return values_ == other.values_; }

private:
    Storage values_;
};

}  // namespace qb::pst
