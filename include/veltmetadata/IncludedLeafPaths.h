#pragma once

// The included-leaf-paths document: a user's choice of metadata properties (for example
// those a panel or an export includes) stored as a set of leaf Paths in a small XML
// document rooted at "md.paths" (UTF-8, no namespaces, no indentation):
//
//     <?xml version='1.0'?>
//     <md.paths version='1.0'>
//     <metadata_path><internal>false</internal>
//     <namespace>http://purl.org/dc/elements/1.1/</namespace>
//     <description>title</description>
//     <entry_name>title</entry_name>
//     <parent_id>http://purl.org/dc/elements/1.1/</parent_id>
//     </metadata_path>
//     </md.paths>
//
// Reading keeps only Paths that still resolve to a definition and are still leaves, so a
// stored set survives changes of the definitions. None of this takes a lock; reading looks
// Paths up in the registry and must not overlap registration.

#include <cstddef>
#include <set>

#include "veltcore/Export.h"
#include "veltmetadata/Path.h"

namespace veltmetadata {

using PathSet = std::set<Path>;

// Documents larger than this are refused by the readers (a set of every leaf of every
// built-in schema takes well under a megabyte).
inline constexpr std::size_t kMaxIncludedLeafPathsDocumentSize = 16u << 20;

// Replaces `out` by the document holding every Path of the set, in set order. The Paths are
// written as they are; they need not be leaves.
VELT_EXPORT void IncludedLeafPathsAsXMLString(const PathSet& inPaths, UTF8String& out);
// Replaces `out` by one metadata_path element (six lines, each ending in a line feed), the
// field texts with the XML-reserved characters encoded.
VELT_EXPORT void PathAsXMLFragment(UTF8String& out, const Path& inPath);

// Read a document from a file (path in UTF-16) or from memory into `outPaths`. Only Paths
// that resolve and are leaves are kept; of two equal Paths the first wins. True on success,
// and `outPaths` then holds exactly what was read. False, with `outPaths` untouched, for a
// missing or unreadable file, a document larger than kMaxIncludedLeafPathsDocumentSize, and
// malformed XML (truncated, a DOCTYPE or entity declaration, an undefined entity). Never
// throws.
VELT_EXPORT bool ReadIncludedLeafPathsAsXMLFile(PathSet& outPaths, const UTF16String& inFilePath);
VELT_EXPORT bool ReadIncludedLeafPathsAsXMLString(PathSet& outPaths, const UTF8String& inDocument);

}  // namespace veltmetadata
