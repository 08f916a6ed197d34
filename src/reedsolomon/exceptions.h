#pragma once
// Exceptions of the Reed-Solomon layer and of the data-correction step. Each derives
// directly from std::exception and returns the constant text given at the throw.

#include <exception>

namespace Aztec::ReedSolomon {

// Separate classes, none derived from another, so a handler for one never catches the others.
class ReedSolomonException : public std::exception {
 public:
  explicit ReedSolomonException(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

class IllegalArgumentException : public std::exception {
 public:
  explicit IllegalArgumentException(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

class ArithmeticException : public std::exception {
 public:
  explicit ArithmeticException(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

class IllegalSymbolException : public std::exception {
 public:
  explicit IllegalSymbolException(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

}  // namespace Aztec::ReedSolomon
