#pragma once
// The unique ids (POP3 UIDL) of the messages an account has stored, so that a mailbox is
// never fetched twice and never skipped: numbers shift when another client deletes mail on
// the server, and deletions of a session that broke off are never carried out by the
// server. One small file per account in the data home ("UIDL/" + account + ".uidl"): a first
// line naming the mailbox ("# " + login + "@" + server) and one id per line after it. A file
// of another mailbox, or one that cannot be read, counts as missing. Saved atomically at the
// start of a session; during it, each message appends a line instead of rewriting the file.
//
// Each id is stored with the listed size and the Message-ID of its message ("id size
// message-id"; a bare id from older files has neither). A server that numbers its ids anew
// (a rebuilt or restored mailbox) can list an old id for a new message: a message is only
// deleted unfetched when id, size and Message-ID all match what was stored.
//
// A message being stored is first marked pending ("?= " + id + " " + size + " " + Message-ID
// + " " + file path; older files have "? " + id + " " + path) and its id appended once the
// file is complete. A run killed in between leaves the mark: the next Load counts the
// message as stored when its file is there and as new when it is not, so it is neither
// fetched twice nor skipped.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// programDir + "UIDL/" + account + ".uidl".
std::string UidlStorePath(const std::string& programDir, int account);

// The mailbox line's identity: login + "@" + server, lower-cased.
std::string UidlMailbox(std::string_view login, std::string_view server);

// True for an id a server may send: 1 to 70 printable characters without blanks.
bool IsValidUidl(std::string_view id);

// True when a listing can be relied on: every message 1..count has a valid id and no id
// appears twice. ids[n] is the id of message n; ids[0] is ignored.
bool UsableUidlListing(const std::vector<std::string>& ids, int count);

// What is known of a stored message besides its id. Size -1: not known (older files).
struct TUidlRecord {
    std::int64_t Size = -1;
    std::string MessageId;
    // True when size and Message-ID are known and equal to the given ones.
    bool Matches(std::int64_t size, std::string_view messageId) const;
};

// The Message-ID as the store keeps it: without white space or control characters, at most
// 998 bytes.
std::string UidlMessageId(std::string_view messageId);

class TUidlStore {
public:
    // Reads the file of the mailbox. False (and an empty store) when the file is missing,
    // unreadable or belongs to another mailbox.
    bool Load(const std::string& path, const std::string& mailbox);
    // True when Load found a file of this mailbox.
    bool Existed() const { return Found; }

    bool Contains(std::string_view id) const;
    // The record of a stored id; nullptr when the id is not stored.
    const TUidlRecord* Find(std::string_view id) const;
    void Add(std::string_view id, TUidlRecord record = {});
    // Appends the pending mark of a message about to be written to `path`, flushed to disk.
    bool MarkPending(std::string_view id, std::string_view path,
                     const TUidlRecord& record = {}) const;
    // Adds the id of a message whose file is complete and appends it to the file.
    bool AddStored(std::string_view id, const TUidlRecord& record = {});
    // Forgets every id the server no longer lists.
    void KeepOnly(const std::vector<std::string>& listed);
    // Forgets every id: the mailbox counts as new.
    void Clear() { Ids.clear(); }
    std::size_t Size() const { return Ids.size(); }

    // Writes the file (creating its directory); false when it cannot be written.
    bool Save() const;

private:
    std::string Path;
    std::string Mailbox;
    std::map<std::string, TUidlRecord, std::less<>> Ids;
    bool Found = false;
};

} // namespace pelmora
