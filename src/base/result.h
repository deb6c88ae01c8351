// The outcome of an operation that can fail: a value, or a message fit to show the user.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace velmora {

struct TFailure {
    std::string Message;
    int Code = 0;  // the system's errno, or the library's own code (SQLite's), else 0
    int Kind = 0;  // the failing layer's own kind of failure (history::THistoryError), else 0
};

inline TFailure Fail(std::string message, int code = 0) {
    return TFailure{std::move(message), code, 0};
}

template <typename T = void>
class [[nodiscard]] TResult {
  public:
    TResult(T value) : FValue(std::move(value)) {}
    TResult(TFailure failure) : FFailure(std::move(failure)) {}

    bool Ok() const { return FValue.has_value(); }
    explicit operator bool() const { return Ok(); }
    // The value; only when Ok().
    T& operator*() { return *FValue; }
    const T& operator*() const { return *FValue; }
    T* operator->() { return &*FValue; }
    const T* operator->() const { return &*FValue; }
    // Empty on success.
    const std::string& Error() const { return FFailure.Message; }
    int Code() const { return FFailure.Code; }
    int Kind() const { return FFailure.Kind; }
    // The failure, to pass on as another TResult's; only when !Ok().
    const TFailure& Failure() const { return FFailure; }

  private:
    std::optional<T> FValue;
    TFailure FFailure;
};

template <>
class [[nodiscard]] TResult<void> {
  public:
    TResult() = default;
    TResult(TFailure failure) : FFailed(true), FFailure(std::move(failure)) {}

    bool Ok() const { return !FFailed; }
    explicit operator bool() const { return Ok(); }
    const std::string& Error() const { return FFailure.Message; }
    int Code() const { return FFailure.Code; }
    int Kind() const { return FFailure.Kind; }
    // The failure, to pass on as another TResult's; only when !Ok().
    const TFailure& Failure() const { return FFailure; }

  private:
    bool FFailed = false;
    TFailure FFailure;
};

}  // namespace velmora
