// Reading members of the service's answer by exact name, tolerant of unexpected types.
// Inline: the interpretation calls these hundreds of times per answer.
#pragma once

#include <simdjson.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::json {

using simdjson::SUCCESS;
using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

// A member's text: a string's content or a number's decimal text. Other types have none.
inline std::optional<std::string> ValueText(const element& e) {
    switch (e.type()) {
        case element_type::STRING: {
            std::string_view sv;
            if (e.get_string().get(sv) != SUCCESS) return std::nullopt;
            return std::string(sv);
        }
        case element_type::INT64: {
            int64_t v = 0;
            if (e.get_int64().get(v) != SUCCESS) return std::nullopt;
            return std::to_string(v);
        }
        case element_type::UINT64: {
            uint64_t v = 0;
            if (e.get_uint64().get(v) != SUCCESS) return std::nullopt;
            return std::to_string(v);
        }
        case element_type::DOUBLE: {
            double d = 0;
            if (e.get_double().get(d) != SUCCESS) return std::nullopt;
            char buf[64];
            auto r = std::to_chars(buf, buf + sizeof buf, d);
            return std::string(buf, r.ptr);
        }
        default:
            return std::nullopt;
    }
}

inline std::optional<element> Member(const object& obj, std::string_view name) {
    element e;
    if (obj.at_key(name).get(e) != SUCCESS) return std::nullopt;
    return e;
}

// A member that must be an object or an array counts as missing when it has another type.
inline std::optional<object> ObjectMember(const object& obj, std::string_view name) {
    object o;
    if (obj.at_key(name).get_object().get(o) != SUCCESS) return std::nullopt;
    return o;
}

inline std::optional<array> ArrayMember(const object& obj, std::string_view name) {
    array a;
    if (obj.at_key(name).get_array().get(a) != SUCCESS) return std::nullopt;
    return a;
}

inline std::string MemberText(const object& obj, std::string_view name) {
    auto e = Member(obj, name);
    if (!e) return {};
    return ValueText(*e).value_or(std::string());
}

// A string member's content without a copy; empty when absent or not a string.
inline std::string_view MemberString(const object& obj, std::string_view name) {
    std::string_view sv;
    if (obj.at_key(name).get_string().get(sv) != SUCCESS) return {};
    return sv;
}

// A finite number member, whatever its JSON spelling; none for null, text or absence.
inline std::optional<double> MemberNumber(const object& obj, std::string_view name) {
    double d = 0;
    if (obj.at_key(name).get_double().get(d) != SUCCESS || !std::isfinite(d)) return std::nullopt;
    return d;
}

// A number that is a whole value within [lo, hi], whatever its JSON spelling (2, 2.0, 2e0).
inline std::optional<int64_t> WholeNumber(const element& e, int64_t lo, int64_t hi) {
    switch (e.type()) {
        case element_type::INT64: {
            int64_t v = 0;
            if (e.get_int64().get(v) != SUCCESS || v < lo || v > hi) return std::nullopt;
            return v;
        }
        case element_type::DOUBLE: {
            double d = 0;
            if (e.get_double().get(d) != SUCCESS) return std::nullopt;
            if (!std::isfinite(d) || d != std::floor(d)) return std::nullopt;
            if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) return std::nullopt;
            return static_cast<int64_t>(d);
        }
        default:
            return std::nullopt;  // UINT64 lies above any int64 bound
    }
}

}  // namespace velmora::json
