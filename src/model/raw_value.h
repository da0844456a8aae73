#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace bm {

// Enumerations whose cases have fixed texts (stored and shown) specialise
// RawValues<E> with `static constexpr std::array<std::pair<E, std::string_view>, N> table`,
// in case order.
template <class E>
struct RawValues;

template <class E>
constexpr std::string_view rawValue(E value) {
  for (const auto& [which, text] : RawValues<E>::table)
    if (which == value) return text;
  return {};
}

// The case whose raw text equals `text` exactly (case-sensitive), or nothing.
template <class E>
constexpr std::optional<E> fromRaw(std::string_view text) {
  for (const auto& [which, raw] : RawValues<E>::table)
    if (raw == text) return which;
  return std::nullopt;
}

// Every case, in case order.
template <class E>
constexpr auto allCases() {
  std::array<E, RawValues<E>::table.size()> cases{};
  for (size_t i = 0; i < cases.size(); ++i) cases[i] = RawValues<E>::table[i].first;
  return cases;
}

}  // namespace bm
