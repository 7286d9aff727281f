#pragma once

// The process-wide namespace registry: URI <-> prefix, pre-registered with the standard
// namespaces. Thread-safe. Prefixes are stored and returned with the trailing ':'.

#include <string>
#include <string_view>

namespace xmpcore {

// Registers `uri` with the suggested prefix (with or without ':'). Returns true when the
// namespace ends up with exactly that prefix. `registered` receives the prefix in use.
// Raises kXMPErr_BadParam for an empty URI, a prefix that is not an XML name, or a reserved
// prefix (xml, xmlns, rdf) asked for another namespace; kXMPErr_BadUnicode for a URI that is
// not UTF-8.
bool RegisterNamespace(std::string_view uri, std::string_view suggestedPrefix,
                       std::string* registered);
// The prefix (with ':') of a registered namespace, or false.
bool GetNamespacePrefix(std::string_view uri, std::string* prefix);
// The URI of a registered prefix (given with or without ':'), or false.
bool GetNamespaceURI(std::string_view prefix, std::string* uri);
// Removes a namespace unless it is a standard one.
void DeleteNamespace(std::string_view uri);
// Restores the registry to the standard namespaces only.
void ResetNamespaces();

}  // namespace xmpcore
