#pragma once

// Lists of recently used values, one per key of the host's choosing, kept in memory for the
// whole process and saved to and loaded from one small XML file ("FileinfoMRU.xml" in the
// "Orvane/XMP/File Info/" folder of the user's shared preferences root).
//
// Every list is stored exactly as the host hands it over: the library sets no length limit
// and does no ordering or de-duplication. The lists do not depend on Initialize and survive
// Terminate. No lock guards them: call these functions from one thread at a time.

#include <list>
#include <map>

#include "veltcore/Export.h"
#include "veltcore/StringTypes.h"

namespace veltmetadata {

using veltcore::UTF16String;
using veltcore::UTF8String;

// The lists by key; keys are ordered by byte-wise comparison.
using MRUListMap = std::map<UTF8String, std::list<UTF16String>>;

// Merges the MRU file into the lists in memory: a key already in memory keeps its list, and
// a key found twice in the file keeps the first. Creates the file's folder when missing; a
// missing file changes nothing. A corrupt or foreign file (malformed XML, missing elements,
// a list entry or key that is not UTF-8, a file over 4 MB, one nested deeper than the format
// needs, one with a DOCTYPE) ends the load silently; what was merged before the problem stays.
VELT_EXPORT void LoadMRUFile();

// Writes every list to the MRU file through a temporary file that replaces it when complete;
// carriage returns are dropped from the entries. True when the file was written and
// committed; false on any failure (folder missing or read-only, a disk error), and the old
// file is then untouched. Does not create the folder.
VELT_EXPORT bool SerializeMRUList();

// Replaces the list of `key` by `entries`, or adds it. Memory only.
VELT_EXPORT void UpdateMRULists(UTF8String key, std::list<UTF16String> entries);

// A copy of every list.
VELT_EXPORT MRUListMap GetMRULists();

// Empties the lists in memory; the file is untouched.
VELT_EXPORT void ClearMRUList();

// Deletes the MRU file (creating its folder when missing). True when there was no file or
// it was deleted; false when it could not be deleted.
VELT_EXPORT bool RemoveMRUFile();

// Full path of the MRU file (it need not exist). A host that shares the file between
// processes can put its own lock file beside it.
VELT_EXPORT UTF16String MRUFilePath();

}  // namespace veltmetadata
