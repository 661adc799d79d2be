#include "tagerror.h"

#include <cstring>

namespace tags {
namespace {

void DefaultHandler(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

TTagErrorHandler& CurrentHandler() {
  static TTagErrorHandler handler = DefaultHandler;
  return handler;
}

}  // namespace

TTagErrorHandler SetTagErrorHandler(TTagErrorHandler handler) {
  TTagErrorHandler previous = std::move(CurrentHandler());
  CurrentHandler() = handler ? std::move(handler) : TTagErrorHandler(DefaultHandler);
  return previous;
}

void ShowTagError(const std::string& message, const TComponent* tag) {
  const std::string text =
      (tag != nullptr && !tag->Name().empty()) ? tag->Name() + ": " + message : message;
  CurrentHandler()("Error", text);
}

EFileError::EFileError(const std::string& operation, const std::string& path, int error)
    : ETagError("Cannot " + operation + " \"" + path + "\": " + std::strerror(error)),
      Path_(path),
      Error_(error) {}

}  // namespace tags
