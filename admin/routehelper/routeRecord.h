#pragma once
// What the helper has added to the tables, in memory and in a state file,
// so that a helper that was killed leaves a list for the next one.
//
// State files live in the user's runtime directory, one per helper, named
// after the network namespace and the helper's process id. A helper holds a
// lock on its own file while it lives; a file whose lock can be taken
// belongs to a helper that is gone. Entries are recorded before they are
// written to the system and forgotten after they were removed, so a file
// never lists less than the system holds of ours.
#include "admin/routehelper/routeProtocol.h"

#include <functional>
#include <string>
#include <vector>

namespace routehelper {

struct tRECORDED {
    bool isRoute = true; // else a neighbour entry
    uint32_t address = 0;
    uint32_t interfaceIndex = 0; // where it was written, for its removal
    uint32_t metric = 0; // route
    tMAC mac {}; // neighbour entry
    bool operator==(const tRECORDED&) const = default;
};

class TRouteRecord {
public:
    // Bounds the memory and the file, far above what a plant network needs.
    static constexpr std::size_t MaxEntries = 4096;

    TRouteRecord() = default;
    ~TRouteRecord();
    TRouteRecord(const TRouteRecord&) = delete;
    TRouteRecord& operator=(const TRouteRecord&) = delete;

    // The directory of the state files: $XDG_RUNTIME_DIR/twinlane-routes, or
    // /tmp/twinlane-routes-<uid>; created, owned by us and closed to others.
    // Empty when there is none that is safe to use.
    static std::string StateDirectory();

    // Hands every entry that a dead helper of this network namespace left
    // listed to remove, then deletes its file. Returns how many were listed.
    static int CollectLeftovers(const std::string& directory, const std::function<void(const tRECORDED&)>& remove);

    // Creates this helper's own locked state file. Without one (no
    // directory) the record is kept in memory only.
    bool Open(const std::string& directory);
    // Deletes the state file; call when nothing recorded is left.
    void Close();

    const std::vector<tRECORDED>& Entries() const { return m_entries; }
    bool Contains(const tRECORDED& entry) const;
    // False when full. Adding an entry that is already there changes nothing.
    bool Add(const tRECORDED& entry);
    void Remove(const tRECORDED& entry);

    // The text of a state file, and back (lines that don't read are skipped).
    static std::string Format(const std::vector<tRECORDED>& entries);
    static std::vector<tRECORDED> Parse(const std::string& text);

private:
    void Save();

    std::vector<tRECORDED> m_entries;
    std::string m_path;
    int m_fd = -1;
};

} // namespace routehelper
