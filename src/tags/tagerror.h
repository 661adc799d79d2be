#pragma once
// How the engine tells the user about a problem it can carry on from, and the
// exceptions that carry platform failures to the caller.

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

namespace tags {

// Base of the tag components: an optional owner-given name that prefixes its messages.
class TComponent {
 public:
  virtual ~TComponent() = default;
  const std::string& Name() const { return Name_; }
  void SetName(std::string name) { Name_ = std::move(name); }

 private:
  std::string Name_;
};

// Receives the caption ("Error") and the full text of every engine message. The default
// writes both to stderr; the desktop program shows a modal box; tests collect them.
using TTagErrorHandler = std::function<void(const std::string& caption, const std::string& text)>;

// Installs `handler` (an empty one restores the default) and returns the previous one.
TTagErrorHandler SetTagErrorHandler(TTagErrorHandler handler);

// Text is "<component name>: <message>" when a named component is given.
void ShowTagError(const std::string& message, const TComponent* tag = nullptr);

template <class... Args>
void ShowTagErrorFmt(const char* format, const TComponent* tag, Args... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  ShowTagError(buffer, tag);
}

// Platform failures. `what()` is a complete sentence naming the file and the reason.
class ETagError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A system call failed: opening, creating, reading, writing, renaming, deleting.
class EFileError : public ETagError {
 public:
  EFileError(const std::string& operation, const std::string& path, int error);
  const std::string& Path() const { return Path_; }
  int Error() const { return Error_; }

 private:
  std::string Path_;
  int Error_;
};

// The file holds less than its structure promises (a tag region past the end).
class EReadError : public ETagError {
 public:
  using ETagError::ETagError;
};

// Compressed frame data that zlib refuses.
class EDecompressionError : public ETagError {
 public:
  using ETagError::ETagError;
};

}  // namespace tags
