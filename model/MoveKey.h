#pragma once
#include <utility>

// Gives the value under from to the key to, in place of whatever to had
// (to loses its value even when from has none). Both keys equal: nothing.
template <class TMap>
void MoveKey(TMap& map, const typename TMap::key_type& from, const typename TMap::key_type& to) {
    if (from == to) return;
    auto node = map.extract(from);
    map.erase(to);
    if (node.empty()) return;
    node.key() = to;
    map.insert(std::move(node));
}
