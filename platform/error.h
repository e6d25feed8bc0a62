#pragma once
// The one error base of the program. The platform layer and the network clients raise it (or a
// class derived from it); the checks catch it where a failure is expected and turn it into a log
// line. Messages are UTF-8.
#include <stdexcept>
#include <string>

namespace travik {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
  [[nodiscard]] std::string Message() const { return what(); }
};

// "Cancelled.": a wait ended because a stop was requested (std::stop_token) while it waited.
class CancelledError : public Error {
 public:
  CancelledError() : Error("Cancelled.") {}
};

}  // namespace travik
