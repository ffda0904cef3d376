// The document collection's functions.
#include "DocumentCollection.h"

#include <algorithm>
#include <utility>

#include "Document.h"
#include "host/CallError.h"

namespace ReferenceHost {

using Host::Arguments;
using Host::ErrorCode;
using Host::Result;

DocumentCollection::DocumentCollection(Host::ObjectRegistry& registry, Notify notify)
    : HostObject("Documents", "documents"), registry_(registry), notify_(std::move(notify)) {
  Define("Create", [this](const Arguments& args) { return Create(args); });
  Define("Open", [this](const Arguments& args) { return Open(args); });
  Define("List", [this](const Arguments&) -> Result {
    Host::ValueList list(documents_.begin(), documents_.end());
    return Host::Value(std::move(list));
  });
  Define("Count",
         [this](const Arguments&) -> Result { return static_cast<int64_t>(documents_.size()); });
  Define("Close", [this](const Arguments& args) { return CloseArgument(args); });
}

std::shared_ptr<Document> DocumentCollection::FindByTitle(const std::string& title) const {
  for (const auto& document : documents_) {
    if (document->GetTitle() == title) {
      return document;
    }
  }
  return nullptr;
}

bool DocumentCollection::Close(const Document& document) {
  auto found = std::find_if(documents_.begin(), documents_.end(),
                            [&](const auto& open) { return open.get() == &document; });
  if (found == documents_.end()) {
    return false;
  }
  // Keeps the document alive while its own Close function may still be running.
  std::shared_ptr<Document> closing = *found;
  documents_.erase(found);
  registry_.Unregister(*closing);
  return true;
}

// Create(title): a new, empty document.
Result DocumentCollection::Create(const Arguments& args) {
  const std::string& title = args.GetString(0);
  if (title.empty()) {
    return Result::Error("A title must not be empty", ErrorCode::BadArgument);
  }
  if (FindByTitle(title)) {
    return Result::Error("A document titled " + title + " is already open", ErrorCode::BadArgument);
  }
  auto document = std::make_shared<Document>(title, *this, notify_);
  documents_.push_back(document);
  return document;
}

// Open(title): the open document of that title.
Result DocumentCollection::Open(const Arguments& args) {
  const std::string& title = args.GetString(0);
  std::shared_ptr<Document> document = FindByTitle(title);
  if (!document) {
    return Result::Error("No document titled " + title, ErrorCode::BadArgument);
  }
  return document;
}

// Close(document) or Close(title).
Result DocumentCollection::CloseArgument(const Arguments& args) {
  if (args.At(0).IsString()) {
    std::shared_ptr<Document> document = FindByTitle(args.GetString(0));
    if (!document) {
      return Result::Error("No document titled " + args.GetString(0), ErrorCode::BadArgument);
    }
    return Close(*document);
  }
  return Close(*args.GetObjectAs<Document>(0));
}

}  // namespace ReferenceHost
