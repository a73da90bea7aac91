#pragma once
// Callback shapes of the core's asynchronous calls. Every callback is taken by value and called
// exactly once on a core thread (never on the calling thread), unless the service never answers.
// Order of parameters: success flag, then an error text or a signed 64-bit code, then owned
// payloads. Failure callbacks carry empty/null payloads.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltrina {

using ResultCallback = std::function<void(bool ok, const std::string& error)>;

template <typename T>
using RecordCallback = std::function<void(bool ok, const std::string& error, std::unique_ptr<T> record)>;

template <typename T>
using ListCallback =
    std::function<void(bool ok, const std::string& error, std::vector<std::unique_ptr<T>> records)>;

}  // namespace veltrina
