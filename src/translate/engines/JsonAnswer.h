#pragma once

// Reading answers with nlohmann-json without exceptions: every step checks the type first, so
// any bytes give a value or nothing. For the engines' .cpp files only.

#include <nlohmann/json.hpp>

#include <climits>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::translate::engines::json {

using Json = nlohmann::json;

// The parsed body, or nothing for bytes that are not JSON. Out of line, as Dump: the parser and
// the serializer are compiled once, not in every engine.
std::optional<Json> Parse(std::string_view body);

inline const Json* Member(const Json* j, std::string_view name) {
    if (!j || !j->is_object()) return nullptr;
    auto it = j->find(name);
    return it == j->end() ? nullptr : &*it;
}

inline const Json* Element(const Json* j, std::size_t index) {
    if (!j || !j->is_array() || j->size() <= index) return nullptr;
    return &(*j)[index];
}

inline std::optional<std::string> String(const Json* j) {
    if (!j || !j->is_string()) return std::nullopt;
    return j->get<std::string>();
}

inline std::optional<long long> Integer(const Json* j) {
    if (!j) return std::nullopt;
    if (j->is_number_integer()) return j->get<long long>();
    if (j->is_number_unsigned()) {
        const auto u = j->get<unsigned long long>();
        if (u > static_cast<unsigned long long>(LLONG_MAX)) return std::nullopt;
        return static_cast<long long>(u);
    }
    return std::nullopt;
}

// A request body: never throws, even on text that is not valid UTF-8.
std::string Dump(const Json& j);

}  // namespace velmora::translate::engines::json
