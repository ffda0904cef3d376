// The open documents of the reference model: create, open, list and close them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Notify.h"
#include "host/HostObject.h"
#include "host/ObjectRegistry.h"

namespace ReferenceHost {

class Document;

// Titles are unique among open documents. Closing a document removes it from the
// registry, so the plug-in's proxies and references to it go stale.
class DocumentCollection : public Host::HostObject {
 public:
  DocumentCollection(Host::ObjectRegistry& registry, Notify notify);

  std::shared_ptr<Document> FindByTitle(const std::string& title) const;
  // Closes the document; true when it was open.
  bool Close(const Document& document);
  size_t Count() const { return documents_.size(); }

 private:
  Host::Result Create(const Host::Arguments& args);
  Host::Result Open(const Host::Arguments& args);
  Host::Result CloseArgument(const Host::Arguments& args);

  Host::ObjectRegistry& registry_;
  Notify notify_;
  std::vector<std::shared_ptr<Document>> documents_;
};

}  // namespace ReferenceHost
